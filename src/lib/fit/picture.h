// A decoded picture, as tarnvil-fit's decoders hand it over, and the
// limits on what a picture may take.
#pragma once

#include <cstddef>
#include <cstdint>

// Red, green, blue and alpha for every pixel, row by row from the top, in
// 8-bit or 16-bit samples; or red, green and blue alone where every pixel
// is opaque, which saves a large picture a quarter of its memory; or grey
// and alpha, or grey alone.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 8;          // 8: uint8_t samples; 16: uint16_t samples
    void* samples = nullptr;   // width * height * channels of them
    void (*release)(void*) = nullptr;
    int32_t channels = 4;      // 4 with alpha, 3 without; 2 and 1 for grey
};

// Where a decoder hands its picture over, a row at a time from the top:
// `start` once with the layout (false, with `reason` set, when it cannot
// take it), then `row` for each row in turn, its samples laid out as
// Picture's.
struct PictureRows {
    void* context = nullptr;
    bool (*start)(void* context, int32_t width, int32_t height, int32_t bits, int32_t channels, char* reason,
                  size_t capacity) = nullptr;
    void (*row)(void* context, const void* samples) = nullptr;
};

// The largest width or height taken: the scaler's integer arithmetic is
// exact up to there, and no screen-sized picture comes near it.
inline constexpr int32_t kMaxPictureSide = 1 << 20;

// The most pixels a picture may have, whatever its format, as ImageMagick's
// resource policy has it (128 megapixels): a 108-megapixel phone's photo,
// and the slowest picture a small file can hold, a 1-bit PNG of 11300 x
// 11300 in 16 KB, which decodes and scales in under half a second. Checked
// against what the header declares, before anything is decoded.
inline constexpr int64_t kMaxPicturePixels = 128'000'000;

// What a decoder may hold at once beyond the rows it hands over (a GIF or
// BMP decoded whole, a progressive JPEG's coefficients, an interlaced PNG):
// 64 MB, or 64 bytes for each byte of the file. A picture too large for
// its file to have made it honestly is refused before it is held; a large
// real photograph brings the bytes that pay for it.
inline constexpr uint64_t kHeldBytes = uint64_t{64} << 20;
inline constexpr uint64_t kHeldBytesPerFileByte = 64;

// Says that a picture cannot be read because its bytes are wrong:
// "damaged or cut short (WHAT)", WHAT from `format` as printf makes it.
#if defined(__GNUC__)
[[gnu::format(printf, 3, 4)]]
#endif
void say_damaged(char* reason, size_t capacity, const char* format, ...);

// False, with `reason` set, when a picture declares no pixels or more
// than kMaxPicturePixels.
bool picture_size_taken(int64_t width, int64_t height, char* reason, size_t capacity);

// False, with `reason` set, when holding `bytes` for a picture of `width`
// x `height` from a file of `file_size` bytes goes beyond the budget above
// or beyond the memory this process can really have.
bool held_memory_fits(uint64_t bytes, int64_t width, int64_t height, size_t file_size, char* reason,
                      size_t capacity);

// Allocates the samples of a whole picture of `width` x `height` with
// `bits` per sample, from a file of `file_size` bytes. False, with
// nothing allocated and `reason` set, when the checks above refuse it or
// the allocation fails.
bool allocate_picture(int32_t width, int32_t height, int32_t bits, size_t file_size, Picture& picture, char* reason,
                      size_t capacity, int32_t channels = 4);

void release_picture(Picture& picture);

// Hands a whole picture over row by row.
bool send_rows(const Picture& picture, const PictureRows& rows, char* reason, size_t capacity);
