// Rendering a screen dump back into the picture the machine displays.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/palette.h"

// A picture of logical colours, one byte per pixel, row by row from the
// top, with the colour each shows: the modes' eight at most, MODE 7's
// teletext 64 (its colours and their blends at the edges of separated
// mosaics).
struct IndexedImage {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> indices;
    int32_t colours = 0;
    uint8_t rgb[64][3] = {};
};

// Decodes `dump` (exactly the mode's screen size) in character-cell order;
// each logical colour shows its physical colour in `palette` at full
// intensity. Scaled, each pixel is a block of its true shape on a 640 x
// 512 canvas; native, it is one image pixel. False when the image cannot
// be allocated.
bool render_dump(int32_t mode, const uint8_t* dump, bool native, const Palette& palette, IndexedImage& image);

// The same with each logical colour showing as the sRGB samples `colours`
// gives it, as a VideoNuLA shows its twelve-bit colours (see nula.h).
bool render_dump_in(int32_t mode, const uint8_t* dump, bool native, const uint8_t (&colours)[8][3], IndexedImage& image);

// `rgba` (`width` x `height` pixels of four bytes, sRGB, the fourth
// ignored) scaled to `out_width` x `out_height` in `out` (written opaque),
// by any ratio, each new pixel the mean of the light of the pixels it
// covers, weighted by the share of it each covers (in 65536ths along each
// axis). A preview smaller than the screen's 640 x 512 dots
// must not drop dots, nor average their samples: black and white average
// to sample 128, a fifth of white's light, so every halftone would look
// darker than the machine shows it. Averaged in light, half the dots lit
// show half of white's light, as on the screen. Integers only, so every
// target gives the same bytes. False, with nothing written, when a size is
// not from 1 to 65536 or memory runs out.
bool scale_in_light(const uint8_t* rgba, int32_t width, int32_t height, uint8_t* out, int32_t out_width,
                    int32_t out_height);
