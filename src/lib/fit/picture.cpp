#include "lib/fit/picture.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

bool picture_fits(int64_t width, int64_t height, int32_t bits, char* reason, size_t capacity) {
    if (width < 1 || height < 1) {
        snprintf(reason, capacity, "the picture has no pixels (%lld x %lld)", static_cast<long long>(width),
                 static_cast<long long>(height));
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bits / 8 * 4);
    if (width > kMaxPictureSide || height > kMaxPictureSide || !platform::memory_fits(bytes)) {
        snprintf(reason, capacity, "%lld x %lld pixels are more than this system can hold",
                 static_cast<long long>(width), static_cast<long long>(height));
        return false;
    }
    return true;
}

bool allocate_picture(int32_t width, int32_t height, int32_t bits, Picture& picture, char* reason, size_t capacity,
                      int32_t channels) {
    if (!picture_fits(width, height, bits, reason, capacity)) return false;
    const size_t bytes =
        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(bits / 8 * channels);
    // Where the system cannot tell its memory beforehand, the allocation is
    // the check, and the answer the same.
    void* samples = std::malloc(bytes);
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
