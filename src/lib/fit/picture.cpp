#include "lib/fit/picture.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

void say_damaged(char* reason, size_t capacity, const char* format, ...) {
    const int written = snprintf(reason, capacity, "damaged or cut short (");
    if (written < 0 || static_cast<size_t>(written) >= capacity) return;
    va_list arguments;
    va_start(arguments, format);
    const int what = vsnprintf(reason + written, capacity - static_cast<size_t>(written), format, arguments);
    va_end(arguments);
    const size_t used = static_cast<size_t>(written) + (what > 0 ? static_cast<size_t>(what) : 0);
    if (used < capacity) snprintf(reason + used, capacity - used, ")");
}

bool picture_size_taken(int64_t width, int64_t height, char* reason, size_t capacity) {
    if (width < 1 || height < 1) {
        say_damaged(reason, capacity, "the picture has no pixels: %lld x %lld", static_cast<long long>(width),
                 static_cast<long long>(height));
        return false;
    }
    // Neither side above kMaxPicturePixels, so the product cannot overflow.
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        snprintf(reason, capacity, "%lld x %lld pixels are more than tarnvil-fit takes (at most %lld million pixels)",
                 static_cast<long long>(width), static_cast<long long>(height),
                 static_cast<long long>(kMaxPicturePixels / 1000000));
        return false;
    }
    return true;
}

bool held_memory_fits(uint64_t bytes, int64_t width, int64_t height, size_t file_size, char* reason,
                      size_t capacity) {
    const uint64_t budget = uint64_t{file_size} > kHeldBytes / kHeldBytesPerFileByte ? uint64_t{file_size} * kHeldBytesPerFileByte
                                                                                    : kHeldBytes;
    if (bytes > budget) {
        snprintf(reason, capacity,
                 "%lld x %lld pixels in %llu bytes would take %llu MB to decode, more than tarnvil-fit gives so small a "
                 "file (%llu MB, or %llu bytes for each byte of the file)",
                 static_cast<long long>(width), static_cast<long long>(height), static_cast<unsigned long long>(file_size),
                 static_cast<unsigned long long>((bytes + (1 << 20) - 1) >> 20),
                 static_cast<unsigned long long>(kHeldBytes >> 20), static_cast<unsigned long long>(kHeldBytesPerFileByte));
        return false;
    }
    if (!platform::memory_fits(bytes)) {
        snprintf(reason, capacity, "%lld x %lld pixels are more than this system can hold", static_cast<long long>(width),
                 static_cast<long long>(height));
        return false;
    }
    return true;
}

bool allocate_picture(int32_t width, int32_t height, int32_t bits, size_t file_size, Picture& picture, char* reason,
                      size_t capacity, int32_t channels) {
    if (!picture_size_taken(width, height, reason, capacity)) return false;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * uint64_t(bits / 8 * channels);
    if (!held_memory_fits(bytes, width, height, file_size, reason, capacity)) return false;
    // Where the system cannot tell its memory beforehand, the allocation is
    // the check, and the answer the same.
    void* samples = std::malloc(static_cast<size_t>(bytes));
    if (!samples) {
        snprintf(reason, capacity, "%d x %d pixels are more than this system can hold", static_cast<int>(width),
                 static_cast<int>(height));
        return false;
    }
    picture = {width, height, bits, samples, std::free, channels};
    return true;
}

void release_picture(Picture& picture) {
    if (picture.samples && picture.release) picture.release(picture.samples);
    picture = Picture{};
}

bool send_rows(const Picture& picture, const PictureRows& rows, char* reason, size_t capacity) {
    if (!rows.start(rows.context, picture.width, picture.height, picture.bits, picture.channels, reason, capacity))
        return false;
    const size_t row_bytes = size_t(picture.width) * size_t(picture.bits / 8 * picture.channels);
    for (int32_t y = 0; y < picture.height; ++y)
        rows.row(rows.context, static_cast<const uint8_t*>(picture.samples) + size_t(y) * row_bytes);
    return true;
}
