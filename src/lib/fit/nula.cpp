#include "lib/fit/nula.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "screen/modes.h"

namespace {

constexpr int32_t kLevels = 16;

int32_t level_light(int32_t level) { return linear_from_srgb8(static_cast<uint8_t>(17 * level)); }

// The level whose light is nearest to `light`.
int32_t nearest_level(int64_t light) {
    int32_t best = 0;
    for (int32_t n = 1; n < kLevels; ++n)
        if (std::abs(light - level_light(n)) < std::abs(light - level_light(best))) best = n;
    return best;
}

int32_t channel(uint16_t rgb, int c) { return rgb >> (8 - 4 * c) & 15; }

uint16_t with_channel(uint16_t rgb, int c, int32_t level) {
    const int shift = 8 - 4 * c;
    return static_cast<uint16_t>((rgb & ~(15 << shift)) | level << shift);
}

int32_t hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int32_t nula_colours(int32_t mode) { return screen_mode_for(mode).colours; }

bool parse_nula_palette(const char* text, int32_t mode, NulaPalette& palette, char* reason, size_t capacity) {
    const int32_t wanted = nula_colours(mode);
    NulaPalette read;
    const char* p = text;
    for (;;) {
        const char* end = p;
        while (*end && *end != ',') ++end;
        if (read.colours < kLevels) {
            const bool hex = end - p == 3 && hex_value(p[0]) >= 0 && hex_value(p[1]) >= 0 && hex_value(p[2]) >= 0;
            if (!hex) {
                snprintf(reason, capacity, "'%.*s' is not a NuLA colour: each is three hex digits, red, green and blue "
                         "(000 black to FFF white)", static_cast<int>(std::min<ptrdiff_t>(end - p, 16)), p);
                return false;
            }
            read.rgb[read.colours] = static_cast<uint16_t>(hex_value(p[0]) << 8 | hex_value(p[1]) << 4 | hex_value(p[2]));
        }
        ++read.colours;
        if (!*end) break;
        p = end + 1;
    }
    if (read.colours != wanted) {
        snprintf(reason, capacity, "a MODE %d NuLA palette is %d colours, one for each logical colour, not %d",
                 static_cast<int>(mode), static_cast<int>(wanted), static_cast<int>(read.colours));
        return false;
    }
    palette = read;
    return true;
}

void format_nula_palette(const NulaPalette& palette, char (&text)[64]) {
    constexpr char kHex[] = "0123456789ABCDEF";
    char* out = text;
    for (int32_t i = 0; i < palette.colours; ++i) {
        if (i > 0) *out++ = ',';
        for (int c = 0; c < 3; ++c) *out++ = kHex[channel(palette.rgb[i], c)];
    }
    *out = '\0';
}

NulaPalette nula_of_palette(const Palette& palette) {
    NulaPalette nula;
    nula.colours = palette.colours;
    for (int32_t i = 0; i < palette.colours; ++i)
        for (int c = 0; c < 3; ++c)
            if (palette.physical[i] >> c & 1) nula.rgb[i] = with_channel(nula.rgb[i], c, 15);
    return nula;
}

void nula_samples(const NulaPalette& palette, uint8_t (&rgb)[8][3]) {
    for (int32_t i = 0; i < std::min(palette.colours, 8); ++i)
        for (int c = 0; c < 3; ++c) rgb[i][c] = static_cast<uint8_t>(17 * channel(palette.rgb[i], c));
}

DiffusionColours nula_light(const NulaPalette& palette) {
    DiffusionColours colours;
    colours.count = palette.colours;
    for (int32_t i = 0; i < palette.colours; ++i)
        for (int c = 0; c < 3; ++c) colours.light[i][c] = level_light(channel(palette.rgb[i], c));
    return colours;
}

bool nula_error(const NulaPalette& palette, const uint8_t* dots, const BlurredPicture& reference, uint64_t& error) {
    const int32_t width = reference.width;
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<uint8_t[]> shown(new (std::nothrow) uint8_t[pixels * 3]);
    if (!shown) return false;
    uint8_t sample[16][3];
    for (int32_t i = 0; i < palette.colours; ++i)
        for (int c = 0; c < 3; ++c) sample[i][c] = static_cast<uint8_t>(17 * channel(palette.rgb[i], c));
    for (size_t i = 0; i < pixels; ++i) memcpy(shown.get() + i * 3, sample[dots[i] % palette.colours], 3);
    BlurredPicture blurred;
    if (!blur_samples(shown.get(), width, blurred)) return false;
    error = 0;
    for (size_t i = 0; i < pixels * 3; ++i) {
        const int64_t difference = int64_t{reference.sums[i]} - blurred.sums[i];
        error += static_cast<uint64_t>(difference * difference);
    }
    return true;
}

namespace {

// The picture's colours, counted by the sample's top five bits a channel,
// with the sum of their light: a photograph has some thousands.
struct Bucket {
    int64_t count = 0;
    int64_t sum[3] = {};
    int32_t mean[3] = {};
};

struct Histogram {
    std::unique_ptr<Bucket[]> buckets;
    int32_t used = 0;
};

bool histogram_of(const uint8_t* rgb, const int32_t* light, size_t pixels, Histogram& histogram) {
    constexpr size_t kCells = 32 * 32 * 32;
    const std::unique_ptr<int32_t[]> where(new (std::nothrow) int32_t[kCells]);
    histogram.buckets.reset(new (std::nothrow) Bucket[std::min(kCells, pixels)]);
    if (!where || !histogram.buckets) return false;
    std::fill(where.get(), where.get() + kCells, -1);
    for (size_t i = 0; i < pixels; ++i, rgb += 3, light += 3) {
        const size_t cell = static_cast<size_t>(rgb[0] >> 3 << 10 | rgb[1] >> 3 << 5 | rgb[2] >> 3);
        if (where[cell] < 0) where[cell] = histogram.used++;
        Bucket& b = histogram.buckets[where[cell]];
        ++b.count;
        for (int c = 0; c < 3; ++c) b.sum[c] += light[c];
    }
    for (int32_t i = 0; i < histogram.used; ++i) {
        Bucket& b = histogram.buckets[i];
        for (int c = 0; c < 3; ++c) b.mean[c] = static_cast<int32_t>((b.sum[c] + b.count / 2) / b.count);
    }
    return true;
}

int64_t squared_distance(const int32_t (&a)[3], const int32_t (&b)[3]) {
    int64_t sum = 0;
    for (int c = 0; c < 3; ++c) sum += int64_t{a[c] - b[c]} * (a[c] - b[c]);
    return sum;
}

// Plain k-means of the buckets in linear light, seeded from the mean
// colour and then, one by one, the bucket whose pixels lie furthest from
// every centre so far (count times squared distance): the same centres
// every time.
void k_means(const Histogram& histogram, int32_t k, int32_t (*centre)[3]) {
    const int32_t used = histogram.used;
    int64_t total[3] = {0, 0, 0};
    int64_t pixels = 0;
    for (int32_t i = 0; i < used; ++i) {
        pixels += histogram.buckets[i].count;
        for (int c = 0; c < 3; ++c) total[c] += histogram.buckets[i].sum[c];
    }
    for (int c = 0; c < 3; ++c) centre[0][c] = static_cast<int32_t>(total[c] / std::max<int64_t>(pixels, 1));
    for (int32_t j = 1; j < k; ++j) {
        int64_t furthest = -1;
        int32_t pick = 0;
        for (int32_t i = 0; i < used; ++i) {
            int64_t nearest = INT64_MAX;
            for (int32_t m = 0; m < j; ++m) nearest = std::min(nearest, squared_distance(histogram.buckets[i].mean, centre[m]));
            const int64_t weight = (nearest >> 8) * histogram.buckets[i].count;
            if (weight > furthest) furthest = weight, pick = i;
        }
        memcpy(centre[j], histogram.buckets[pick].mean, sizeof centre[j]);
    }
    for (int round = 0; round < 24; ++round) {
        int64_t sum[16][3] = {};
        int64_t count[16] = {};
        for (int32_t i = 0; i < used; ++i) {
            const Bucket& b = histogram.buckets[i];
            int32_t best = 0;
            int64_t nearest = INT64_MAX;
            for (int32_t m = 0; m < k; ++m) {
                const int64_t d = squared_distance(b.mean, centre[m]);
                if (d < nearest) nearest = d, best = m;
            }
            count[best] += b.count;
            for (int c = 0; c < 3; ++c) sum[best][c] += b.sum[c];
        }
        bool moved = false;
        for (int32_t m = 0; m < k; ++m) {
            if (count[m] == 0) continue;
            for (int c = 0; c < 3; ++c) {
                const int32_t mean = static_cast<int32_t>((sum[m][c] + count[m] / 2) / count[m]);
                moved = moved || mean != centre[m][c];
                centre[m][c] = mean;
            }
        }
        if (!moved) break;
    }
}

// With the dots fixed, the blurred screen is linear in the colours: each
// blurred pixel is the sum over the colours of how many of its nine dots
// show each, times the colour. The colours that bring it closest to the
// picture solve the normal equations A x = b of that least-squares
// problem (one A for the three channels): A[i][j] sums over the pixels the
// product of the counts of colours i and j, b[i] the count of colour i
// times the picture's blurred pixel. Solved by Gauss-Seidel kept within
// full light, then rounded to levels and stepped a level at a time while
// the model's error falls, all in integers.
struct Normal {
    int32_t colours = 0;
    int64_t a[16][16] = {};
    int64_t b[16][3] = {};
};

void normal_equations(const uint8_t* dots, const BlurredPicture& reference, int32_t colours, Normal& normal) {
    const int32_t width = reference.width;
    normal = Normal{};
    normal.colours = colours;
    for (int32_t y = 0; y < kScreenLines; ++y) {
        const uint8_t* rows[3];
        for (int32_t d = -1; d <= 1; ++d)
            rows[d + 1] = dots + static_cast<size_t>(std::clamp(y + d, 0, kScreenLines - 1)) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            int32_t count[16] = {};
            int32_t seen[9];
            int32_t distinct = 0;
            const int32_t columns[3] = {std::max(x - 1, 0), x, std::min(x + 1, width - 1)};
            for (const uint8_t* row : rows)
                for (const int32_t column : columns) {
                    const int32_t dot = row[column] % colours;
                    if (count[dot]++ == 0) seen[distinct++] = dot;
                }
            const int32_t* sums = reference.sums.get() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
            for (int32_t s = 0; s < distinct; ++s) {
                const int32_t i = seen[s];
                for (int32_t t = 0; t < distinct; ++t) normal.a[i][seen[t]] += count[i] * count[seen[t]];
                for (int c = 0; c < 3; ++c) normal.b[i][c] += int64_t{count[i]} * sums[c];
            }
        }
    }
}

// (A x - b)[i] for channel c, x the colours' light.
int64_t residual(const Normal& normal, const int32_t (*light)[3], int32_t i, int c) {
    int64_t sum = -normal.b[i][c];
    for (int32_t j = 0; j < normal.colours; ++j) sum += normal.a[i][j] * light[j][c];
    return sum;
}

NulaPalette colours_for_dots(const NulaPalette& start, const Normal& normal) {
    const int32_t k = normal.colours;
    DiffusionColours colours = nula_light(start);
    int32_t (*light)[3] = colours.light;
    for (int sweep = 0; sweep < 32; ++sweep)
        for (int32_t i = 0; i < k; ++i) {
            if (normal.a[i][i] == 0) continue;  // a colour no dot shows
            for (int c = 0; c < 3; ++c) {
                const int64_t others = -residual(normal, light, i, c) + normal.a[i][i] * light[i][c];
                light[i][c] = static_cast<int32_t>(std::clamp<int64_t>((others + normal.a[i][i] / 2) / normal.a[i][i], 0, 65535));
            }
        }
    NulaPalette fitted = start;
    for (int32_t i = 0; i < k; ++i) {
        if (normal.a[i][i] == 0) continue;
        for (int c = 0; c < 3; ++c) {
            fitted.rgb[i] = with_channel(fitted.rgb[i], c, nearest_level(light[i][c]));
            light[i][c] = level_light(channel(fitted.rgb[i], c));
        }
    }
    // A level at a time: the change in the model's error when x[i] moves
    // by d is 2 d (A x - b)[i] + d^2 A[i][i].
    for (bool moved = true; moved;) {
        moved = false;
        for (int32_t i = 0; i < k; ++i)
            for (int c = 0; c < 3; ++c)
                for (const int32_t step : {1, -1}) {
                    const int32_t level = channel(fitted.rgb[i], c) + step;
                    if (normal.a[i][i] == 0 || level < 0 || level >= kLevels) continue;
                    const int64_t d = level_light(level) - light[i][c];
                    if (2 * d * residual(normal, light, i, c) + d * d * normal.a[i][i] >= 0) continue;
                    fitted.rgb[i] = with_channel(fitted.rgb[i], c, level);
                    light[i][c] = level_light(level);
                    moved = true;
                }
    }
    return fitted;
}

// Two colours mix only to the colours between them: each sample moves to
// the nearest of those in linear light before diffusing, as the machine's
// pairs of colours have theirs moved (keep_within_palette), or the error
// of colours off the line would pile up with nothing to pay it off. With
// more colours, keeping each channel within the colours' range measured
// worse than leaving the error to the diffusion.
void onto_segment(const DiffusionColours& colours, const int32_t* light, size_t pixels, int32_t* out) {
    int64_t step[3];
    int64_t length = 0;
    for (int c = 0; c < 3; ++c) {
        step[c] = colours.light[1][c] - colours.light[0][c];
        length += step[c] * step[c];
    }
    for (size_t i = 0; i < pixels * 3; i += 3) {
        int64_t along = 0;
        for (int c = 0; c < 3; ++c) along += (light[i + c] - colours.light[0][c]) * step[c];
        along = std::clamp<int64_t>(along, 0, length);
        for (int c = 0; c < 3; ++c)
            out[i + c] = length ? colours.light[0][c] + static_cast<int32_t>((step[c] * along + length / 2) / length) : light[i + c];
    }
}

// The search: the picture, its blur, and the best colours found so far
// with their dots and error.
struct Search {
    const uint8_t* rgb = nullptr;
    int32_t width = 0;
    BlurredPicture reference;
    std::unique_ptr<int32_t[]> light;       // the picture's, as diffusion takes it
    std::unique_ptr<int32_t[]> on_segment;  // that moved, for two colours
    std::unique_ptr<uint8_t[]> trial;       // the dots of the colours last tried
    std::unique_ptr<uint8_t[]> current;     // the dots of alternate's colours
    NulaPalette best;
    uint64_t best_error = UINT64_MAX;
    uint8_t* best_dots = nullptr;
    int32_t tries = 0;

    size_t pixels() const { return static_cast<size_t>(width) * kScreenLines; }

    bool start(bool samples_as_light) {
        const size_t count = pixels();
        trial.reset(new (std::nothrow) uint8_t[count]);
        current.reset(new (std::nothrow) uint8_t[count]);
        on_segment.reset(new (std::nothrow) int32_t[count * 3]);
        return trial && current && on_segment && light_of_samples(samples_as_light, rgb, count, light) &&
               blur_samples(rgb, width, reference);
    }

    // Diffuses to `palette` into `trial`, and keeps it if it comes closer
    // than the best.
    bool consider(const NulaPalette& palette, uint64_t& error) {
        ++tries;
        const DiffusionColours colours = nula_light(palette);
        const int32_t* picture = light.get();
        if (palette.colours == 2) {
            onto_segment(colours, picture, pixels(), on_segment.get());
            picture = on_segment.get();
        }
        if (!diffuse_light(colours, picture, width, trial.get()) ||
            !nula_error(palette, trial.get(), reference, error))
            return false;
        if (error < best_error) {
            best_error = error;
            best = palette;
            memcpy(best_dots, trial.get(), pixels());
        }
        return true;
    }

    // From `palette` with its dots in `current`, colours fitted to the dots
    // and dots diffused to the colours in turn, while that comes closer.
    bool alternate(NulaPalette palette, uint64_t error) {
        Normal normal;
        for (int round = 0; round < kMostRounds; ++round) {
            normal_equations(current.get(), reference, palette.colours, normal);
            const NulaPalette fitted = colours_for_dots(palette, normal);
            uint64_t fitted_error = 0;
            if (memcmp(fitted.rgb, palette.rgb, sizeof fitted.rgb) == 0) break;
            if (!consider(fitted, fitted_error)) return false;
            if (fitted_error >= error) break;
            palette = fitted;
            error = fitted_error;
            memcpy(current.get(), trial.get(), pixels());
        }
        return true;
    }

    // Each channel of each colour stepped by 4 levels up or down while that
    // comes closer, then by 2, then by 1: the diffusion's dots change with
    // every colour, so the error is rough at the scale of a level and a
    // longer step passes over its small hollows.
    bool descend() {
        for (const int32_t size : {4, 2, 1}) {
            for (bool closer = true; closer;) {
                closer = false;
                for (int32_t m = 0; m < best.colours; ++m)
                    for (int c = 0; c < 3; ++c)
                        for (const int32_t step : {size, -size}) {
                            const int32_t level = channel(best.rgb[m], c) + step;
                            if (level < 0 || level >= kLevels || tries >= kMostTries) continue;
                            NulaPalette stepped = best;
                            stepped.rgb[m] = with_channel(stepped.rgb[m], c, level);
                            const uint64_t before = best_error;
                            uint64_t error = 0;
                            if (!consider(stepped, error)) return false;
                            closer = closer || best_error < before;
                        }
            }
        }
        return true;
    }

    static constexpr int kMostRounds = 16;
    static constexpr int32_t kMostTries = 450;
};

}  // namespace

bool choose_nula_palette(int32_t colours, bool samples_as_light, const uint8_t* rgb, int32_t width,
                         const NulaPalette& fallback, const uint8_t* fallback_dots, NulaPalette& chosen,
                         uint8_t* dots) {
    Search search;
    search.rgb = rgb;
    search.width = width;
    search.best_dots = dots;
    const size_t pixels = search.pixels();
    if (!search.start(samples_as_light) || !nula_error(fallback, fallback_dots, search.reference, search.best_error)) return false;
    const uint64_t fallback_error = search.best_error;
    search.best = fallback;
    memcpy(dots, fallback_dots, pixels);

    // The picture's own colours, clustered, rounded to levels.
    Histogram histogram;
    if (!histogram_of(rgb, search.light.get(), pixels, histogram)) return false;
    int32_t centre[16][3];
    k_means(histogram, colours, centre);
    NulaPalette clustered;
    clustered.colours = colours;
    for (int32_t m = 0; m < colours; ++m)
        for (int c = 0; c < 3; ++c) clustered.rgb[m] = with_channel(clustered.rgb[m], c, nearest_level(centre[m][c]));
    uint64_t error = 0;
    if (!search.consider(clustered, error)) return false;
    memcpy(search.current.get(), search.trial.get(), pixels);
    if (!search.alternate(clustered, error)) return false;
    // And from the machine's colours, whose dots the colours are fitted to
    // first.
    if (fallback.colours == colours) {
        memcpy(search.current.get(), fallback_dots, pixels);
        if (!search.alternate(fallback, fallback_error)) return false;
    }
    if (!search.descend()) return false;
    chosen = search.best;
    return true;
}

bool fit_nula(int32_t mode, bool samples_as_light, uint8_t* rgb, int32_t width, const Palette& fixed,
              const uint8_t* fixed_samples, NulaPalette& chosen) {
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<uint8_t[]> fixed_dots(new (std::nothrow) uint8_t[pixels]);
    const std::unique_ptr<uint8_t[]> dots(new (std::nothrow) uint8_t[pixels]);
    if (!fixed_dots || !dots) return false;
    dots_of_samples(mode, fixed_samples, pixels, fixed_dots.get());
    if (!choose_nula_palette(nula_colours(mode), samples_as_light, rgb, width, nula_of_palette(fixed), fixed_dots.get(),
                             chosen, dots.get()))
        return false;
    samples_of_dots(mode, dots.get(), pixels, rgb);
    return true;
}

bool diffuse_to_nula(int32_t mode, const NulaPalette& palette, bool samples_as_light, uint8_t* rgb, int32_t width) {
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<uint8_t[]> dots(new (std::nothrow) uint8_t[pixels]);
    if (!dots || !diffuse_to_colours(nula_light(palette), samples_as_light, rgb, width, dots.get())) return false;
    samples_of_dots(mode, dots.get(), pixels, rgb);
    return true;
}
