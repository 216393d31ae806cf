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

// The blocks' lines within a cell's 20: rows of 6, 8 and 6 lines.
inline constexpr int32_t kTeletextBlockTop[3] = {0, 6, 14};
inline constexpr int32_t kTeletextBlockHeight[3] = {6, 8, 6};

// The mean light of a block in one channel, as the preview draws it, by
// [separated][foreground has the channel][background has it][block row
// 0-2][lit]: any mosaic, space or solid cell in any colours is made of
// these.
struct TeletextBlockLevels {
    int32_t level[2][2][2][3][2];
};
void teletext_block_levels(TeletextBlockLevels& levels);

// Costs are in units of 2^kTeletextCostShift of squared light, so that a
// row of 40 cells fits 31 bits.
inline constexpr int32_t kTeletextCostShift = 20;

// The cost of each way a cell can show a mosaic or a space in graphics:
// [foreground 1-7][background][separated][lit blocks], foreground 0 left
// out. A space is blocks 0; showing it does not depend on the foreground,
// nor on the shape. See convert.cpp for the cost.
struct TeletextCellCosts {
    int32_t cost[7][8][2][64];
};

// The costs of the cell in character row `row` and column `column`, from
// the picture's blocks (teletext_block_light) and what is known of the
// error (shown less picture) of the blocks around it, both grids of
// kTeletextBlockSamples; the cell's own entries in `errors` are not read.
void teletext_cell_costs(const int32_t* picture, const int32_t* errors, const TeletextBlockLevels& levels, int32_t row,
                         int32_t column, TeletextCellCosts& costs);

// The cost of what `cell` shows, from its costs.
int32_t teletext_shown_cost(const TeletextCell& cell, const TeletextCellCosts& costs);

// The codes of a row of `count` cells (1 to 40) with the least total cost,
// returned. Only the codes the converter uses: the mosaics (in graphics
// only), 145-151, 153 and 154 (with hold off only), 156-159. False when
// memory runs out.
bool teletext_best_row(const TeletextCellCosts* costs, int32_t count, uint8_t* codes, int64_t& total);

// Chooses a row of 40 codes from its cells' costs; false when it cannot.
struct TeletextRowChooser {
    void* context;
    bool (*choose)(void* context, const TeletextCellCosts* costs, uint8_t* codes);
};

// A page from a picture's light, row by row from the top, each row's codes
// chosen by `chooser` from costs that know the error of the rows above
// (see convert.cpp). teletext_page_from_light is this with
// teletext_best_row. False when memory runs out or the chooser fails.
bool teletext_page_by_rows(const uint16_t* light, const TeletextRowChooser& chooser, uint8_t* page);
