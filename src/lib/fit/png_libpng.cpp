// PNG through libpng: every colour type and bit depth, palettes,
// transparency and interlacing, brought to RGBA with 8 or 16 bits. Like
// stb_image on the other systems, it neither applies the file's gamma nor
// refuses data whose checksums are wrong, so both give the same pixels.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/fit/decoders.h"

namespace {

struct Source {
    const uint8_t* bytes;
    size_t size;
    size_t at;
    char* reason;
    size_t capacity;
};

void read_bytes(png_structp png, png_bytep out, size_t length) {
    Source& source = *static_cast<Source*>(png_get_io_ptr(png));
    if (length > source.size - source.at) png_error(png, "the file is cut short");
    memcpy(out, source.bytes + source.at, length);
    source.at += length;
}

void on_error(png_structp png, png_const_charp message) {
    const Source& source = *static_cast<const Source*>(png_get_error_ptr(png));
    snprintf(source.reason, source.capacity, "damaged or cut short (%s)", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// Reads the header and sets up the transforms to RGBA. Nothing here owns
// memory, so libpng's longjmp may leave it at any point.
bool start(png_structp png, png_infop info, Source& source) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &source, read_bytes);
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#if defined(PNG_IGNORE_ADLER32)
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    return true;
}

bool transform(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (transparent) png_set_tRNS_to_alpha(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool read_rows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

}  // namespace

bool png_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    Source source{bytes, size, 0, reason, capacity};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool read = info && start(png, info, source);
    if (read) {
        width = static_cast<int32_t>(png_get_image_width(png, info) & 0x7FFFFFFF);
        height = static_cast<int32_t>(png_get_image_height(png, info) & 0x7FFFFFFF);
    } else if (!info) {
        snprintf(reason, capacity, "out of memory");
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}

bool decode_png(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity) {
    Source source{bytes, size, 0, reason, capacity};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_bytepp rows = nullptr;
    bool done = false;
    if (!info) {
        snprintf(reason, capacity, "out of memory");
    } else if (start(png, info, source)) {
        const int32_t width = static_cast<int32_t>(png_get_image_width(png, info) & 0x7FFFFFFF);
        const int32_t height = static_cast<int32_t>(png_get_image_height(png, info) & 0x7FFFFFFF);
        const int32_t bits = png_get_bit_depth(png, info) == 16 ? 16 : 8;
        // Opaque pictures stay RGB: no alpha to add, a quarter less memory.
        const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        const int32_t channels = alpha ? 4 : 3;
        if (allocate_picture(width, height, bits, picture, reason, capacity, channels)) {
            rows = static_cast<png_bytepp>(std::malloc(static_cast<size_t>(height) * sizeof(png_bytep)));
            const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(bits / 8 * channels);
            for (int32_t y = 0; rows && y < height; ++y)
                rows[y] = static_cast<png_bytep>(picture.samples) + static_cast<size_t>(y) * row_bytes;
            done = rows && transform(png, info) && read_rows(png, rows);
            if (!rows) snprintf(reason, capacity, "out of memory");
        }
    }
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!done) {
        release_picture(picture);
        return false;
    }
    if (picture.bits == 16) {
        // libpng gives 16-bit samples most significant byte first.
        uint8_t* byte = static_cast<uint8_t*>(picture.samples);
        uint16_t* sample = static_cast<uint16_t*>(picture.samples);
        const size_t count =
            static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * static_cast<size_t>(picture.channels);
        for (size_t i = 0; i < count; ++i) {
            const uint16_t value = static_cast<uint16_t>(byte[2 * i] << 8 | byte[2 * i + 1]);
            memcpy(sample + i, &value, sizeof value);
        }
    }
    return true;
}
