// Rendering a screen dump back into the picture the machine displays.
#pragma once

#include <cstdint>
#include <memory>

// An RGB picture, 3 bytes per pixel, row by row from the top.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> pixels;
};

// Decodes `dump` (exactly the mode's screen size) in character-cell order
// and paints every screen pixel in its palette colour at full intensity.
// Scaled, each pixel is a block of its true shape on a 640 x 512 canvas;
// native, it is one image pixel. False when the image cannot be allocated.
bool render_dump(int32_t mode, const uint8_t* dump, bool native, RgbImage& image);
