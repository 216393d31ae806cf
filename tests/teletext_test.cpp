// MODE 7: the preview's cells pixel for pixel, the measure over blocks,
// the cost of a cell against the measure's own windows, and the row's
// choice against every row of codes there is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lib/colour.h"
#include "lib/teletext/cells.h"
#include "lib/teletext/teletext.h"

namespace {

constexpr uint8_t kHold = 158, kRelease = 159, kSeparated = 154, kContiguous = 153, kBlackBg = 156, kNewBg = 157,
                  kDouble = 141, kNormal = 140;
constexpr uint8_t graphics(int colour) { return static_cast<uint8_t>(144 + colour); }

std::unique_ptr<uint8_t[]> page_of(const std::vector<std::vector<uint8_t>>& rows) {
    std::unique_ptr<uint8_t[]> page(new uint8_t[kTeletextPageBytes]);
    memset(page.get(), 32, kTeletextPageBytes);
    for (size_t y = 0; y < rows.size(); ++y) std::copy(rows[y].begin(), rows[y].end(), page.get() + 40 * y);
    return page;
}

// One line of a cell as letters: 'K' and the like for a colour (KRGYBMCW),
// lower case for a third of it blended on the background.
std::string cell_line(const IndexedImage& image, int column, int y) {
    static const char kNames[] = "KRGYBMCW";
    std::string out;
    for (int x = 0; x < 16; ++x) {
        const int k = image.indices[static_cast<size_t>(y) * kTeletextWidth + column * 16 + x];
        out += k % 9 == 0 ? kNames[k / 9] : static_cast<char>(kNames[k >> 3] + 32);
    }
    return out;
}

TEST(Teletext, CellsShowAsTheMachineDrawsThem) {
    const struct {
        const char* what;
        std::vector<uint8_t> row;
        int column, line;
        const char* shown;
    } cases[] = {
        {"contiguous blocks: 8 pixels wide", {graphics(1), 0xB5}, 1, 0, "RRRRRRRRKKKKKKKK"},
        {"the middle pair from line 6", {graphics(1), 0xB5}, 1, 6, "RRRRRRRRKKKKKKKK"},
        {"the bottom pair from line 14", {graphics(1), 0xB5}, 1, 14, "RRRRRRRRKKKKKKKK"},
        {"bit 6 is the bottom right", {graphics(2), 0xE0}, 1, 19, "KKKKKKKKGGGGGGGG"},
        {"separated: two columns and a third", {graphics(1), kSeparated, 0xFF}, 2, 0, "KKrRRRRRKKrRRRRR"},
        {"separated: the gap under a block", {graphics(1), kSeparated, 0xFF}, 2, 4, "KKKKKKKKKKKKKKKK"},
        {"separated on a background", {graphics(4), kNewBg, graphics(3), kSeparated, 0xFF}, 4, 7, "BByYYYYYBByYYYYY"},
        {"a colour code is set-after", {graphics(1), 0xFF, kHold, graphics(2), 0xFF}, 3, 0, "RRRRRRRRRRRRRRRR"},
        {"new background is set-at", {graphics(1), 0xFF, kHold, graphics(2), kNewBg}, 4, 0, "GGGGGGGGGGGGGGGG"},
        {"black background is set-at", {graphics(1), kNewBg, graphics(2), 0xA1, kHold, kBlackBg}, 5, 0, "GGGGGGGGKKKKKKKK"},
        {"without hold a code is a space", {graphics(1), 0xFF, graphics(2)}, 2, 0, "KKKKKKKKKKKKKKKK"},
        {"hold keeps the mosaic's shape", {graphics(1), 0xFF, kHold, kSeparated}, 3, 0, "RRRRRRRRRRRRRRRR"},
        {"release is set-after", {graphics(1), 0xA1, kHold, kRelease, kHold}, 3, 0, "RRRRRRRRKKKKKKKK"},
        {"release forgets at the next code", {graphics(1), 0xA1, kHold, kRelease, kContiguous, kHold}, 5, 0, "KKKKKKKKKKKKKKKK"},
        {"a mosaic in letters is a letter, not drawn", {0xFF}, 0, 0, "KKKKKKKKKKKKKKKK"},
        {"double height: the top pair's last line", {graphics(1), kDouble, 0xA4}, 2, 11, "KKKKKKKKKKKKKKKK"},
        {"double height: the middle pair from line 12", {graphics(1), kDouble, 0xA4}, 2, 12, "RRRRRRRRKKKKKKKK"},
        {"a change of height forgets the held mosaic", {graphics(1), kHold, 0xFF, kDouble}, 3, 0, "KKKKKKKKKKKKKKKK"},
    };
    for (const auto& c : cases) {
        IndexedImage image;
        ASSERT_TRUE(render_teletext(page_of({c.row}).get(), image));
        EXPECT_EQ(cell_line(image, c.column, c.line), c.shown) << c.what;
    }

    // The row under a double-height row shows the lower halves of its
    // double cells and hides the others.
    IndexedImage image;
    ASSERT_TRUE(render_teletext(page_of({{graphics(1), kDouble, 0xF4, kNormal, 0xFF}, {graphics(1), kDouble, 0xF4, kNormal, 0xFF}}).get(), image));
    EXPECT_EQ(cell_line(image, 2, 20 + 0), "RRRRRRRRKKKKKKKK");   // font row 5: the middle pair
    EXPECT_EQ(cell_line(image, 2, 20 + 19), "RRRRRRRRRRRRRRRR");  // font row 9: the bottom pair
    EXPECT_EQ(cell_line(image, 4, 20 + 0), "KKKKKKKKKKKKKKKK");
    EXPECT_EQ(image.rgb[9 * 7][0], 240);
    EXPECT_EQ(image.rgb[8 * 1 + 0][0], 145);  // a third of red on black
    EXPECT_EQ(image.rgb[8 * 0 + 1][0], 199);  // a third of black on red
}

// The light of each block of what `page` shows.
std::vector<int32_t> shown_blocks(const uint8_t* page) {
    std::vector<int32_t> blocks(kTeletextBlockSamples);
    EXPECT_TRUE(teletext_page_blocks(page, blocks.data()));
    return blocks;
}

size_t at(int y, int x, int c) { return (static_cast<size_t>(y) * kTeletextBlockColumns + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c); }

TEST(Teletext, MeasureIsOverBlocks) {
    // A picture that is a page's own light, but for one 8 x 8 block a
    // little redder: blurred over blocks, the difference reaches nine
    // samples, or six at the page's edge, three of them twice as the edge
    // is repeated.
    const auto page = page_of({{}, {graphics(1), kSeparated, 0xB5, kHold, graphics(6), 0xFA}});
    IndexedImage image;
    ASSERT_TRUE(render_teletext(page.get(), image));
    for (const int column : {5, 0}) {
        std::vector<uint16_t> light(static_cast<size_t>(kTeletextWidth) * kTeletextHeight * 3);
        for (size_t i = 0; i < light.size(); ++i) {
            const size_t x = i / 3 % kTeletextWidth, y = i / 3 / kTeletextWidth;
            const bool block = x / 8 == static_cast<size_t>(column) && y >= 26 && y < 34;
            light[i] = static_cast<uint16_t>(linear_from_srgb8(image.rgb[image.indices[i / 3]][i % 3]) + (block && i % 3 == 0 ? 1000 : 0));
        }
        BlurredPicture picture;
        uint64_t error = 0;
        ASSERT_TRUE(blur_teletext_blocks(light.data(), picture));
        ASSERT_TRUE(teletext_block_error(page.get(), picture, error));
        EXPECT_EQ(error, column ? 9u * 1000 * 1000 : 3u * (2000 * 2000 + 1000 * 1000)) << column;
    }
}

TEST(Teletext, CellCostIsTheMeasuresWindows) {
    // Any picture, any errors around the cell, at the page's edges and
    // inside it: the cost of a mosaic is the squared sum of every window
    // of the blur that reaches the cell, a channel at a time, with the
    // cell's blocks showing it less the picture.
    std::mt19937 random(5);
    std::vector<int32_t> picture(kTeletextBlockSamples), errors(kTeletextBlockSamples);
    for (int32_t& v : picture) v = static_cast<int32_t>(random() % 65536);
    for (int32_t& v : errors) v = static_cast<int32_t>(random() % 131071) - 65535;
    TeletextBlockLevels levels;
    teletext_block_levels(levels);
    const int places[][2] = {{0, 0}, {0, 17}, {12, 20}, {24, 39}, {24, 3}, {7, 39}, {7, 0}};
    for (const auto& place : places) {
        const int row = place[0], column = place[1];
        TeletextCellCosts costs;
        teletext_cell_costs(picture.data(), errors.data(), levels, row, column, costs);
        for (int i = 0; i < 12; ++i) {
            const int f = 1 + static_cast<int>(random() % 7), b = static_cast<int>(random() % 8), s = static_cast<int>(random() % 2);
            const int blocks = static_cast<int>(random() % 64);
            // The mosaic as cell 4 shows it, in colour f on b, separated or not.
            const std::vector<int32_t> shown = shown_blocks(page_of({{graphics(b ? b : f), static_cast<uint8_t>(b ? kNewBg : kBlackBg),
                                                                      graphics(f), static_cast<uint8_t>(s ? kSeparated : kContiguous),
                                                                      mosaic_code(blocks)}}).get());
            int64_t expected = 0;
            for (int c = 0; c < 3; ++c) {
                int64_t sum = 0;
                for (int y = std::max(3 * row - 1, 0); y <= std::min(3 * row + 3, kTeletextBlockRows - 1); ++y)
                    for (int x = std::max(2 * column - 1, 0); x <= std::min(2 * column + 2, kTeletextBlockColumns - 1); ++x) {
                        int64_t window = 0;
                        for (int v = y - 1; v <= y + 1; ++v)
                            for (int u = x - 1; u <= x + 1; ++u) {
                                const int dv = v - 3 * row, du = u - 2 * column;
                                window += dv >= 0 && dv < 3 && du >= 0 && du < 2
                                              ? shown[at(dv, 8 + du, c)] - picture[at(v, u, c)]
                                              : errors[at(std::clamp(v, 0, kTeletextBlockRows - 1), std::clamp(u, 0, kTeletextBlockColumns - 1), c)];
                            }
                        sum += window * window;
                    }
                expected += (sum + (int64_t{1} << (kTeletextCostShift - 1))) >> kTeletextCostShift;
            }
            EXPECT_EQ(costs.cost[f - 1][b][s][blocks], expected) << row << ", " << column << ": " << f << " on " << b << ", " << s << ", " << blocks;
        }
    }
}

// The least cost of any row of the converter's codes, by trying them all,
// but for prefixes that cannot come under `best` however the row goes on.
struct BruteForce {
    const TeletextCellCosts* costs;
    int count;
    std::vector<uint8_t> codes;
    int64_t best;
    std::vector<int64_t> least_after;  // the least each remaining cell could cost

    void extend(int length) {
        TeletextCell cells[16];
        teletext_row_cells(codes.data(), length, false, cells);
        int64_t cost = least_after[static_cast<size_t>(length)];
        for (int x = 0; x < length; ++x) cost += teletext_shown_cost(cells[x], costs[x]);
        if (cost >= best) return;
        if (length == count) {
            best = cost;
            return;
        }
        // The state after the prefix, as the converter's choices depend on it.
        bool graphics = false, hold = false;
        for (int x = 0; x < length; ++x) {
            if (codes[x] >= 145 && codes[x] <= 151) graphics = true;
            if (codes[x] == kHold) hold = true;
            if (codes[x] == kRelease) hold = false;
        }
        for (int code = 145; code < 256; ++code) {
            const bool mosaic = code >= 160 && (code < 192 || code >= 224);
            const bool control = (code >= 145 && code <= 151) || code == kBlackBg || code == kNewBg || code == kHold ||
                                 code == kRelease || ((code == kSeparated || code == kContiguous) && !hold);
            if (!(control || (mosaic && graphics))) continue;
            codes[length] = static_cast<uint8_t>(code);
            extend(length + 1);
        }
    }
};

TEST(Teletext, RowChoiceIsTheLeastOfAllRows) {
    // Pictures of rows of codes, with grain: first rows that only one
    // step of the converter's shows exactly, then rows of random codes,
    // where hold and release pay now and then.
    const struct {
        const char* what;
        std::vector<uint8_t> row;
    } crafted[] = {
        {"New Background while holding", {kHold, graphics(1), 0xB5, kNewBg, graphics(2), graphics(3), 0xEA}},
        {"Release while holding", {graphics(1), 0xB5, kHold, graphics(2), kRelease, 0xEA, graphics(3), 0xF3}},
        {"Hold with nothing held", {graphics(1), 0xB5, graphics(2), kHold, 0xEA, graphics(3), 0xF3}},
    };
    constexpr int kRandom = 30;
    static const uint8_t kControls[] = {145, 146, 147, 148, 149, 150, 151, kBlackBg, kNewBg, kHold, kHold, kRelease, kSeparated, kContiguous};
    TeletextBlockLevels levels;
    teletext_block_levels(levels);
    const std::vector<int32_t> errors(kTeletextBlockSamples);
    std::mt19937 random(3);
    for (int i = 0; i < std::ssize(crafted) + kRandom; ++i) {
        const bool exact = i < std::ssize(crafted);
        std::vector<uint8_t> row = exact ? crafted[i].row : std::vector<uint8_t>(6);
        if (!exact)
            for (uint8_t& code : row) code = random() % 2 ? kControls[random() % std::size(kControls)] : mosaic_code(static_cast<int>(random() % 64));
        std::vector<int32_t> picture = shown_blocks(page_of({row}).get());
        if (!exact)
            for (int32_t& v : picture) v += static_cast<int32_t>(random() % 6000);
        const int count = static_cast<int>(row.size());
        std::vector<TeletextCellCosts> costs(static_cast<size_t>(count));
        for (int x = 0; x < count; ++x) teletext_cell_costs(picture.data(), errors.data(), levels, 0, x, costs[static_cast<size_t>(x)]);
        uint8_t codes[16];
        int64_t total = 0;
        ASSERT_TRUE(teletext_best_row(costs.data(), count, codes, total));
        const std::string what = exact ? crafted[i].what : "random row " + std::to_string(i);
        if (exact) {
            EXPECT_EQ(total, 0) << what;
        }
        // Searched for any row as cheap: none cheaper, and one as cheap.
        BruteForce brute{costs.data(), count, std::vector<uint8_t>(static_cast<size_t>(count)), total + 1,
                         std::vector<int64_t>(static_cast<size_t>(count) + 1)};
        for (int x = count - 1; x >= 0; --x) {
            const int32_t* all = &costs[static_cast<size_t>(x)].cost[0][0][0][0];
            brute.least_after[static_cast<size_t>(x)] = brute.least_after[static_cast<size_t>(x) + 1] + *std::min_element(all, all + 7 * 8 * 2 * 64);
        }
        brute.extend(0);
        EXPECT_EQ(brute.best, total) << what;
        // The codes chosen show what their cost says.
        TeletextCell cells[16];
        teletext_row_cells(codes, count, false, cells);
        int64_t shown = 0;
        for (int x = 0; x < count; ++x) shown += teletext_shown_cost(cells[x], costs[static_cast<size_t>(x)]);
        EXPECT_EQ(shown, total) << what;
    }
}

}  // namespace
