// GIF and BMP, and PNG and JPEG on systems without libpng and libjpeg-turbo
// (Windows, the cross builds, the web page), through stb_image.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fit/decoders.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#if !defined(TARNVIL_HAVE_LIBPNG)
#define STBI_ONLY_PNG
#endif
#if !defined(TARNVIL_HAVE_LIBJPEG)
#define STBI_ONLY_JPEG
#endif
#include <stb_image.h>

namespace {

void release_stb(void* samples) { stbi_image_free(samples); }

int length(size_t size) { return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size); }

// The size a PNG, GIF or BMP header declares, read directly: stb_image
// turns down sizes it will not take with reasons of its own, and a picture
// too large for the memory should be told so on every system alike.
bool declared_size(const uint8_t* bytes, size_t size, int64_t& width, int64_t& height) {
    auto big = [&](size_t at) { return int64_t{bytes[at]} << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3]; };
    auto little = [&](size_t at, int count) {
        int64_t value = 0;
        for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
        return value;
    };
    if (size >= 24 && bytes[0] == 0x89 && memcmp(bytes + 12, "IHDR", 4) == 0) {
        width = big(16);
        height = big(20);
    } else if (size >= 10 && bytes[0] == 'G') {
        width = little(6, 2);
        height = little(8, 2);
    } else if (size >= 26 && bytes[0] == 'B') {
        width = static_cast<int32_t>(little(18, 4));
        height = static_cast<int32_t>(little(22, 4));
        if (height < 0) height = -height;  // rows from the top
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool stb_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    int64_t declared_width = 0;
    int64_t declared_height = 0;
    if (declared_size(bytes, size, declared_width, declared_height) &&
        !picture_fits(declared_width, declared_height, 8, reason, capacity))
        return false;
    int x = 0;
    int y = 0;
    int channels = 0;
    if (!stbi_info_from_memory(bytes, length(size), &x, &y, &channels)) {
        snprintf(reason, capacity, "damaged or cut short (%s)", stbi_failure_reason());
        return false;
    }
    width = x;
    height = y;
    return true;
}

bool decode_stb(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity) {
    int32_t width = 0;
    int32_t height = 0;
    const bool deep = stbi_is_16_bit_from_memory(bytes, length(size)) != 0;
    if (!stb_size(bytes, size, width, height, reason, capacity) ||
        !picture_fits(width, height, deep ? 16 : 8, reason, capacity))
        return false;
    int x = 0;
    int y = 0;
    int channels = 0;
    void* samples = deep ? static_cast<void*>(stbi_load_16_from_memory(bytes, length(size), &x, &y, &channels, 4))
                         : static_cast<void*>(stbi_load_from_memory(bytes, length(size), &x, &y, &channels, 4));
    if (!samples) {
        snprintf(reason, capacity, "damaged or cut short (%s)", stbi_failure_reason());
        return false;
    }
    picture = {x, y, deep ? 16 : 8, samples, release_stb};
    return true;
}

#if !defined(TARNVIL_HAVE_LIBPNG)
bool png_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    return stb_size(bytes, size, width, height, reason, capacity);
}
bool decode_png(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity) {
    return decode_stb(bytes, size, picture, reason, capacity);
}
#endif

#if !defined(TARNVIL_HAVE_LIBJPEG)
bool jpeg_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    return stb_size(bytes, size, width, height, reason, capacity);
}
// stb_image decodes a JPEG at its full size only.
bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t, Picture& picture, char* reason, size_t capacity) {
    return decode_stb(bytes, size, picture, reason, capacity);
}
#endif
