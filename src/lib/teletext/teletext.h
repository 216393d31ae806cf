// MODE 7: the teletext page at &7C00, 40 x 25 character cells, drawn as
// the emulated machine draws it, and made from pictures out of mosaics and
// control codes.
//
// What a page shows, as the emulated machine's teletext chip draws it:
// - Only the low seven bits of a byte count: 145 and 17 are the same
//   code. We write control codes as 128-159 and mosaics as 160-191 and
//   224-255, as the OS stores them.
// - Every character row starts as white letters on black, contiguous,
//   hold released. A control code shows as a space, or under Hold
//   Graphics as the last mosaic shown, in that mosaic's own contiguous or
//   separated shape.
// - Set-after (from the next cell): the colours 129-135 and 145-151,
//   flash (136), separated (154) and contiguous (153) mosaics, release
//   (159), and double (141) and normal (140) height for the size a cell is
//   drawn at. Set-at (at their own cell): steady (137), conceal (152, which
//   makes the foreground the background's colour), black (156) and new
//   (157, the foreground's colour) background, hold (158), and whether a
//   cell in the lower row of a double-height pair shows at all (only with
//   double height on after its code). The other codes do nothing.
// - The held mosaic is forgotten, and a control code shows a space,
//   whenever a control code is not shown held: in letters, with hold off
//   (but at hold itself), or when it changes the height; a letter in
//   letters forgets it too, a capital letter in mosaics does not.
// - In mosaics, 192-223 show capital letters; every other code from 160
//   up is a mosaic whose bits 0 and 1 light the top pair of blocks, 2 and 3
//   the middle pair, 4 and 6 the bottom pair.
// - Colours are 0 or 240 a channel. A pixel a third foreground (at the
//   left of a separated block) shows 145 in a channel only the foreground
//   has, 199 in one only the background has.
// - A row that sets double height anywhere, unless it is itself a lower
//   row, makes the next row the lower half of a pair: its double cells
//   show the lower halves of their own codes, the others nothing.
#pragma once

#include <cstdint>

#include "lib/fit/measure.h"
#include "lib/render/render.h"

inline constexpr int32_t kTeletextColumns = 40;
inline constexpr int32_t kTeletextRows = 25;
inline constexpr int32_t kTeletextPageBytes = kTeletextColumns * kTeletextRows;
// A cell is 16 x 20 pixels of the emulator's 1024 x 625 frame: as wide
// as 8 MODE 1 pixels, and its ten lines each drawn in both fields. The
// blocks of a mosaic are 8 pixels wide and 6, 8 and 6 lines high; a
// separated block loses its two left columns (the third is a third lit,
// a blend of the two colours) and its two bottom lines.
inline constexpr int32_t kTeletextCellWidth = 16;
inline constexpr int32_t kTeletextCellHeight = 20;
inline constexpr int32_t kTeletextWidth = kTeletextColumns * kTeletextCellWidth;   // 640
inline constexpr int32_t kTeletextHeight = kTeletextRows * kTeletextCellHeight;    // 500

// Draws `page` (kTeletextPageBytes) as the displayed area of the frame,
// kTeletextWidth x kTeletextHeight, pixel for pixel: every mosaic and
// control code as the machine draws it, double height included; flashing
// cells in the part of the cycle they show; letters as spaces (the
// pictures have none). 64 colours: index 9c is colour c (0-7 as the
// machine numbers them), 8f + b the blend of a third of f on b. False
// when the image cannot be allocated.
bool render_teletext(const uint8_t* page, IndexedImage& image);

// A page whose picture comes near to `light` (kTeletextWidth x
// kTeletextHeight pixels, RGB, linear light 0..65535 a channel, row by
// row from the top) by teletext_block_error, chosen row by row (see
// convert.cpp for how). False when memory runs out.
bool teletext_page_from_light(const uint16_t* light, uint8_t* page);

// The measure of a page: the mode's own pixel is the block, so the page is
// judged on a grid of 80 x 75 blocks, as every other mode is judged on its
// own pixels (palette_error). Each block's sample is the mean light, a
// channel, of what the preview shows over the block's 8 x 6 or 8 x 8
// pixels (a separated block's gaps and blended column counted in their
// own light), and of the picture over the same pixels; both grids are
// blurred 3 x 3, edges repeated, and the squared differences summed. At
// the preview's 640 x 500 pixels a block of any colour is judged nearly
// pixel by pixel, so a mid-tone could only be black or lit; a blur over
// blocks, as over MODE 2's wide pixels, sees a pattern of lit and unlit
// blocks as the tone it mixes, as the eye does from a little way off.
inline constexpr int32_t kTeletextBlockColumns = 2 * kTeletextColumns;  // 80
inline constexpr int32_t kTeletextBlockRows = 3 * kTeletextRows;        // 75
inline constexpr int32_t kTeletextBlockSamples = kTeletextBlockColumns * kTeletextBlockRows * 3;

// The mean of each block of `light` (kTeletextWidth x kTeletextHeight
// pixels, RGB, linear light), rounded: kTeletextBlockSamples, RGB, row by
// row from the top.
void teletext_block_light(const uint16_t* light, int32_t* blocks);

// The same of what `page` shows, as render_teletext draws it. False when
// memory runs out.
bool teletext_page_blocks(const uint8_t* page, int32_t* blocks);

// The picture's blocks (teletext_block_light) blurred, for
// teletext_block_error. False when memory runs out.
bool blur_teletext_blocks(const uint16_t* light, BlurredPicture& blurred);

// How far what `page` shows is from the picture blurred by
// blur_teletext_blocks: the page's blocks as the preview draws them,
// blurred the same way, the squared differences summed. False when memory
// runs out.
bool teletext_block_error(const uint8_t* page, const BlurredPicture& picture, uint64_t& error);
