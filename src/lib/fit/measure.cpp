#include "lib/fit/measure.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "lib/colour.h"
#include "lib/fit/reach.h"
#include "lib/fit/screen.h"
#include "lib/render/render.h"
#include "screen/modes.h"

// By rows, then columns.
bool blur_linear(const int32_t* linear, int32_t width, int32_t height, BlurredPicture& blurred) {
    const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const std::unique_ptr<int32_t[]> rows(new (std::nothrow) int32_t[samples]);
    blurred.width = width;
    blurred.sums.reset(new (std::nothrow) int32_t[samples]);
    if (!rows || !blurred.sums) return false;
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t* line = linear + static_cast<size_t>(y) * stride;
        int32_t* out = rows.get() + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            const size_t left = static_cast<size_t>(std::max(x - 1, 0)) * 3;
            const size_t right = static_cast<size_t>(std::min(x + 1, width - 1)) * 3;
            for (size_t c = 0; c < 3; ++c) out[static_cast<size_t>(x) * 3 + c] = line[left + c] + line[static_cast<size_t>(x) * 3 + c] + line[right + c];
        }
    }
    for (int32_t y = 0; y < height; ++y) {
        const int32_t* above = rows.get() + static_cast<size_t>(std::max(y - 1, 0)) * stride;
        const int32_t* here = rows.get() + static_cast<size_t>(y) * stride;
        const int32_t* below = rows.get() + static_cast<size_t>(std::min(y + 1, height - 1)) * stride;
        int32_t* out = blurred.sums.get() + static_cast<size_t>(y) * stride;
        for (size_t i = 0; i < stride; ++i) out[i] = above[i] + here[i] + below[i];
    }
    return true;
}

bool blur_samples(const uint8_t* rgb, int32_t width, BlurredPicture& blurred) {
    const size_t samples = static_cast<size_t>(width) * kScreenLines * 3;
    const std::unique_ptr<int32_t[]> linear(new (std::nothrow) int32_t[samples]);
    if (!linear) return false;
    for (size_t i = 0; i < samples; ++i) linear[i] = linear_from_srgb8(rgb[i]);
    return blur_linear(linear.get(), width, kScreenLines, blurred);
}

uint64_t mixture_bound(const Palette& palette, const BlurredPicture& reference) {
    if (palette.colours == 8) return 0;
    const Mixtures mixtures = mixtures_of(palette);
    constexpr int32_t kBlock = 4;
    const int32_t width = reference.width;
    uint64_t bound = 0;
    for (int32_t top = 0; top + kBlock <= kScreenLines; top += kBlock) {
        for (int32_t left = 0; left + kBlock <= width; left += kBlock) {
            int64_t sum[3] = {0, 0, 0};
            for (int32_t y = top; y < top + kBlock; ++y) {
                const int32_t* at = reference.sums.get() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(left)) * 3;
                for (int32_t i = 0; i < kBlock * 3; ++i) sum[i % 3] += at[i];
            }
            // The block's mean light: the sums are of nine samples.
            constexpr int64_t kShare = 9 * kBlock * kBlock;
            const int32_t mean[3] = {static_cast<int32_t>((sum[0] + kShare / 2) / kShare),
                                     static_cast<int32_t>((sum[1] + kShare / 2) / kShare),
                                     static_cast<int32_t>((sum[2] + kShare / 2) / kShare)};
            int32_t nearest[3];
            const uint64_t squared = static_cast<uint64_t>(nearest_mixture(mixtures, mean, nearest));
            // The mean and the nearest mixture are each rounded by at most
            // sqrt(3) / 2: two off the distance covers both.
            // The whole root, from the floating one made exact.
            uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(squared)));
            while (root * root > squared) --root;
            while ((root + 1) * (root + 1) <= squared) ++root;
            const uint64_t beyond = root > 2 ? root - 2 : 0;
            bound += 81 * kBlock * kBlock * beyond * beyond;
        }
    }
    return bound;
}

bool palette_error(const ConversionOptions& options, const Palette& palette, const BlurredPicture& reference,
                   const uint8_t* candidate, uint64_t& error) {
    // What the machine shows: tarnvil's conversion, painted in the palette
    // one pixel per screen pixel.
    const int32_t mode = options.mode;
    const int32_t width = reference.width;
    const size_t samples = static_cast<size_t>(width) * kScreenLines * 3;
    const std::unique_ptr<uint8_t[]> dump(new (std::nothrow) uint8_t[kMaxScreenBytes]);
    const std::unique_ptr<int32_t[]> shown(new (std::nothrow) int32_t[samples]);
    if (!dump || !shown || !screen_of_samples(options, candidate, width, dump.get())) return false;
    IndexedImage screen;
    if (!render_dump(mode, dump.get(), true, palette, screen)) return false;

    // On the PPM's grid: each PPM pixel as the screen pixel that shows it,
    // or the two that show it.
    const int32_t across = screen.width;
    for (int32_t y = 0; y < kScreenLines; ++y) {
        const uint8_t* line = screen.indices.get() + static_cast<size_t>(y) * static_cast<size_t>(across);
        for (int32_t x = 0; x < width; ++x) {
            int32_t first = x;
            int32_t last = x;
            if (across * 2 == width) first = last = x / 2;
            if (across == width * 2) first = 2 * x, last = 2 * x + 1;
            for (int c = 0; c < 3; ++c) {
                int32_t sum = 0;
                for (int32_t sx = first; sx <= last; ++sx) sum += screen.rgb[line[sx]][c] ? 65535 : 0;
                shown[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)] =
                    sum / (last - first + 1);
            }
        }
    }
    BlurredPicture blurred;
    if (!blur_linear(shown.get(), width, kScreenLines, blurred)) return false;
    error = 0;
    for (size_t i = 0; i < samples; ++i) {
        const int64_t difference = int64_t{reference.sums[i]} - blurred.sums[i];
        error += static_cast<uint64_t>(difference * difference);
    }
    return true;
}
