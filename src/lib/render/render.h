// Rendering a screen dump back into the picture the machine displays.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/palette.h"

// A picture of logical colours, one byte per pixel, row by row from the
// top, with the colour each shows.
struct IndexedImage {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> indices;
    int32_t colours = 0;
    uint8_t rgb[8][3] = {};
};

// Decodes `dump` (exactly the mode's screen size) in character-cell order;
// each logical colour shows its physical colour in `palette` at full
// intensity. Scaled, each pixel is a block of its true shape on a 640 x
// 512 canvas; native, it is one image pixel. False when the image cannot
// be allocated.
bool render_dump(int32_t mode, const uint8_t* dump, bool native, const Palette& palette, IndexedImage& image);
