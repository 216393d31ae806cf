#include "screen/writer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"
#include "screen/modes.h"

namespace {

// Image column shown at screen x. With aspect correction mode 0 doubles
// each column and modes 2 and 5 average two columns per pixel.
int32_t source_column(int32_t x, const ConversionOptions& options) {
    if (!options.aspect) return x;
    if (options.mode == 2 || options.mode == 5) return 2 * x;
    if (options.mode == 0) return x / 2;
    return x;
}

bool averages_columns(const ConversionOptions& options) {
    return options.aspect && (options.mode == 2 || options.mode == 5);
}

// The halftone offsets of one screen column, indexed by y mod 16. With
// stagger the green and blue channels read shifted positions of the table.
struct ColumnOffsets {
    int32_t red[16];
    int32_t green[16];
    int32_t blue[16];
};

ColumnOffsets column_offsets(int32_t x, bool stagger, const ThresholdMatrix& matrix) {
    ColumnOffsets offsets;
    for (int v = 0; v < 16; ++v) {
        offsets.red[v] = matrix.offset[x & 15][v];
        offsets.green[v] = stagger ? matrix.offset[(x + 1) & 15][(v + 2) & 15] : offsets.red[v];
        offsets.blue[v] = stagger ? matrix.offset[(x + 2) & 15][(v + 1) & 15] : offsets.red[v];
    }
    return offsets;
}

// Everything about a mode that the per-pixel loop needs, looked up once.
struct PixelCoding {
    int32_t bits;                  // bits per pixel in a packing key
    uint8_t colour_of[8];          // thresholded r | g << 1 | b << 2 -> colour number
    std::array<uint8_t, 256> byte_of;  // key of a byte's colour numbers -> screen byte
};

constexpr PixelCoding pixel_coding(int32_t mode) {
    const ScreenMode& m = screen_mode_for(mode);
    PixelCoding coding{};
    coding.bits = m.colours == 2 ? 1 : m.colours == 4 ? 2 : 3;
    for (int32_t code = 0; code < 8; ++code)
        coding.colour_of[code] = static_cast<uint8_t>(nearest_colour(mode, code & 1, (code >> 1) & 1, (code >> 2) & 1));
    for (int32_t key = 0; key < (1 << (coding.bits * m.pixels_per_byte)); ++key) {
        int32_t pixels[8] = {};
        for (int32_t k = 0; k < m.pixels_per_byte; ++k)
            pixels[k] = (key >> (coding.bits * (m.pixels_per_byte - 1 - k))) & ((1 << coding.bits) - 1);
        coding.byte_of[static_cast<size_t>(key)] = pack_byte(mode, pixels);
    }
    return coding;
}

constexpr PixelCoding kCodings[] = {pixel_coding(0), pixel_coding(1), pixel_coding(2), pixel_coding(2),
                                    pixel_coding(4), pixel_coding(5)};

// Shifts the colour numbers of one screen column into the keys `keys[y]`.
template <bool kAverage>
void shade_column(const int32_t* const left[3], const int32_t* const right[3], const ColumnOffsets& offsets,
                  const PixelCoding& coding, int32_t lines, uint32_t* keys) {
    for (int32_t y = 0; y < lines; ++y) {
        int32_t red = left[0][y];
        int32_t green = left[1][y];
        int32_t blue = left[2][y];
        if constexpr (kAverage) {
            red = (red + right[0][y]) / 2;
            green = (green + right[1][y]) / 2;
            blue = (blue + right[2][y]) / 2;
        }
        const int v = y & 15;
        const unsigned code = unsigned{red + offsets.red[v] > 127} | unsigned{green + offsets.green[v] > 127} << 1 |
                              unsigned{blue + offsets.blue[v] > 127} << 2;
        keys[y] = keys[y] << coding.bits | coding.colour_of[code];
    }
}

}  // namespace

int32_t sample_pixel(int32_t x, int32_t y, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix) {
    const int32_t sx = source_column(x, options);
    if (sx >= planes.width) return 0;
    const size_t at = static_cast<size_t>(sx) * static_cast<size_t>(planes.height) + static_cast<size_t>(y);
    int32_t red = planes.red[at];
    int32_t green = planes.green[at];
    int32_t blue = planes.blue[at];
    if (averages_columns(options)) {
        // The last column of an odd-width image stands in for its own neighbour.
        const int32_t neighbour = sx + 1 < planes.width ? sx + 1 : sx;
        const size_t next = static_cast<size_t>(neighbour) * static_cast<size_t>(planes.height) + static_cast<size_t>(y);
        red = (red + planes.red[next]) / 2;
        green = (green + planes.green[next]) / 2;
        blue = (blue + planes.blue[next]) / 2;
    }
    const ColumnOffsets offsets = column_offsets(x, options.stagger, matrix);
    const int v = y & 15;
    return nearest_colour(options.mode, red + offsets.red[v] > 127, green + offsets.green[v] > 127,
                          blue + offsets.blue[v] > 127);
}

void render_screen(const ConversionOptions& options, const ImagePlanes& planes, const ThresholdMatrix& matrix,
                   uint8_t* screen) {
    const ScreenMode& mode = screen_mode_for(options.mode);
    const PixelCoding& coding = kCodings[mode.mode];
    std::fill_n(screen, screen_bytes(mode), uint8_t{0});
    const int32_t lines = std::min(planes.height, kScreenLines);
    const size_t height = static_cast<size_t>(planes.height);
    const bool average = averages_columns(options);
    const size_t row_stride = 8 * static_cast<size_t>(mode.bytes_per_row);

    uint32_t keys[kScreenLines];
    for (int32_t cell = 0; cell < mode.bytes_per_row; ++cell) {
        std::fill_n(keys, lines, 0u);
        for (int32_t k = 0; k < mode.pixels_per_byte; ++k) {
            const int32_t x = cell * mode.pixels_per_byte + k;
            const int32_t sx = source_column(x, options);
            if (sx >= planes.width) {
                // Beyond the image: colour 0, which shifts in as zero bits.
                for (int32_t y = 0; y < lines; ++y) keys[y] <<= coding.bits;
                continue;
            }
            const size_t at = static_cast<size_t>(sx) * height;
            const int32_t* left[3] = {planes.red + at, planes.green + at, planes.blue + at};
            const ColumnOffsets offsets = column_offsets(x, options.stagger, matrix);
            if (average) {
                const size_t next = static_cast<size_t>(sx + 1 < planes.width ? sx + 1 : sx) * height;
                const int32_t* right[3] = {planes.red + next, planes.green + next, planes.blue + next};
                shade_column<true>(left, right, offsets, coding, lines, keys);
            } else {
                shade_column<false>(left, left, offsets, coding, lines, keys);
            }
        }
        uint8_t* cell_bytes = screen + 8 * static_cast<size_t>(cell);
        for (int32_t y = 0; y < lines; ++y)
            cell_bytes[static_cast<size_t>(y >> 3) * row_stride + static_cast<size_t>(y & 7)] = coding.byte_of[keys[y]];
    }
}

void write_screen(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                  const ThresholdMatrix& matrix) {
    // A name too long for these buffers is also too long for the file
    // system, so it is reported like any other file that cannot be created.
    char dump_path[PATH_MAX + 8];
    char inf_path[PATH_MAX + 8];
    const bool name_fits = strlen(name) < PATH_MAX;
    if (name_fits) {
        snprintf(dump_path, sizeof dump_path, "%s.bbc", name);
        snprintf(inf_path, sizeof inf_path, "%s.bbc.inf", name);
    }

    printf("Opening output file \"%s.bbc\"...\n", name);
    const ScreenMode& mode = screen_mode_for(options.mode);
    uint8_t screen[kMaxScreenBytes];
    const int fd = name_fits ? create_file(dump_path) : -1;
    if (fd < 0) {
        printf("Unable to create output file \"%s.bbc\".\n", name);
    } else {
        printf("MODE %ld has %ld bytes per row, %ld steady colours\nand %ld pixels per byte.\n",
               static_cast<long>(mode.mode), static_cast<long>(mode.bytes_per_row), static_cast<long>(mode.colours),
               static_cast<long>(mode.pixels_per_byte));
        render_screen(options, planes, matrix, screen);
        if (!write_and_close(fd, screen, static_cast<size_t>(screen_bytes(mode)))) {
            printf("Error writing output file \"%s.bbc\".\n", name);
            remove_failed_output(dump_path);
        }
    }

    printf("Writing Droxa INF file...\n");
    char line[64];
    const int length = snprintf(line, sizeof line, "$.SCREEN %06lx %06lx\n",
                                static_cast<unsigned long>(mode.screen_start), 0UL);
    if (!name_fits || write_new_file(inf_path, line, static_cast<size_t>(length)) != 1)
        printf("Unable to create INF file \"%s.bbc.inf\".\n", name);
    printf("Done!!!\n");
}
