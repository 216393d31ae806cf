// PNG encoding of the previews, with a small deflate of our own: the same
// bytes on every system, and no library to find on any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/render/render.h"

struct PngBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

// Encodes `image` as a PNG of palette colours, 1, 2, 4 or 8 bits per pixel.
// False when memory runs out; `png` then holds nothing.
bool encode_png(const IndexedImage& image, PngBytes& png);
