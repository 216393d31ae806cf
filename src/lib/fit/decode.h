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

// Decodes the picture, turned as shown, and hands it to `rows` a row at a
// time. A JPEG is decoded at 1/`reduce` of its size in each direction
// where the decoder can (`reduce` 1, 2, 4 or 8), rounded up. PNG and JPEG
// come a row at a time where their decoders can give them so; whatever is
// held whole is checked against the limits in picture.h first. False with
// `reason` and nothing left allocated on failure, which may come after
// some rows have been handed over.
bool decode_picture(const uint8_t* bytes, size_t size, int32_t reduce, const PictureRows& rows, char* reason,
                    size_t capacity);
