#include "lib/teletext/teletext.h"

#include <cstddef>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "lib/teletext/cells.h"

namespace {

// Where the state of a row stands before each cell.
struct RowState {
    uint8_t foreground = 7;
    uint8_t background = 0;
    uint8_t held = 0x20;  // the held character, 0x20 for none
    bool held_separated = false;
    bool graphics = false;
    bool separated = false;
    bool hold = false;
    bool flash = false;
    bool tall = false;
};

}  // namespace

bool teletext_row_cells(const uint8_t* codes, int32_t count, bool lower, TeletextCell* cells) {
    RowState row;
    bool starts_pair = false;
    for (int32_t x = 0; x < count; ++x) {
        const uint8_t code = codes[x] & 0x7F;
        TeletextCell& cell = cells[x];
        // What the cell shows is drawn with the state before its code, but
        // for the set-at codes.
        uint8_t foreground = row.foreground;
        const bool was_tall = row.tall;
        bool flashing = row.flash;
        uint8_t shown = code;
        bool graphics = row.graphics;
        bool separated = row.separated;
        if (code < 0x20) {
            const bool was_graphics = row.graphics;
            const bool was_holding = row.hold;
            switch (code) {
                case 1: case 2: case 3: case 4: case 5: case 6: case 7:
                    row.graphics = false;
                    row.foreground = code;
                    break;
                case 8: row.flash = true; break;
                case 9: row.flash = flashing = false; break;
                case 12: case 13:
                    row.tall = code == 13;
                    starts_pair = starts_pair || row.tall;
                    break;
                case 17: case 18: case 19: case 20: case 21: case 22: case 23:
                    row.graphics = true;
                    row.foreground = code & 7;
                    break;
                case 24: row.foreground = foreground = row.background; break;
                case 25: row.separated = false; break;
                case 26: row.separated = true; break;
                case 28: row.background = 0; break;
                case 29: row.background = row.foreground; break;
                case 30: row.hold = true; break;
                case 31: row.hold = false; break;
                default: break;
            }
            if (was_graphics && (was_holding || row.hold) && row.tall == was_tall) {
                shown = row.held;
                graphics = true;
                separated = row.held_separated;
            } else {
                row.held = shown = 0x20;
            }
        } else if (row.graphics) {
            // Capital letters in graphics leave the held mosaic as it was.
            if (code & 0x20) {
                row.held = code;
                row.held_separated = row.separated;
            }
        } else {
            row.held = 0x20;
        }
        cell.kind = shown == 0x20                  ? TeletextCell::kSpace
                    : graphics && (shown & 0x20) ? TeletextCell::kMosaic
                                                 : TeletextCell::kLetter;
        cell.blocks = cell.kind == TeletextCell::kMosaic ? static_cast<uint8_t>((shown & 31) | (shown & 64) >> 1) : 0;
        cell.separated = separated;
        cell.foreground = foreground;
        cell.background = row.background;
        cell.flashing = flashing;
        cell.tall = was_tall;
        cell.hidden = lower && !row.tall;
    }
    return starts_pair && !lower;
}

namespace {

// The 16 pixels of one line of `cell`, `line` 0-19 of its row, as
// palette indices.
void draw_cell_line(const TeletextCell& cell, int32_t line, bool lower, uint8_t* out) {
    // Each of the chip's 12 dots (6 of its font, doubled) is 4/3 pixels:
    // every group of three dots makes four pixels, the middle two shared.
    uint32_t dots = 0;
    if (cell.kind == TeletextCell::kMosaic && !cell.hidden) {
        const int32_t glyph_line = cell.tall ? (line >> 1) + (lower ? 10 : 0) : line;
        const int32_t font_row = glyph_line >> 1;  // of the font's 10
        const int32_t pair = font_row < 3 ? 0 : font_row < 7 ? 1 : 2;
        const bool gap = cell.separated && (font_row == 2 || font_row == 6 || font_row == 9);
        for (int32_t column = 0; column < 2 && !gap; ++column) {
            if (!(cell.blocks >> (2 * pair + column) & 1)) continue;
            const uint32_t block = cell.separated ? 0x3C : 0x3F;  // the dots of its three font columns
            dots |= block << (6 * column);
        }
    }
    const uint8_t f = cell.foreground & 7;
    const uint8_t b = cell.background & 7;
    for (int32_t group = 0; group < 4; ++group) {
        const uint32_t d0 = dots >> (3 * group) & 1, d1 = dots >> (3 * group + 1) & 1, d2 = dots >> (3 * group + 2) & 1;
        const uint32_t shares[4] = {3 * d0, d0 + 2 * d1, 2 * d1 + d2, 3 * d2};
        for (int32_t i = 0; i < 4; ++i) {
            const uint32_t share = shares[i];
            out[4 * group + i] = static_cast<uint8_t>(share == 0   ? 9 * b
                                                      : share == 3 ? 9 * f
                                                      : share == 1 ? 8 * f + b
                                                                   : 8 * b + f);
        }
    }
}

}  // namespace

// The chip blends the two colours in light, at the emulator's full level
// of 240: a third lit is 145, two thirds 199.
uint8_t teletext_sample(bool foreground, bool background, int32_t thirds) {
    const int32_t lit = foreground == background ? (foreground ? 3 : 0) : foreground ? thirds : 3 - thirds;
    return lit == 0 ? 0 : lit == 1 ? 145 : lit == 2 ? 199 : 240;
}

namespace {

// Channel c of the preview's colour k: 9c is colour c, 8f + b a third of f
// on b.
uint8_t index_sample(int32_t k, int32_t c) { return teletext_sample(k >> 3 >> c & 1, k >> c & 1, 1); }

}  // namespace

bool render_teletext(const uint8_t* page, IndexedImage& image) {
    image.width = kTeletextWidth;
    image.height = kTeletextHeight;
    image.indices.reset(new (std::nothrow) uint8_t[static_cast<size_t>(kTeletextWidth) * kTeletextHeight]);
    if (!image.indices) return false;
    image.colours = 64;
    for (int32_t k = 0; k < 64; ++k)
        for (int32_t c = 0; c < 3; ++c) image.rgb[k][c] = index_sample(k, c);
    TeletextCell cells[kTeletextColumns];
    bool lower = false;
    for (int32_t row = 0; row < kTeletextRows; ++row) {
        const bool next_lower = teletext_row_cells(page + row * kTeletextColumns, kTeletextColumns, lower, cells);
        for (int32_t line = 0; line < kTeletextCellHeight; ++line) {
            uint8_t* out = image.indices.get() + static_cast<size_t>(row * kTeletextCellHeight + line) * kTeletextWidth;
            for (int32_t x = 0; x < kTeletextColumns; ++x) draw_cell_line(cells[x], line, lower, out + x * kTeletextCellWidth);
        }
        lower = next_lower;
    }
    return true;
}

void teletext_block_light(const uint16_t* light, int32_t* blocks) {
    for (int32_t y = 0; y < kTeletextBlockRows; ++y) {
        const int32_t top = y / 3 * kTeletextCellHeight + kTeletextBlockTop[y % 3], height = kTeletextBlockHeight[y % 3];
        const int32_t pixels = 8 * height;
        for (int32_t x = 0; x < kTeletextBlockColumns; ++x) {
            int32_t sum[3] = {0, 0, 0};
            for (int32_t line = top; line < top + height; ++line) {
                const uint16_t* at = light + (static_cast<size_t>(line) * kTeletextWidth + static_cast<size_t>(8 * x)) * 3;
                for (int32_t i = 0; i < 8 * 3; ++i) sum[i % 3] += at[i];
            }
            int32_t* out = blocks + (static_cast<size_t>(y) * kTeletextBlockColumns + static_cast<size_t>(x)) * 3;
            for (int32_t c = 0; c < 3; ++c) out[c] = (sum[c] + pixels / 2) / pixels;
        }
    }
}

bool blur_teletext_blocks(const uint16_t* light, BlurredPicture& blurred) {
    const std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[kTeletextBlockSamples]);
    if (!blocks) return false;
    teletext_block_light(light, blocks.get());
    return blur_linear(blocks.get(), kTeletextBlockColumns, kTeletextBlockRows, blurred);
}

bool teletext_page_blocks(const uint8_t* page, int32_t* blocks) {
    IndexedImage shown;
    const size_t pixels = static_cast<size_t>(kTeletextWidth) * kTeletextHeight;
    const std::unique_ptr<uint16_t[]> light(new (std::nothrow) uint16_t[pixels * 3]);
    if (!light || !render_teletext(page, shown)) return false;
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c) light[3 * i + c] = linear_from_srgb8(shown.rgb[shown.indices[i]][c]);
    teletext_block_light(light.get(), blocks);
    return true;
}

bool teletext_block_error(const uint8_t* page, const BlurredPicture& picture, uint64_t& error) {
    const std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[kTeletextBlockSamples]);
    BlurredPicture blurred;
    if (!blocks || !teletext_page_blocks(page, blocks.get()) ||
        !blur_linear(blocks.get(), kTeletextBlockColumns, kTeletextBlockRows, blurred))
        return false;
    error = 0;
    for (size_t i = 0; i < kTeletextBlockSamples; ++i) {
        const int64_t difference = int64_t{picture.sums[i]} - blurred.sums[i];
        error += static_cast<uint64_t>(difference * difference);
    }
    return true;
}

void teletext_block_levels(TeletextBlockLevels& levels) {
    // A cell of every block lit and one of none, drawn in white on black,
    // black on white and the two solids: each channel of any pair of
    // colours is one of these.
    for (int32_t separated = 0; separated < 2; ++separated)
        for (int32_t fore = 0; fore < 2; ++fore)
            for (int32_t back = 0; back < 2; ++back)
                for (int32_t lit = 0; lit < 2; ++lit) {
                    TeletextCell cell;
                    cell.kind = TeletextCell::kMosaic;
                    cell.blocks = lit ? 63 : 0;
                    cell.separated = separated;
                    cell.foreground = static_cast<uint8_t>(7 * fore);
                    cell.background = static_cast<uint8_t>(7 * back);
                    int32_t sums[3] = {0, 0, 0};
                    for (int32_t line = 0; line < kTeletextCellHeight; ++line) {
                        uint8_t shown[kTeletextCellWidth];
                        draw_cell_line(cell, line, false, shown);
                        const int32_t pair = line < kTeletextBlockTop[1] ? 0 : line < kTeletextBlockTop[2] ? 1 : 2;
                        for (int32_t x = 0; x < 8; ++x) sums[pair] += linear_from_srgb8(index_sample(shown[x], 0));
                    }
                    for (int32_t pair = 0; pair < 3; ++pair) {
                        const int32_t pixels = 8 * kTeletextBlockHeight[pair];
                        levels.level[separated][fore][back][pair][lit] = (sums[pair] + pixels / 2) / pixels;
                    }
                }
}
