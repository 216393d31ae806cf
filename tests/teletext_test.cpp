// MODE 7: the preview's cells pixel for pixel, the cost of a cell against
// the preview's own error, and the row's choice against every row of
// codes there is.
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
    for (size_t y = 0; y < rows.size(); ++y) memcpy(page.get() + 40 * y, rows[y].data(), rows[y].size());
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

// A picture of `width` x 20 pixels of light: blocks of random colours,
// some dim, with grain, so that every kind of code has its use.
std::vector<uint16_t> random_strip(int width, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint16_t> light(static_cast<size_t>(width) * 20 * 3);
    for (int by = 0; by < 20; by += 5)
        for (int bx = 0; bx < width; bx += 4) {
            int colour[3];
            for (int& c : colour) c = static_cast<int>(random() % 3) * 30000;
            for (int y = by; y < by + 5; ++y)
                for (int x = bx; x < bx + 4; ++x)
                    for (int c = 0; c < 3; ++c)
                        light[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<uint16_t>(colour[c] + random() % 5000);
        }
    return light;
}

TEST(Teletext, CellCostIsThePreviewsSquaredError) {
    const std::vector<uint16_t> strip = random_strip(kTeletextWidth, 7);
    std::vector<uint16_t> light(static_cast<size_t>(kTeletextWidth) * kTeletextHeight * 3);
    std::copy(strip.begin(), strip.end(), light.begin());
    TeletextCellCosts costs;
    teletext_cell_costs(light.data() + 4 * 16 * 3, kTeletextWidth * 3, costs);
    std::mt19937 random(11);
    for (int i = 0; i < 40; ++i) {
        const int f = 1 + static_cast<int>(random() % 7), b = static_cast<int>(random() % 8), s = static_cast<int>(random() % 2);
        const int blocks = static_cast<int>(random() % 64);
        // The mosaic in cell 4 in colour f on b, separated or not.
        const std::vector<uint8_t> row = {graphics(b ? b : f), static_cast<uint8_t>(b ? kNewBg : kBlackBg), graphics(f),
                                          static_cast<uint8_t>(s ? kSeparated : kContiguous), mosaic_code(blocks)};
        IndexedImage image;
        ASSERT_TRUE(render_teletext(page_of({row}).get(), image));
        int64_t error = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 64; x < 80; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int64_t d = linear_from_srgb8(image.rgb[image.indices[static_cast<size_t>(y) * kTeletextWidth + x]][c]) -
                                      int64_t{light[(static_cast<size_t>(y) * kTeletextWidth + x) * 3 + c]};
                    error += d * d;
                }
        EXPECT_EQ(costs.cost[f - 1][b][s][blocks], (error + (1 << 17)) >> 18) << f << " on " << b << ", " << s << ", " << blocks;
    }
}

// A picture of cells that each are a mosaic in two colours, the colours
// and the mosaic changing now and then, with grain: rows that need codes
// between mosaics, where hold pays.
std::vector<uint16_t> mosaic_strip(int cells, uint32_t seed) {
    std::mt19937 random(seed);
    const int width = 16 * cells;
    std::vector<uint16_t> light(static_cast<size_t>(width) * 20 * 3);
    int f = 1, b = 0, blocks = 63;
    for (int x = 0; x < cells; ++x) {
        if (random() % 2) f = 1 + static_cast<int>(random() % 7);
        if (random() % 2) b = static_cast<int>(random() % 8);
        if (random() % 3 == 0) blocks = static_cast<int>(random() % 64);
        for (int y = 0; y < 20; ++y)
            for (int i = 0; i < 16; ++i) {
                const int pair = y < 6 ? 0 : y < 14 ? 1 : 2;
                const int colour = blocks >> (2 * pair + i / 8) & 1 ? f : b;
                for (int c = 0; c < 3; ++c)
                    light[(static_cast<size_t>(y) * width + 16 * x + i) * 3 + c] =
                        static_cast<uint16_t>((colour >> c & 1 ? 50000 : 0) + random() % 8000);
            }
    }
    return light;
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
    constexpr int kCount = 6;
    int held = 0;
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const std::vector<uint16_t> light = seed % 3 ? mosaic_strip(kCount, seed) : random_strip(16 * kCount, seed);
        TeletextCellCosts costs[kCount];
        for (int x = 0; x < kCount; ++x) teletext_cell_costs(light.data() + x * 16 * 3, 16 * kCount * 3, costs[x]);
        uint8_t codes[kCount];
        int64_t total = 0;
        ASSERT_TRUE(teletext_best_row(costs, kCount, codes, total));
        // Searched for any row as cheap: none cheaper, and one as cheap.
        BruteForce brute{costs, kCount, std::vector<uint8_t>(kCount), total + 1, std::vector<int64_t>(kCount + 1)};
        for (int x = kCount - 1; x >= 0; --x) {
            const int32_t* all = &costs[x].cost[0][0][0][0];
            brute.least_after[static_cast<size_t>(x)] = brute.least_after[static_cast<size_t>(x) + 1] +
                                                        *std::min_element(all, all + sizeof costs[x].cost / sizeof *all);
        }
        brute.extend(0);
        EXPECT_EQ(brute.best, total) << "seed " << seed;
        // The codes chosen show what their cost says.
        TeletextCell cells[kCount];
        teletext_row_cells(codes, kCount, false, cells);
        int64_t shown = 0;
        for (int x = 0; x < kCount; ++x) shown += teletext_shown_cost(cells[x], costs[x]);
        EXPECT_EQ(shown, total) << "seed " << seed;
        held += std::count(codes, codes + kCount, kHold) > 0;
    }
    EXPECT_GT(held, 0) << "no row needed hold: the pictures do not test it";
}

}  // namespace
