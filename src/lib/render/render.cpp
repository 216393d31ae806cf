#include "lib/render/render.h"

#include <cstring>
#include <new>

#include "screen/modes.h"

bool render_dump(int32_t mode_number, const uint8_t* dump, bool native, const Palette& palette, IndexedImage& image) {
    const ScreenMode& mode = screen_mode_for(mode_number);
    const int32_t across = screen_width(mode);
    // The screen always spans 640 x 512 display dots: a pixel is 1, 2 or 4
    // dots wide and 2 dots (one scan line) tall.
    const int32_t block_width = native ? 1 : 640 / across;
    const int32_t block_height = native ? 1 : 2;
    image.width = across * block_width;
    image.height = kScreenLines * block_height;
    image.colours = mode.colours;
    for (int32_t i = 0; i < mode.colours; ++i) physical_rgb(palette.physical[i], image.rgb[i]);
    image.indices.reset(new (std::nothrow) uint8_t[static_cast<size_t>(image.width) * static_cast<size_t>(image.height)]);
    if (!image.indices) return false;

    const size_t row_bytes = static_cast<size_t>(image.width);
    for (int32_t y = 0; y < kScreenLines; ++y) {
        uint8_t* line = image.indices.get() + static_cast<size_t>(y * block_height) * row_bytes;
        for (int32_t cell = 0; cell < mode.bytes_per_row; ++cell) {
            const uint8_t byte = dump[(y / 8) * 8 * mode.bytes_per_row + cell * 8 + y % 8];
            int32_t colours[8];
            unpack_byte(mode_number, byte, colours);
            for (int32_t k = 0; k < mode.pixels_per_byte; ++k)
                memset(line + static_cast<size_t>((cell * mode.pixels_per_byte + k) * block_width),
                       colours[k], static_cast<size_t>(block_width));
        }
        for (int32_t copy = 1; copy < block_height; ++copy) memcpy(line + copy * row_bytes, line, row_bytes);
    }
    return true;
}
