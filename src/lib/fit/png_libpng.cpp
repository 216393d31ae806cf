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

// libpng's words about chunks are a chunk's name and a word or two; a
// user is told what is wrong.
void say_what_is_wrong(const char* message, char* reason, size_t capacity) {
    auto ends = [&](const char* tail) {
        const size_t length = strlen(message);
        const size_t tail_length = strlen(tail);
        return length >= tail_length && strcmp(message + length - tail_length, tail) == 0;
    };
    const char* words = nullptr;
    if (ends(": invalid chunk type"))
        words = "a chunk's name is not four letters, as every PNG chunk's is";
    else if (ends(": unhandled critical chunk"))
        words = "it has a chunk that must be understood, of no kind a PNG has";
    else if (strcmp(message, "bad adaptive filter value") == 0)
        words = "a row has a filter no PNG has";
    else if (strcmp(message, "PNG unsigned integer out of range") == 0)
        words = "a chunk's length or a size is out of range";
    if (words) {
        say_damaged(reason, capacity, "%s", words);
    } else if (strncmp(message, "IDAT: ", 6) == 0) {
        say_damaged(reason, capacity, "its compressed pixels are damaged: %s", message + 6);
    } else if (ends(": invalid") && strlen(message) == 13) {
        say_damaged(reason, capacity, "its %.4s chunk holds values no PNG may have", message);
    } else {
        say_damaged(reason, capacity, "%s", message);
    }
}

void on_error(png_structp png, png_const_charp message) {
    const Source& source = *static_cast<const Source*>(png_get_error_ptr(png));
    say_what_is_wrong(message, source.reason, source.capacity);
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
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool read_image(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

// libpng gives 16-bit samples most significant byte first.
void native_order(uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint16_t value = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        memcpy(bytes + 2 * i, &value, sizeof value);
    }
}

// A picture that is not interlaced comes a row at a time through one row
// of memory, whatever its size.
bool stream_rows(png_structp png, uint8_t* row, size_t samples, int32_t height, int32_t bits, const PictureRows& rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int32_t y = 0; y < height; ++y) {
        png_read_row(png, row, nullptr);
        if (bits == 16) native_order(row, samples);
        rows.row(rows.context, row);
    }
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

bool decode_png(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity) {
    Source source{bytes, size, 0, reason, capacity};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_bytepp row_pointers = nullptr;
    Picture picture;
    uint8_t* row = nullptr;
    bool done = false;
    if (!info) {
        snprintf(reason, capacity, "out of memory");
    } else if (start(png, info, source)) {
        const int32_t width = static_cast<int32_t>(png_get_image_width(png, info) & 0x7FFFFFFF);
        const int32_t height = static_cast<int32_t>(png_get_image_height(png, info) & 0x7FFFFFFF);
        const int32_t bits = png_get_bit_depth(png, info) == 16 ? 16 : 8;
        // Opaque pictures stay without alpha and grey ones grey: less to
        // expand, less memory.
        const int type = png_get_color_type(png, info);
        const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        const int32_t channels = (type & PNG_COLOR_MASK_COLOR ? 3 : 1) + (alpha ? 1 : 0);
        const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(channels);
        if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) {
            // The width is within the limits, so a row is at most a few MB.
            row = static_cast<uint8_t*>(std::malloc(samples * static_cast<size_t>(bits / 8)));
            if (!row) snprintf(reason, capacity, "out of memory");
            done = row && transform(png, info) && rows.start(rows.context, width, height, bits, channels, reason, capacity) &&
                   stream_rows(png, row, samples, height, bits, rows);
        } else if (allocate_picture(width, height, bits, size, picture, reason, capacity, channels)) {
            // Interlaced rows come in seven passes over the whole picture.
            row_pointers = static_cast<png_bytepp>(std::malloc(static_cast<size_t>(height) * sizeof(png_bytep)));
            const size_t row_bytes = samples * static_cast<size_t>(bits / 8);
            for (int32_t y = 0; row_pointers && y < height; ++y)
                row_pointers[y] = static_cast<png_bytep>(picture.samples) + static_cast<size_t>(y) * row_bytes;
            if (!row_pointers) snprintf(reason, capacity, "out of memory");
            done = row_pointers && transform(png, info) && read_image(png, row_pointers);
            if (done && bits == 16) native_order(static_cast<uint8_t*>(picture.samples), samples * static_cast<size_t>(height));
            done = done && send_rows(picture, rows, reason, capacity);
        }
    }
    std::free(row);
    std::free(row_pointers);
    release_picture(picture);
    png_destroy_read_struct(&png, &info, nullptr);
    return done;
}

bool png_comes_in_rows() { return true; }
