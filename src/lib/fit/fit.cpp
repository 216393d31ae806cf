#include "lib/fit/fit.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "lib/colour.h"
#include "lib/fit/decode.h"
#include "lib/fit/diffuse.h"
#include "lib/fit/light.h"
#include "lib/fit/recolour.h"
#include "screen/modes.h"

namespace {

// The screen is 640 x 512 display dots in every mode: a pixel of the PPM
// covers 640 / width of them across and 2 down (one scan line). Scaling
// works in dots, so the picture keeps its proportions on the machine.
constexpr int64_t kDotsAcross = 640;
constexpr int64_t kDotsDown = 2 * kScreenLines;

// One direction of the scaling. A dot X of the screen shows the picture at
// (a X + b) / c pixels along this direction, so the PPM's cell t, dots
// [t cell, (t + 1) cell), covers picture pixels [(a t cell + b) / c,
// (a (t + 1) cell + b) / c): with integers only, each cell's share of each
// pixel is exact.
struct Axis {
    int32_t cells = 0;
    int64_t total = 0;  // a cell's whole area, in 1 / c pixel units
    std::unique_ptr<int32_t[]> first;  // per cell: the first pixel it covers
    std::unique_ptr<int32_t[]> count;  // and how many
    std::unique_ptr<int32_t[]> start;  // where its weights start in `weight`
    std::unique_ptr<int64_t[]> weight;
};

// The scale in dots per picture pixel along one direction, n / d: the same
// for both directions unless stretched.
struct Scale {
    int64_t n;
    int64_t d;
};

Scale uniform_scale(int64_t width, int64_t height, Fill fill) {
    // 640 / width against 512 / height, compared without dividing.
    const bool across_is_larger = kDotsAcross * height > kDotsDown * width;
    const bool use_across = fill == Fill::kCrop ? across_is_larger : !across_is_larger;
    return use_across ? Scale{kDotsAcross, width} : Scale{kDotsDown, height};
}

bool build_axis(int64_t pixels, int64_t dots, int32_t cells, Scale scale, Axis& axis) {
    const int64_t a = 2 * scale.d;
    const int64_t b = pixels * scale.n - dots * scale.d;  // centres the picture
    const int64_t c = 2 * scale.n;
    const int64_t cell = dots / cells;
    axis.cells = cells;
    axis.total = a * cell;
    axis.first.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    axis.count.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    axis.start.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    // Each pixel falls into at most two cells, or each cell onto at most
    // two pixels.
    const size_t room = 2 * (static_cast<size_t>(pixels) + static_cast<size_t>(cells)) + 2;
    axis.weight.reset(new (std::nothrow) int64_t[room]);
    if (!axis.first || !axis.count || !axis.start || !axis.weight) return false;
    size_t used = 0;
    for (int32_t t = 0; t < cells; ++t) {
        const int64_t from = a * t * cell + b;
        const int64_t to = from + axis.total;
        const int64_t first = std::max<int64_t>(0, from >= 0 ? from / c : -((-from + c - 1) / c));
        const int64_t end = std::min<int64_t>(pixels, to <= 0 ? 0 : (to + c - 1) / c);
        axis.first[t] = static_cast<int32_t>(std::min(first, pixels));
        axis.count[t] = static_cast<int32_t>(std::max<int64_t>(0, end - first));
        axis.start[t] = static_cast<int32_t>(used);
        for (int64_t k = first; k < end; ++k)
            axis.weight[used++] = std::min(to, (k + 1) * c) - std::max(from, k * c);
    }
    return true;
}

// Linear light of each 8-bit sample, looked up here rather than through a
// call per sample: this is the innermost loop of a large picture.
struct LinearTable {
    int32_t of[256];
};

LinearTable make_linear_table() {
    LinearTable table;
    for (int32_t v = 0; v < 256; ++v) table.of[v] = linear_from_srgb8(static_cast<uint8_t>(v));
    return table;
}

// Columns [from, to) of a row of the picture in linear light, over the
// background where it is transparent.
template <typename Sample, int kChannels>
void linear_row(const Sample* rgba, int32_t from, int32_t to, const LinearTable& table, const int32_t background[3],
                int32_t* out) {
    constexpr int32_t kOpaque = sizeof(Sample) == 1 ? 255 : 65535;
    rgba += static_cast<size_t>(from) * kChannels;
    out += static_cast<size_t>(from) * 3;
    // One or two channels are grey, and grey with alpha.
    constexpr int kColours = kChannels >= 3 ? 3 : 1;
    for (int32_t x = from; x < to; ++x, rgba += kChannels, out += 3) {
        int32_t lit[3];
        for (int c = 0; c < kColours; ++c)
            lit[c] = sizeof(Sample) == 1 ? table.of[rgba[c] & 0xff] : linear_from_srgb16(static_cast<uint16_t>(rgba[c]));
        if (kColours == 1) lit[1] = lit[2] = lit[0];
        const int64_t alpha = kChannels == 4 || kChannels == 2 ? rgba[kChannels - 1] : kOpaque;
        for (int c = 0; c < 3; ++c)
            out[c] = alpha == kOpaque ? lit[c]
                                      : static_cast<int32_t>((alpha * lit[c] + (kOpaque - alpha) * background[c] + kOpaque / 2) /
                                                             kOpaque);
    }
}

int32_t rounded_average(int64_t sum, int64_t total) { return static_cast<int32_t>((sum + total / 2) / total); }

// The final colour of one PPM pixel from its linear light.
void finish_pixel(const int32_t linear[3], const FitSettings& settings, const ToneCurve& tone, uint8_t* out) {
    int32_t colour[3] = {linear[0], linear[1], linear[2]};
    if (settings.grey || settings.saturation != 0) {
        const int32_t luminance = (2126 * colour[0] + 7152 * colour[1] + 722 * colour[2] + 5000) / 10000;
        const int32_t keep = settings.grey ? 0 : 100 + settings.saturation;
        for (int32_t& c : colour) {
            const int64_t spread = int64_t{c - luminance} * keep * 2 + (c >= luminance ? 100 : -100);
            c = std::clamp<int32_t>(luminance + static_cast<int32_t>(spread / 200), 0, 65535);
        }
    }
    for (int c = 0; c < 3; ++c) out[c] = tone.out[srgb8_from_linear(colour[c])];
}

template <typename Sample, int kChannels>
void linear_samples(const void* rgba, int32_t from, int32_t to, const LinearTable& table, const int32_t background[3],
                    int32_t* out) {
    linear_row<Sample, kChannels>(static_cast<const Sample*>(rgba), from, to, table, background, out);
}

}  // namespace

ConversionOptions conversion_for(const FitSettings& settings) {
    ConversionOptions options = kDefaultOptions;
    options.mode = settings.mode;
    if (settings.dither == Dither::kDiffuse) {
        options.halftone = kHalftoneNone;
    } else {
        options.halftone = settings.halftone;
        options.stagger = settings.stagger;
        options.aspect = settings.aspect;
    }
    return options;
}

int32_t fit_width(const FitSettings& settings) {
    return conversion_for(settings).aspect ? 320 : screen_width(screen_mode_for(settings.mode));
}

int32_t decode_reduction(int32_t width, int32_t height, const FitSettings& settings) {
    const int64_t cell_across = kDotsAcross / fit_width(settings);
    const int64_t cell_down = kDotsDown / kScreenLines;
    const Scale uniform = uniform_scale(width, height, settings.fill);
    const bool stretch = settings.fill == Fill::kStretch;
    const Scale across = stretch ? Scale{kDotsAcross, width} : uniform;
    const Scale down = stretch ? Scale{kDotsDown, height} : uniform;
    // Picture pixels per cell: cell dots over dots per pixel.
    const int64_t most = std::min(cell_across * across.d / across.n, cell_down * down.d / down.n);
    int32_t reduce = 8;
    while (reduce > 1 && reduce > most) reduce /= 2;
    return reduce;
}

namespace {

// The picture scaled to the screen as the decoder hands its rows over:
// only one row of the picture and the sums of the PPM's cells are held.
struct Scaler {
    const FitSettings* settings = nullptr;
    Axis across;
    Axis down;
    LinearTable table;
    int32_t background[3] = {0, 0, 0};
    // Only the columns some cell covers: a cropped picture's sides are never read.
    int32_t from = 0;
    int32_t to = 0;
    // The next row of the picture, y, and the cells of the PPM's rows that
    // cover it, [low, high).
    int32_t y = 0;
    int32_t low = 0;
    int32_t high = 0;
    void (*linear)(const void*, int32_t, int32_t, const LinearTable&, const int32_t*, int32_t*) = nullptr;
    std::unique_ptr<int32_t[]> row;
    std::unique_ptr<int32_t[]> spread;
    std::unique_ptr<int64_t[]> sums;

    bool start(int32_t width, int32_t height, int32_t bits, int32_t channels) {
        const bool stretch = settings->fill == Fill::kStretch;
        const Scale uniform = uniform_scale(width, height, settings->fill);
        const int32_t cells = fit_width(*settings);
        if (!build_axis(width, kDotsAcross, cells, stretch ? Scale{kDotsAcross, width} : uniform, across) ||
            !build_axis(height, kDotsDown, kScreenLines, stretch ? Scale{kDotsDown, height} : uniform, down))
            return false;
        row.reset(new (std::nothrow) int32_t[static_cast<size_t>(width) * 3]);
        spread.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells) * 3]);
        sums.reset(new (std::nothrow) int64_t[static_cast<size_t>(cells) * kScreenLines * 3]());
        if (!row || !spread || !sums) return false;
        table = make_linear_table();
        for (int c = 0; c < 3; ++c) background[c] = table.of[settings->background[c]];
        from = across.first[0];
        to = across.first[cells - 1] + across.count[cells - 1];
        using Linear = decltype(linear);
        const Linear narrow[4] = {linear_samples<uint8_t, 1>, linear_samples<uint8_t, 2>, linear_samples<uint8_t, 3>,
                                  linear_samples<uint8_t, 4>};
        const Linear wide[4] = {linear_samples<uint16_t, 1>, linear_samples<uint16_t, 2>, linear_samples<uint16_t, 3>,
                                linear_samples<uint16_t, 4>};
        if (channels < 1 || channels > 4) return false;
        linear = (bits == 16 ? wide : narrow)[channels - 1];
        return true;
    }

    void add_row(const void* samples) {
        const int32_t at = y++;
        while (low < down.cells && down.first[low] + down.count[low] <= at) ++low;
        while (high < down.cells && down.first[high] <= at) ++high;
        if (low >= high) return;
        const int32_t width = across.cells;
        linear(samples, from, to, table, background, row.get());
        for (int32_t t = 0; t < width; ++t) {
            int64_t sum[3] = {0, 0, 0};
            const int64_t* weight = across.weight.get() + across.start[t];
            const int32_t* in = row.get() + static_cast<size_t>(across.first[t]) * 3;
            for (int32_t k = 0; k < across.count[t]; ++k, in += 3)
                for (int c = 0; c < 3; ++c) sum[c] += weight[k] * in[c];
            for (int c = 0; c < 3; ++c) spread[static_cast<size_t>(t) * 3 + c] = rounded_average(sum[c], across.total);
        }
        for (int32_t r = low; r < high; ++r) {
            const int64_t weight = down.weight[static_cast<size_t>(down.start[r] + at - down.first[r])];
            int64_t* into = sums.get() + static_cast<size_t>(r) * width * 3;
            for (size_t i = 0; i < static_cast<size_t>(width) * 3; ++i) into[i] += weight * spread[i];
        }
    }

    // The PPM with the picture's plain samples.
    bool finish(PpmBytes& ppm) {
        const int32_t width = across.cells;
        char header[32];
        const int header_size = snprintf(header, sizeof header, "P6\n%d %d\n255\n", static_cast<int>(width),
                                         static_cast<int>(kScreenLines));
        const size_t cells = static_cast<size_t>(width) * kScreenLines * 3;
        ppm.size = static_cast<size_t>(header_size) + cells;
        ppm.data.reset(new (std::nothrow) uint8_t[ppm.size]);
        if (!ppm.data) return false;
        memcpy(ppm.data.get(), header, static_cast<size_t>(header_size));
        uint8_t* pixels = ppm.data.get() + header_size;
        const ToneCurve tone = make_tone_curve(settings->brightness, settings->contrast, settings->gamma);
        for (size_t i = 0; i < cells; i += 3) {
            const int32_t linear_light[3] = {rounded_average(sums[i], down.total), rounded_average(sums[i + 1], down.total),
                                             rounded_average(sums[i + 2], down.total)};
            finish_pixel(linear_light, *settings, tone, pixels + i);
        }
        return true;
    }
};

PictureRows rows_into(Scaler& scaler) {
    PictureRows rows;
    rows.context = &scaler;
    rows.start = [](void* context, int32_t width, int32_t height, int32_t bits, int32_t channels, char* reason,
                    size_t capacity) {
        if (static_cast<Scaler*>(context)->start(width, height, bits, channels)) return true;
        snprintf(reason, capacity, "out of memory");
        return false;
    };
    rows.row = [](void* context, const void* samples) { static_cast<Scaler*>(context)->add_row(samples); };
    return rows;
}

void make_light_true(HalftoneType halftone, uint8_t* rgb, size_t samples) {
    uint8_t table[256];
    for (int32_t v = 0; v < 256; ++v) table[v] = light_true_sample(halftone, static_cast<uint8_t>(v));
    for (size_t i = 0; i < samples; ++i) rgb[i] = table[rgb[i]];
}

// From plain samples to what tarnvil is given, for `palette`, or for the
// mode's own colours untouched when `palette` is null.
bool finish_samples(const FitSettings& settings, const Palette* palette, uint8_t* rgb) {
    const int32_t width = fit_width(settings);
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const bool light = settings.tone == Tone::kLight;
    const Palette shown = palette ? *palette : default_palette(settings.mode);
    // Colours the dots cannot mix come as near as they can, rather than
    // wherever tarnvil's matching or the diffusion's error takes them.
    if (settings.dither == Dither::kDiffuse) {
        keep_within_palette(shown, !light, rgb, pixels);
        return diffuse_to_palette(settings.mode, shown, !light, rgb, width);
    }
    if (light) keep_within_palette(shown, false, rgb, pixels);
    if (!palette) {
        if (light) make_light_true(settings.halftone, rgb, pixels * 3);
        return true;
    }
    // The two-colour mapping makes a grey whose light is the picture's, so
    // the light-true samples come after it. The others move whole channels,
    // and in MODE 2 may invert them: share(255 - s) is 1 - share(s) to a
    // dot, so there they come first.
    const bool two_colours = palette->colours == 2;
    if (light && !two_colours) make_light_true(settings.halftone, rgb, pixels * 3);
    map_to_palette(settings.mode, *palette, rgb, pixels);
    if (light && two_colours) make_light_true(settings.halftone, rgb, pixels * 3);
    return true;
}

// The picture prepared for a palette: given, or the best of the
// candidates by the distance of their screens from the picture, each made
// the way the settings ask (tone and dither). Ties go to the earlier
// candidate, the mode's own first. Candidates are tried from the lowest
// bound of their distance (mixture_bound) up, and those whose bound
// already exceeds the best distance are not made at all: the choice is
// the one trying every candidate would make, in less time.
bool fit_for_palette(PpmBytes& base, const FitSettings& settings, PpmBytes& ppm) {
    const int32_t width = fit_width(settings);
    const size_t header = base.size - static_cast<size_t>(width) * kScreenLines * 3;

    Palette candidates[kMaxCandidates];
    const bool given = settings.palette_choice == FitSettings::PaletteChoice::kGiven;
    const int32_t count = given ? 1 : palette_candidates(settings.mode, settings.dither == Dither::kDiffuse, candidates);
    if (given) candidates[0] = settings.palette;
    std::unique_ptr<uint8_t[]> trial(new (std::nothrow) uint8_t[base.size]);
    ppm.data.reset(new (std::nothrow) uint8_t[base.size]);
    if (!trial || !ppm.data) return false;
    ppm.size = base.size;
    BlurredPicture blurred;
    if (count > 1 && !blur_samples(base.data.get() + header, width, blurred)) return false;
    uint64_t bound[kMaxCandidates] = {};
    int32_t order[kMaxCandidates];
    for (int32_t i = 0; i < count; ++i) {
        if (count > 1) bound[i] = mixture_bound(candidates[i], blurred);
        order[i] = i;
    }
    std::stable_sort(order, order + count, [&](int32_t a, int32_t b) { return bound[a] < bound[b]; });
    const ConversionOptions options = conversion_for(settings);
    uint64_t best = UINT64_MAX;
    int32_t chosen = -1;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = order[k];
        if (chosen >= 0 && bound[i] > best) break;
        if (chosen >= 0 && bound[i] == best && i > chosen) continue;
        memcpy(trial.get(), base.data.get(), base.size);
        if (!finish_samples(settings, &candidates[i], trial.get() + header)) return false;
        uint64_t error = 0;
        if (count > 1 && !palette_error(options, candidates[i], blurred, trial.get() + header, error)) return false;
        if (chosen >= 0 && (error > best || (error == best && i > chosen))) continue;
        best = error;
        chosen = i;
        std::swap(trial, ppm.data);
    }
    ppm.palette = candidates[chosen];
    return true;
}

}  // namespace

bool fit_file(const uint8_t* bytes, size_t size, const FitSettings& settings, PpmBytes& ppm, char* reason,
              size_t capacity) {
    int32_t width = 0;
    int32_t height = 0;
    if (!read_picture_size(bytes, size, width, height, reason, capacity)) return false;
    // The decoders check whatever they hold whole before they take it; the
    // rest comes a row at a time.
    Scaler scaler;
    scaler.settings = &settings;
    if (!decode_picture(bytes, size, decode_reduction(width, height, settings), rows_into(scaler), reason, capacity))
        return false;
    PpmBytes base;
    if (!scaler.finish(base)) {
        snprintf(reason, capacity, "out of memory");
        return false;
    }
    const size_t header = base.size - static_cast<size_t>(fit_width(settings)) * kScreenLines * 3;
    const bool finished = settings.palette_choice == FitSettings::PaletteChoice::kOwn
                              ? finish_samples(settings, nullptr, base.data.get() + header)
                              : fit_for_palette(base, settings, ppm);
    if (!finished) {
        snprintf(reason, capacity, "out of memory");
        ppm = PpmBytes{};
        return false;
    }
    if (settings.palette_choice == FitSettings::PaletteChoice::kOwn) ppm = std::move(base);
    return true;
}

bool name_with_extension(const char* path, const char* extension, char* out, size_t capacity) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char* dot = strrchr(name, '.');
    const size_t keep = dot && dot != name ? static_cast<size_t>(dot - path) : strlen(path);
    return snprintf(out, capacity, "%.*s%s", static_cast<int>(keep), path, extension) < static_cast<int>(capacity);
}

bool ppm_name_for(const char* picture, char* out, size_t capacity) {
    return name_with_extension(picture, ".ppm", out, capacity);
}
