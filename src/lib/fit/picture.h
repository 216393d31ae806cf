// A decoded picture, as tarnvil-fit's decoders hand it over.
#pragma once

#include <cstddef>
#include <cstdint>

// Red, green, blue and alpha for every pixel, row by row from the top, in
// 8-bit or 16-bit samples; or red, green and blue alone where every pixel
// is opaque, which saves a large picture a quarter of its memory.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 8;          // 8: uint8_t samples; 16: uint16_t samples
    void* samples = nullptr;   // width * height * channels of them
    void (*release)(void*) = nullptr;
    int32_t channels = 4;      // 4 with alpha, 3 without
};

// The largest width or height taken: the scaler's integer arithmetic is
// exact up to there, and no screen-sized picture comes near it.
inline constexpr int32_t kMaxPictureSide = 1 << 20;

// Allocates the samples of a picture of `width` x `height` with `bits` per
// sample. False, with nothing allocated and `reason` set, when a side is
// out of range or the memory is more than this process can really have.
bool allocate_picture(int32_t width, int32_t height, int32_t bits, Picture& picture, char* reason, size_t capacity,
                      int32_t channels = 4);

// The same check alone, for decoders that allocate themselves.
bool picture_fits(int64_t width, int64_t height, int32_t bits, char* reason, size_t capacity);

void release_picture(Picture& picture);
