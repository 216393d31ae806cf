// The teletext library's inner parts, shared by the preview, the
// converter and their tests: what each cell of a row shows, what showing
// it costs against a picture, and the choice of a row's codes.
#pragma once

#include <cstdint>

// What one cell shows: a space, a mosaic or a letter, in its colours
// (0-7) after the cell's own control code has acted.
struct TeletextCell {
    enum Kind : uint8_t { kSpace, kMosaic, kLetter };
    Kind kind = kSpace;
    uint8_t blocks = 0;  // a mosaic's lit blocks, bit 2r + c for row r, column c
    bool separated = false;
    uint8_t foreground = 7;
    uint8_t background = 0;
    bool flashing = false;
    bool tall = false;    // drawn at double height
    bool hidden = false;  // in the lower row of a double-height pair, not double itself
};

// What the `count` cells of a row show; `lower` when the row above started
// a double-height pair. Returns whether this row starts one.
bool teletext_row_cells(const uint8_t* codes, int32_t count, bool lower, TeletextCell* cells);

// The sample a channel shows where a pixel is `thirds` foreground (0-3),
// the channel lit or not in the foreground and the background.
uint8_t teletext_sample(bool foreground, bool background, int32_t thirds);

// The byte of the mosaic whose lit blocks are `blocks`.
constexpr uint8_t mosaic_code(int32_t blocks) {
    return static_cast<uint8_t>(0xA0 | (blocks & 31) | (blocks & 32) << 1);
}

// The cost of each way a cell can show a mosaic or a space in graphics:
// [foreground 1-7][background][separated][lit blocks], foreground 0 left
// out. A space is blocks 0; showing it does not depend on the foreground,
// nor on the shape. See convert.cpp for the cost.
struct TeletextCellCosts {
    int32_t cost[7][8][2][64];
};

inline constexpr int32_t kTeletextCellPixels = 16 * 20;

// The costs of the cell whose top left pixel is `light` (RGB, linear
// light), `stride` samples from one line to the next.
void teletext_cell_costs(const uint16_t* light, int32_t stride, TeletextCellCosts& costs);

// The cost of what `cell` shows, from its costs.
int32_t teletext_shown_cost(const TeletextCell& cell, const TeletextCellCosts& costs);

// The codes of a row of `count` cells (1 to 40) with the least total cost,
// returned. Only the codes the converter uses: the mosaics (in graphics
// only), 145-151, 153 and 154 (with hold off only), 156-159. False when
// memory runs out.
bool teletext_best_row(const TeletextCellCosts* costs, int32_t count, uint8_t* codes, int64_t& total);
