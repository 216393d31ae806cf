// tarnvil-fit's decoders: PNG, JPEG, GIF (the first frame), BMP and the
// netpbm formats (PBM, PGM, PPM, PAM), from bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/fit/picture.h"

enum class PictureFormat { kUnknown, kPng, kJpeg, kGif, kBmp, kNetpbm };

PictureFormat picture_format(const uint8_t* bytes, size_t size);

// The picture's size as it is shown: after the EXIF orientation a camera
// wrote into a JPEG, which may swap width and height. From the header
// alone; false with `reason` when the bytes are no picture tarnvil-fit
// reads.
bool read_picture_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason,
                       size_t capacity);

// Decodes the picture, turned as shown. A JPEG is decoded at 1/`reduce`
// of its size in each direction where the decoder can (`reduce` 1, 2, 4 or
// 8), rounded up. The memory is checked before anything large is
// allocated. False with `reason` and nothing allocated on failure.
bool decode_picture(const uint8_t* bytes, size_t size, int32_t reduce, Picture& picture, char* reason,
                    size_t capacity);
