#include "view/view.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "screen/modes.h"

bool render_dump(int32_t mode_number, const uint8_t* dump, bool native, RgbImage& image) {
    const ScreenMode& mode = screen_mode_for(mode_number);
    const int32_t across = screen_width(mode);
    // The screen always spans 640 x 512 display dots: a pixel is 1, 2 or 4
    // dots wide and 2 dots (one scan line) tall.
    const int32_t block_width = native ? 1 : 640 / across;
    const int32_t block_height = native ? 1 : 2;
    image.width = across * block_width;
    image.height = kScreenLines * block_height;
    image.pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3]);
    if (!image.pixels) return false;

    const size_t row_bytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < kScreenLines; ++y) {
        uint8_t* line = image.pixels.get() + static_cast<size_t>(y * block_height) * row_bytes;
        for (int32_t cell = 0; cell < mode.bytes_per_row; ++cell) {
            const uint8_t byte = dump[(y / 8) * 8 * mode.bytes_per_row + cell * 8 + y % 8];
            int32_t colours[8];
            unpack_byte(mode_number, byte, colours);
            for (int32_t k = 0; k < mode.pixels_per_byte; ++k) {
                const PaletteEntry& entry = mode.palette[colours[k]];
                const int32_t x = cell * mode.pixels_per_byte + k;
                for (int32_t dx = 0; dx < block_width; ++dx) {
                    uint8_t* dot = line + static_cast<size_t>(x * block_width + dx) * 3;
                    dot[0] = entry.red ? 255 : 0;
                    dot[1] = entry.green ? 255 : 0;
                    dot[2] = entry.blue ? 255 : 0;
                }
            }
        }
        for (int32_t copy = 1; copy < block_height; ++copy) memcpy(line + copy * row_bytes, line, row_bytes);
    }
    return true;
}

namespace {

struct PngBuffer {
    uint8_t* data;
    size_t size;
    size_t capacity;
    bool failed;
};

void append_png_bytes(png_structp png, png_bytep bytes, png_size_t length) {
    PngBuffer* out = static_cast<PngBuffer*>(png_get_io_ptr(png));
    if (out->failed) return;
    if (out->size + length > out->capacity) {
        size_t capacity = out->capacity ? out->capacity : 65536;
        while (capacity < out->size + length) capacity *= 2;
        uint8_t* grown = static_cast<uint8_t*>(realloc(out->data, capacity));
        if (!grown) {
            out->failed = true;
            return;
        }
        out->data = grown;
        out->capacity = capacity;
    }
    memcpy(out->data + out->size, bytes, length);
    out->size += length;
}

void no_flush(png_structp) {}

// libpng reports errors by longjmp, so nothing with a destructor may live
// in this function's frame.
bool encode_rows(const RgbImage* image, PngBuffer* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, append_png_bytes, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width), static_cast<png_uint_32>(image->height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t row_bytes = static_cast<size_t>(image->width) * 3;
    for (int32_t y = 0; y < image->height; ++y)
        png_write_row(png, image->pixels.get() + static_cast<size_t>(y) * row_bytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool encode_png(const RgbImage& image, PngBytes& png) {
    PngBuffer out{nullptr, 0, 0, false};
    if (!encode_rows(&image, &out) || out.failed) {
        free(out.data);
        return false;
    }
    png.data = out.data;
    png.size = out.size;
    return true;
}
