#include "lib/fit/diffuse.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "screen/modes.h"

bool diffuse_light(const DiffusionColours& colours, const int32_t* picture, int32_t width, uint8_t* dots) {
    const int32_t count = colours.count;
    const int32_t (*light)[3] = colours.light;
    // The error owed to this row and the next, one dot of margin each side
    // so that no dot's neighbours need a test.
    const size_t stride = (static_cast<size_t>(width) + 2) * 3;
    const std::unique_ptr<int32_t[]> owed(new (std::nothrow) int32_t[2 * stride]());
    if (!owed) return false;
    int32_t* here = owed.get();
    int32_t* next = owed.get() + stride;
    for (int32_t y = 0; y < kScreenLines; ++y) {
        // Serpentine: every other row runs right to left, so the error does
        // not drift one way and draw diagonal streaks.
        const int32_t step = y % 2 == 0 ? 1 : -1;
        memset(next, 0, stride * sizeof *next);
        const int32_t* line = picture + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        uint8_t* chosen = dots + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t k = 0; k < width; ++k) {
            const int32_t x = step > 0 ? k : width - 1 - k;
            const size_t at = static_cast<size_t>(x + 1) * 3;
            int32_t want[3];
            for (int c = 0; c < 3; ++c) want[c] = std::clamp(line[x * 3 + c] + here[at + c], 0, 65535);
            int32_t best = 0;
            int64_t nearest = INT64_MAX;
            for (int32_t i = 0; i < count; ++i) {
                const int64_t r = want[0] - light[i][0];
                const int64_t g = want[1] - light[i][1];
                const int64_t b = want[2] - light[i][2];
                const int64_t distance = r * r + g * g + b * b;
                best = distance < nearest ? i : best;
                nearest = std::min(distance, nearest);
            }
            const size_t ahead = static_cast<size_t>(static_cast<int64_t>(at) + 3 * step);
            const size_t behind = static_cast<size_t>(static_cast<int64_t>(at) - 3 * step);
            for (int c = 0; c < 3; ++c) {
                const int32_t error = want[c] - light[best][c];
                const int32_t right = error * 7 / 16;
                const int32_t below_behind = error * 3 / 16;
                const int32_t below = error * 5 / 16;
                here[ahead + c] += right;
                next[behind + c] += below_behind;
                next[at + c] += below;
                next[ahead + c] += error - right - below_behind - below;
            }
            chosen[x] = static_cast<uint8_t>(best);
        }
        std::swap(here, next);
    }
    return true;
}

bool light_of_samples(bool samples_as_light, const uint8_t* rgb, size_t pixels, std::unique_ptr<int32_t[]>& light) {
    light.reset(new (std::nothrow) int32_t[pixels * 3]);
    if (!light) return false;
    int32_t of[256];
    for (int32_t v = 0; v < 256; ++v) of[v] = samples_as_light ? v * 257 : linear_from_srgb8(static_cast<uint8_t>(v));
    for (size_t i = 0; i < pixels * 3; ++i) light[i] = of[rgb[i]];
    return true;
}

bool diffuse_to_colours(const DiffusionColours& colours, bool samples_as_light, const uint8_t* rgb, int32_t width,
                        uint8_t* dots) {
    std::unique_ptr<int32_t[]> light;
    return light_of_samples(samples_as_light, rgb, static_cast<size_t>(width) * kScreenLines, light) &&
           diffuse_light(colours, light.get(), width, dots);
}

void samples_of_dots(int32_t mode, const uint8_t* dots, size_t pixels, uint8_t* rgb) {
    const ScreenMode& screen = screen_mode_for(mode);
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        const PaletteEntry& entry = screen.palette[dots[i] % screen.colours];
        rgb[0] = entry.red ? 255 : 0;
        rgb[1] = entry.green ? 255 : 0;
        rgb[2] = entry.blue ? 255 : 0;
    }
}

void dots_of_samples(int32_t mode, const uint8_t* rgb, size_t pixels, uint8_t* dots) {
    for (size_t i = 0; i < pixels; ++i, rgb += 3)
        dots[i] = static_cast<uint8_t>(nearest_colour(mode, rgb[0] > 127, rgb[1] > 127, rgb[2] > 127));
}

bool diffuse_to_palette(int32_t mode, const Palette& palette, bool samples_as_light, uint8_t* rgb, int32_t width) {
    DiffusionColours colours;
    colours.count = palette.colours;
    for (int32_t i = 0; i < colours.count; ++i)
        for (int c = 0; c < 3; ++c) colours.light[i][c] = (palette.physical[i] >> c & 1) * 65535;
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<uint8_t[]> dots(new (std::nothrow) uint8_t[pixels]);
    if (!dots || !diffuse_to_colours(colours, samples_as_light, rgb, width, dots.get())) return false;
    samples_of_dots(mode, dots.get(), pixels, rgb);
    return true;
}
