// The first stages of preparing a picture: decoded and turned as shown,
// then scaled onto the screen's grid by averaging in linear light.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/fit/fit.h"

// A picture on the screen's grid in linear light: `width` x `lines`
// pixels, row by row from the top, red, green and blue each 0..65535.
struct LightPicture {
    int32_t width = 0;
    int32_t lines = 0;
    std::unique_ptr<int32_t[]> light;
};

// The largest of 1, 2, 4 and 8 by which a picture shown `width` x `height`
// may be reduced while decoding and still give every pixel of the PPM at
// least one of its own.
int32_t decode_reduction(int32_t width, int32_t height, const FitSettings& settings);

// Decodes the picture in `bytes`, turned as a camera's EXIF says, and
// scales it onto `plan`'s grid as `settings` fill it, over its background
// where it is transparent. Only one row of the picture is held at a time
// where its decoder gives rows. False with `reason` when the picture
// cannot be read or memory runs out.
bool scale_picture(const uint8_t* bytes, size_t size, const FitSettings& settings, const ScreenPlan& plan,
                   LightPicture& picture, char* reason, size_t capacity);
