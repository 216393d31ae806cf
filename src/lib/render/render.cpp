#include "lib/render/render.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "screen/modes.h"

namespace {

// A new pixel's weights along one axis add up to this.
constexpr int64_t kWhole = 65536;

// One axis of a scaling from `from` pixels to `to`. In units of 1 / (from
// * to) of the line, old pixel i spans [i * to, (i + 1) * to) and new
// pixel n spans [n * from, (n + 1) * from). For each new pixel, the old
// pixels it covers, from `first[n]`, with the share of it each covers in
// 65536ths: `weight[at[n]]` to `weight[at[n + 1] - 1]`. The shares are
// rounded as running totals, so none is negative and they add up to
// exactly 65536: the mean needs a shift, not a division.
struct Runs {
    std::unique_ptr<int32_t[]> first;
    std::unique_ptr<int32_t[]> at;
    std::unique_ptr<int32_t[]> weight;
};

bool make_runs(int64_t from, int64_t to, Runs& runs) {
    // Each run shares at most its first old pixel with the run before, so
    // there are fewer than from + to weights.
    runs.first.reset(new (std::nothrow) int32_t[static_cast<size_t>(to)]);
    runs.at.reset(new (std::nothrow) int32_t[static_cast<size_t>(to) + 1]);
    runs.weight.reset(new (std::nothrow) int32_t[static_cast<size_t>(from + to)]);
    if (!runs.first || !runs.at || !runs.weight) return false;
    int32_t at = 0;
    for (int64_t n = 0; n < to; ++n) {
        runs.first[n] = static_cast<int32_t>(n * from / to);
        runs.at[n] = at;
        int64_t covered = 0;
        int64_t given = 0;
        for (int64_t i = runs.first[n]; i * to < (n + 1) * from; ++i) {
            covered += std::min((i + 1) * to, (n + 1) * from) - std::max(i * to, n * from);
            const int64_t total = (covered * kWhole + from / 2) / from;
            runs.weight[at++] = static_cast<int32_t>(total - given);
            given = total;
        }
    }
    runs.at[to] = at;
    return true;
}

}  // namespace

bool render_dump(int32_t mode, const uint8_t* dump, bool native, const Palette& palette, IndexedImage& image) {
    uint8_t colours[8][3] = {};
    for (int32_t i = 0; i < palette.colours; ++i) physical_rgb(palette.physical[i], colours[i]);
    return render_dump_in(mode, dump, native, colours, image);
}

bool render_dump_in(int32_t mode_number, const uint8_t* dump, bool native, const uint8_t (&colours)[8][3], IndexedImage& image) {
    const ScreenMode& mode = screen_mode_for(mode_number);
    const int32_t across = screen_width(mode);
    // The screen always spans 640 x 512 display dots: a pixel is 1, 2 or 4
    // dots wide and 2 dots (one scan line) tall.
    const int32_t block_width = native ? 1 : 640 / across;
    const int32_t block_height = native ? 1 : 2;
    image.width = across * block_width;
    image.height = kScreenLines * block_height;
    image.colours = mode.colours;
    memcpy(image.rgb, colours, sizeof colours);
    image.indices.reset(new (std::nothrow) uint8_t[static_cast<size_t>(image.width) * static_cast<size_t>(image.height)]);
    if (!image.indices) return false;

    const size_t row_bytes = static_cast<size_t>(image.width);
    for (int32_t y = 0; y < kScreenLines; ++y) {
        uint8_t* line = image.indices.get() + static_cast<size_t>(y * block_height) * row_bytes;
        for (int32_t cell = 0; cell < mode.bytes_per_row; ++cell) {
            const uint8_t byte = dump[screen_byte_offset(mode, cell, y)];
            int32_t logical[8];
            unpack_byte(mode_number, byte, logical);
            for (int32_t k = 0; k < mode.pixels_per_byte; ++k)
                memset(line + static_cast<size_t>((cell * mode.pixels_per_byte + k) * block_width),
                       logical[k], static_cast<size_t>(block_width));
        }
        for (int32_t copy = 1; copy < block_height; ++copy) memcpy(line + copy * row_bytes, line, row_bytes);
    }
    return true;
}

bool scale_in_light(const uint8_t* rgba, int32_t width, int32_t height, uint8_t* out, int32_t out_width,
                    int32_t out_height) {
    constexpr int32_t kLargest = 65536;
    for (const int32_t size : {width, height, out_width, out_height})
        if (size < 1 || size > kLargest) return false;
    Runs across;
    Runs down;
    if (!make_runs(width, out_width, across) || !make_runs(height, out_height, down)) return false;
    int64_t light[256];
    for (int32_t v = 0; v < 256; ++v) light[v] = linear_from_srgb8(static_cast<uint8_t>(v));
    // The weights of a new pixel add up to 2^32: its sums stay below 2^48.
    constexpr int64_t kHalf = int64_t{1} << 31;
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    uint8_t* pixel = out;
    for (int32_t y = 0; y < out_height; ++y) {
        const bool one_row = down.at[y + 1] - down.at[y] == 1;
        for (int32_t x = 0; x < out_width; ++x, pixel += 4) {
            // Inside one old pixel (most new ones, drawn larger): its own
            // samples, which are what their light gives back.
            if (one_row && across.at[x + 1] - across.at[x] == 1) {
                memcpy(pixel, rgba + static_cast<size_t>(down.first[y]) * row_bytes + static_cast<size_t>(across.first[x]) * 4, 3);
                pixel[3] = 255;
                continue;
            }
            int64_t sum[3] = {0, 0, 0};
            const uint8_t* row = rgba + static_cast<size_t>(down.first[y]) * row_bytes;
            for (int32_t j = down.at[y]; j < down.at[y + 1]; ++j, row += row_bytes) {
                const uint8_t* old = row + static_cast<size_t>(across.first[x]) * 4;
                for (int32_t i = across.at[x]; i < across.at[x + 1]; ++i, old += 4) {
                    const int64_t weight = int64_t{down.weight[j]} * across.weight[i];
                    sum[0] += weight * light[old[0]];
                    sum[1] += weight * light[old[1]];
                    sum[2] += weight * light[old[2]];
                }
            }
            for (int c = 0; c < 3; ++c) pixel[c] = srgb8_from_linear(static_cast<int32_t>((sum[c] + kHalf) >> 32));
            pixel[3] = 255;
        }
    }
    return true;
}
