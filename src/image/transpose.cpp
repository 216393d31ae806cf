#include "image/transpose.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Scalar transpose of the pixels [x_begin, x_end) of `rows` complete rows
// starting at row y0: each column becomes a contiguous run in every plane.
void scatter_block(const unsigned char* src, size_t x_begin, size_t x_end, int32_t y0, int32_t rows,
                   const ImagePlanes& planes) {
    const size_t row_bytes = static_cast<size_t>(planes.width) * 3;
    const size_t height = static_cast<size_t>(planes.height);
    for (size_t x = x_begin; x < x_end; ++x) {
        const size_t at = x * height + static_cast<size_t>(y0);
        int32_t* __restrict red = planes.red + at;
        int32_t* __restrict green = planes.green + at;
        int32_t* __restrict blue = planes.blue + at;
        const unsigned char* __restrict s = src + 3 * x;
        for (int32_t dy = 0; dy < rows; ++dy, s += row_bytes) {
            red[dy] = s[0];
            green[dy] = s[1];
            blue[dy] = s[2];
        }
    }
}

#ifdef __SSE2__
// The same for 4 rows and 4 pixels at a time: interleaving the rows' bytes
// gathers each sample's 4 rows into one 32-bit lane, which widens into a
// single 16-byte store instead of four. Reads up to 4 bytes past the last
// pixel of a row.
void scatter_rows_4x4(const unsigned char* src, size_t pixels, int32_t y0, int32_t rows, const ImagePlanes& planes) {
    const size_t row_bytes = static_cast<size_t>(planes.width) * 3;
    const size_t height = static_cast<size_t>(planes.height);
    int32_t* const plane[3] = {planes.red, planes.green, planes.blue};
    const __m128i zero = _mm_setzero_si128();
    for (size_t x = 0; x < pixels; x += 4) {
        for (int32_t dy = 0; dy < rows; dy += 4) {
            const unsigned char* s = src + static_cast<size_t>(dy) * row_bytes + 3 * x;
            const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + row_bytes));
            const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * row_bytes));
            const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * row_bytes));
            const __m128i low01 = _mm_unpacklo_epi8(r0, r1);
            const __m128i low23 = _mm_unpacklo_epi8(r2, r3);
            const __m128i high01 = _mm_unpackhi_epi8(r0, r1);
            const __m128i high23 = _mm_unpackhi_epi8(r2, r3);
            // Lane j of `quads` holds byte j of the four rows, for j = 0..11.
            const __m128i quads[3] = {_mm_unpacklo_epi16(low01, low23), _mm_unpackhi_epi16(low01, low23),
                                      _mm_unpacklo_epi16(high01, high23)};
            const size_t row_at = static_cast<size_t>(y0 + dy);
            for (int q = 0; q < 3; ++q) {
                const __m128i pairs[2] = {_mm_unpacklo_epi8(quads[q], zero), _mm_unpackhi_epi8(quads[q], zero)};
                for (int half = 0; half < 2; ++half) {
                    const __m128i lanes[2] = {_mm_unpacklo_epi16(pairs[half], zero),
                                              _mm_unpackhi_epi16(pairs[half], zero)};
                    for (int k = 0; k < 2; ++k) {
                        const int j = 4 * q + 2 * half + k;  // byte j of the 4-pixel group
                        int32_t* column = plane[j % 3] + (x + static_cast<size_t>(j / 3)) * height + row_at;
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(column), lanes[k]);
                    }
                }
            }
        }
    }
}
#endif

}  // namespace

// Kept out of line: inlined into its caller, its pointers spill to the stack.
[[gnu::noinline]] void scatter_rows(const unsigned char* src, int32_t y0, int32_t rows, const ImagePlanes& planes) {
    const size_t width = static_cast<size_t>(planes.width);
#ifdef __SSE2__
    const int32_t rows4 = rows & ~3;
    const size_t pixels4 = width & ~size_t{3};
    scatter_rows_4x4(src, pixels4, y0, rows4, planes);
    scatter_block(src, pixels4, width, y0, rows4, planes);
    scatter_block(src + static_cast<size_t>(rows4) * width * 3, 0, width, y0 + rows4, rows - rows4, planes);
#else
    scatter_block(src, 0, width, y0, rows, planes);
#endif
}

void scatter_samples(const unsigned char* src, size_t n, uint64_t first, const ImagePlanes& planes) {
    int32_t* const plane[3] = {planes.red, planes.green, planes.blue};
    const uint64_t width = static_cast<uint64_t>(planes.width);
    const uint64_t height = static_cast<uint64_t>(planes.height);
    const uint64_t pixel = first / 3;
    unsigned channel = static_cast<unsigned>(first % 3);
    uint64_t x = pixel % width;
    uint64_t y = pixel / width;
    for (size_t i = 0; i < n; ++i) {
        plane[channel][x * height + y] = src ? src[i] : -1;
        if (++channel == 3) {
            channel = 0;
            if (++x == width) {
                x = 0;
                ++y;
            }
        }
    }
}

void fill_missing(uint64_t end, const ImagePlanes& planes) {
    const uint64_t row_samples = static_cast<uint64_t>(planes.width) * 3;
    const uint64_t first_empty_row = (end + row_samples - 1) / row_samples;
    scatter_samples(nullptr, first_empty_row * row_samples - end, end, planes);
    const size_t height = static_cast<size_t>(planes.height);
    const size_t rows = height - first_empty_row;
    if (rows == 0) return;
    for (int32_t* plane : {planes.red, planes.green, planes.blue}) {
        if (first_empty_row == 0) {
            std::fill_n(plane, height * static_cast<size_t>(planes.width), -1);
            continue;
        }
        for (size_t x = 0; x < static_cast<size_t>(planes.width); ++x)
            std::fill_n(plane + x * height + first_empty_row, rows, -1);
    }
}
