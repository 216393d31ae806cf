#include "screen/conversion.h"

#include <algorithm>

#include "screen/halftone.h"
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

// Adjacent pixels of a screen byte sit one bit apart in every packing, so
// a byte is built by shifting each pixel's bits in from the right. These
// are the bits of one thresholded pixel (r, g, b each 0 or 1) at the
// rightmost position: its palette match, packed.
template <Packing kPacking>
constexpr uint32_t pixel_bits(uint32_t r, uint32_t g, uint32_t b) {
    if constexpr (kPacking == Packing::kOneBitPerPixel) {
        return r | g | b;  // any lit channel is white
    } else if constexpr (kPacking == Packing::kTwoBitsPerPixel) {
        return (g | b) << 4 | (b | (r & (g ^ 1u)));  // black, red, yellow, white
    } else {
        return r | g << 2 | b << 4;  // the triple is the colour number
    }
}

template <Packing kPacking>
constexpr bool pixel_bits_match_palette(int32_t mode) {
    const ScreenMode& m = screen_mode_for(mode);
    for (uint32_t code = 0; code < 8; ++code) {
        const uint32_t r = code & 1, g = (code >> 1) & 1, b = (code >> 2) & 1;
        int32_t pixels[8] = {};
        pixels[m.pixels_per_byte - 1] =
            nearest_colour(mode, static_cast<int32_t>(r), static_cast<int32_t>(g), static_cast<int32_t>(b));
        if (pixel_bits<kPacking>(r, g, b) != pack_byte(mode, pixels)) return false;
    }
    return true;
}
static_assert(pixel_bits_match_palette<Packing::kOneBitPerPixel>(0) &&
              pixel_bits_match_palette<Packing::kOneBitPerPixel>(4) &&
              pixel_bits_match_palette<Packing::kTwoBitsPerPixel>(1) &&
              pixel_bits_match_palette<Packing::kTwoBitsPerPixel>(5) &&
              pixel_bits_match_palette<Packing::kThreeBitsPerPixel>(2));

// Shifts one screen column's pixel bits into `bytes[y]`, 16 lines (one
// period of the offsets) at a time so the loop vectorises.
template <Packing kPacking, bool kAverage>
void shade_column(const int32_t* const left[3], const int32_t* const right[3], const ColumnOffsets& offsets,
                  int32_t lines, uint32_t* bytes) {
    for (int32_t y0 = 0; y0 < lines; y0 += 16) {
        const int32_t count = std::min(16, lines - y0);
        const int32_t* red = left[0] + y0;
        const int32_t* green = left[1] + y0;
        const int32_t* blue = left[2] + y0;
        uint32_t* out = bytes + y0;
        for (int32_t v = 0; v < count; ++v) {
            int32_t r = red[v];
            int32_t g = green[v];
            int32_t b = blue[v];
            if constexpr (kAverage) {
                r = (r + right[0][y0 + v]) / 2;
                g = (g + right[1][y0 + v]) / 2;
                b = (b + right[2][y0 + v]) / 2;
            }
            out[v] = out[v] << 1 | pixel_bits<kPacking>(is_lit(r, offsets.red[v]), is_lit(g, offsets.green[v]),
                                                        is_lit(b, offsets.blue[v]));
        }
    }
}

template <Packing kPacking>
void shade_column(bool average, const int32_t* const left[3], const int32_t* const right[3],
                  const ColumnOffsets& offsets, int32_t lines, uint32_t* bytes) {
    if (average)
        shade_column<kPacking, true>(left, right, offsets, lines, bytes);
    else
        shade_column<kPacking, false>(left, left, offsets, lines, bytes);
}

using ColumnShader = void (*)(bool, const int32_t* const[3], const int32_t* const[3], const ColumnOffsets&,
                              int32_t, uint32_t*);

ColumnShader column_shader(Packing packing) {
    switch (packing) {
    case Packing::kOneBitPerPixel:
        return shade_column<Packing::kOneBitPerPixel>;
    case Packing::kTwoBitsPerPixel:
        return shade_column<Packing::kTwoBitsPerPixel>;
    case Packing::kThreeBitsPerPixel:
        break;
    }
    return shade_column<Packing::kThreeBitsPerPixel>;
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
    return nearest_colour(options.mode, is_lit(red, offsets.red[v]), is_lit(green, offsets.green[v]),
                          is_lit(blue, offsets.blue[v]));
}

void render_screen(const ConversionOptions& options, const ImagePlanes& planes, const ThresholdMatrix& matrix,
                   uint8_t* screen) {
    const ScreenMode& mode = screen_mode_for(options.mode);
    const ColumnShader shade = column_shader(mode.packing);
    std::fill_n(screen, screen_bytes(mode), uint8_t{0});
    const int32_t lines = std::min(planes.height, kScreenLines);
    const size_t height = static_cast<size_t>(planes.height);
    const bool average = averages_columns(options);

    uint32_t bytes[kScreenLines];
    for (int32_t cell = 0; cell < mode.bytes_per_row; ++cell) {
        std::fill_n(bytes, lines, 0u);
        for (int32_t k = 0; k < mode.pixels_per_byte; ++k) {
            const int32_t x = cell * mode.pixels_per_byte + k;
            const int32_t sx = source_column(x, options);
            if (sx >= planes.width) {
                // Beyond the image: colour 0, whose bits are all zero.
                for (int32_t y = 0; y < lines; ++y) bytes[y] <<= 1;
                continue;
            }
            const size_t at = static_cast<size_t>(sx) * height;
            const size_t next = average ? static_cast<size_t>(sx + 1 < planes.width ? sx + 1 : sx) * height : at;
            const int32_t* left[3] = {planes.red + at, planes.green + at, planes.blue + at};
            const int32_t* right[3] = {planes.red + next, planes.green + next, planes.blue + next};
            shade(average, left, right, column_offsets(x, options.stagger, matrix), lines, bytes);
        }
        for (int32_t y = 0; y < lines; ++y) screen[screen_byte_offset(mode, cell, y)] = static_cast<uint8_t>(bytes[y]);
    }
}

void convert_to_screen(const ConversionOptions& options, const ImagePlanes& planes, uint8_t* screen) {
    ThresholdMatrix matrix;
    build_threshold_matrix(options.halftone, matrix);
    render_screen(options, planes, matrix, screen);
}
