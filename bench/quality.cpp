// How close each way of preparing a picture comes to it on the machine:
// the samples as they were (--tone plain), light-true samples with
// tarnvil's halftone (the default) and error diffusion (--dither diffuse),
// each in the mode's own palette and with --palette auto, in MODEs 0, 1
// and 2. The distance is --palette auto's own (palette_error): the screen
// as tarnvil-view paints it against the picture's plain samples, both in
// linear light after a 3 x 3 box blur. Prints a Markdown table and checks
// that the light-true routes keep the gains they were made for.
//
//   quality SUNSET_PPM [--modes DIGITS] [--routes PNG] [--pictures DIR]
//
// --modes measures only some of MODEs 0, 1 and 2 (MODE 0 has no gains to
// check and takes the longest); --routes also writes the sample's three
// routes in MODE 2 side by side, each as tarnvil-view draws it (the
// guide's docs/routes.png); --pictures writes the pictures made here, to
// look at with the tools. Exit status: 0 the gains hold, 1 they do not
// (or the error is not the one --palette auto minimises), 2 usage, 3 a
// picture could not be read or prepared.
//
// The pictures are made with integers only, as tarnvil-fit prepares them,
// so every machine prints the same table.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "lib/tarnvil.h"
#include "random.h"
#include "quality.h"
#include "screen/writer.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 512;

// A wave of period 1024 between -256 and 256: two parabolas, close enough
// to a sine for pictures and the same on every machine.
int32_t wave(int32_t phase) {
    const int32_t p = phase & 1023;
    const int32_t half = p & 511;
    const int32_t v = half * (512 - half) / 256;
    return p < 512 ? v : -v;
}

uint32_t isqrt(uint64_t n) {
    uint64_t root = 0;
    uint64_t bit = uint64_t{1} << 62;
    while (bit > n) bit >>= 2;
    while (bit) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<uint32_t>(root);
}

uint8_t clamp8(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// A 640 x 512 binary PPM whose pixels `paint` fills, row by row.
template <typename Paint>
bool make_picture(const char* name, Source& source, Paint paint) {
    char header[32];
    const int header_size = snprintf(header, sizeof header, "P6\n%d %d\n255\n", kWidth, kHeight);
    source.name = name;
    source.size = static_cast<size_t>(header_size) + size_t{kWidth} * kHeight * 3;
    source.bytes.reset(new (std::nothrow) uint8_t[source.size]);
    if (!source.bytes) return false;
    memcpy(source.bytes.get(), header, static_cast<size_t>(header_size));
    uint8_t* out = source.bytes.get() + header_size;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x, out += 3) {
            int32_t rgb[3] = {0, 0, 0};
            paint(x, y, rgb);
            for (int c = 0; c < 3; ++c) out[c] = clamp8(rgb[c]);
        }
    return true;
}

// Ramps of grey and of the six colours from black to full and on to
// white, and the hue circle full and pale: every level of every channel.
void paint_ramps(int32_t x, int32_t y, int32_t* rgb) {
    static constexpr int kBands[7] = {7, 1, 2, 4, 3, 6, 5};
    const int32_t band = y / 64;
    if (band < 7) {
        // Grey is white at full, so it spans the width alone.
        const int32_t t = x * (band == 0 ? 255 : 510) / (kWidth - 1);
        for (int c = 0; c < 3; ++c) {
            const bool on = kBands[band] >> c & 1;
            rgb[c] = t <= 255 ? (on ? t : 0) : (on ? 255 : t - 255);
        }
        return;
    }
    const int32_t hue = x * 1536 / kWidth;
    const int32_t rise = hue % 256;
    const int32_t sector = hue / 256;
    const int32_t up[6][3] = {{255, rise, 0},       {255 - rise, 255, 0}, {0, 255, rise},
                              {0, 255 - rise, 255}, {rise, 0, 255},       {255, 0, 255 - rise}};
    const bool pale = y % 64 >= 32;
    for (int c = 0; c < 3; ++c) rgb[c] = pale ? (up[sector][c] + 255) / 2 : up[sector][c];
}

// Red across, green down, blue against both: smooth everywhere, every
// mixture of the three.
void paint_field(int32_t x, int32_t y, int32_t* rgb) {
    rgb[0] = x * 255 / (kWidth - 1);
    rgb[1] = y * 255 / (kHeight - 1);
    rgb[2] = 255 - (rgb[0] + rgb[1]) / 2;
}

// Interfering waves, each channel a third of a turn from the others: bold
// colours that change in every direction.
void paint_plasma(int32_t x, int32_t y, int32_t* rgb) {
    const int32_t dx = x - 320;
    const int32_t dy = y - 256;
    const int32_t v = wave(x * 3) + wave(y * 4) + wave((x + y) * 2) +
                      wave(static_cast<int32_t>(isqrt(static_cast<uint64_t>(dx * dx + dy * dy))) * 6);
    rgb[0] = 128 + wave(v) / 2;
    rgb[1] = 128 + wave(v + 341) / 2;
    rgb[2] = 128 + wave(v + 683) / 2;
}

// Like a photograph: a sky darkening upwards, a low sun with its glow,
// far and near hills, a lake mirroring the sky, a tree, flowers in the
// grass, and grain over everything.
struct Scene {
    Random random{0x5eed5eed5eedull};
    struct Blob {
        int32_t x, y, radius, colour[3];
    } blobs[6];

    Scene() {
        for (Blob& b : blobs) {
            b = {random.below(kWidth), 400 + random.below(112), 20 + random.below(40), {}};
            for (int32_t& c : b.colour) c = random.below(256);
        }
    }

    static int32_t mix(int32_t from, int32_t to, int32_t t, int32_t of) { return from + (to - from) * t / of; }

    static void sky(int32_t y, int32_t* rgb) {
        static constexpr int32_t kTop[3] = {30, 60, 140};
        static constexpr int32_t kHorizon[3] = {250, 190, 150};
        for (int c = 0; c < 3; ++c) rgb[c] = mix(kTop[c], kHorizon[c], std::clamp(y, 0, 300), 300);
    }

    void paint(int32_t x, int32_t y, int32_t* rgb) {
        const int32_t far = 255 + wave(x * 2) / 8 + wave(x * 5 + 100) / 16;
        const int32_t near = 340 + wave(x * 3 + 300) / 6 + wave(x * 7) / 20;
        const int32_t grain = random.below(21) - 10;
        if (y >= near) {
            const int32_t depth = y - near;
            const int32_t shade = 700 - depth + wave(x * 2 + y * 3) / 3;
            rgb[0] = 60 * shade / 700 + depth / 8;
            rgb[1] = 115 * shade / 700 + depth / 10;
            rgb[2] = 40 * shade / 700;
            for (const Blob& b : blobs) {
                const int32_t dx = x - b.x;
                const int32_t dy = y - b.y;
                const int32_t inside = b.radius * b.radius - dx * dx - dy * dy;
                if (inside <= 0) continue;
                const int32_t w = inside * 256 / (b.radius * b.radius);  // 0..256, soft at the edge
                for (int c = 0; c < 3; ++c) rgb[c] = mix(rgb[c], b.colour[c], w * w / 256, 256);
            }
        } else if (y >= 300) {
            // The lake: the sky from the mirrored row, rippled and darker.
            sky(600 - y + wave(y * 40 + x) / 64, rgb);
            for (int c = 0; c < 3; ++c) rgb[c] = rgb[c] * 7 / 10;
        } else if (y >= far) {
            const int32_t haze = std::clamp(300 - y, 0, 45);
            const int32_t hills[3] = {90, 100, 130};
            int32_t behind[3];
            sky(y, behind);
            for (int c = 0; c < 3; ++c) rgb[c] = mix(hills[c], behind[c], haze, 90);
        } else {
            sky(y, rgb);
        }
        // The sun, its glow, and the tree in front of everything but the grass.
        const int32_t sx = x - 450;
        const int32_t sy = y - 200;
        const int32_t sun = static_cast<int32_t>(isqrt(static_cast<uint64_t>(sx * sx + sy * sy)));
        if (y < far && sun < 40) {
            rgb[0] = 255, rgb[1] = 240, rgb[2] = 200;
        } else if (y < 300 && sun < 160) {
            rgb[0] += (160 - sun) * 90 / 160;
            rgb[1] += (160 - sun) * 50 / 160;
        }
        const int32_t tx = x - 140;
        const int32_t ty = y - 250;
        if (tx * tx + ty * ty < 70 * 70 + wave(x * 29 + y * 17) * 3) {
            rgb[0] = 25 + wave(x * 13 + y * 7) / 16, rgb[1] = 70 + wave(x * 11 - y * 5) / 10, rgb[2] = 30;
        } else if (tx > -8 && tx < 8 && y > 300 && y < 390) {
            rgb[0] = 80, rgb[1] = 55, rgb[2] = 35;
        }
        for (int c = 0; c < 3; ++c) rgb[c] += grain;
    }
};

struct Route {
    const char* name;
    Tone tone;
    Dither dither;
};

// Today's samples first: the others are measured against them.
constexpr Route kRoutes[] = {
    {"plain", Tone::kPlain, Dither::kOrdered},
    {"light-true", Tone::kLight, Dither::kOrdered},
    {"diffused", Tone::kLight, Dither::kDiffuse},
};
constexpr int kRouteCount = 3;
constexpr int32_t kModes[] = {0, 1, 2};
constexpr int kPictureCount = 5;

FitSettings settings_for(int32_t mode, const Route& route, bool automatic) {
    FitSettings settings;
    settings.mode = mode;
    settings.aspect = false;  // every route then has the screen's own width
    settings.tone = route.tone;
    settings.dither = route.dither;
    settings.palette_choice = automatic ? FitSettings::PaletteChoice::kBest : FitSettings::PaletteChoice::kOwn;
    return settings;
}

bool fit(const Source& source, const FitSettings& settings, PpmBytes& ppm) { return fit("quality", source, settings, ppm); }

// No screen in a palette of two or four colours can come closer to the
// picture than the colours those mix: each blurred pixel of a screen is a
// mixture of the palette's colours. Six times the squared distance of the
// blurred pixel `v` (0..`full` a channel) from those mixtures, exact in
// integers. The eight colours of MODE 2 mix to every colour.
int64_t distance6_from_mixtures(const Palette& palette, const int32_t* v, int64_t full) {
    auto on = [&](int32_t logical, int c) -> int64_t { return palette.physical[logical] >> c & 1; };
    if (palette.colours == 2) {
        // The segment from logical 0's colour to logical 1's.
        int64_t from_a = 0;
        int64_t from_b = 0;
        int64_t along = 0;
        int64_t length = 0;
        for (int c = 0; c < 3; ++c) {
            const int64_t a = v[c] - on(0, c) * full;
            const int64_t b = v[c] - on(1, c) * full;
            const int64_t step = on(1, c) - on(0, c);
            from_a += a * a;
            from_b += b * b;
            along += a * step;
            length += step * step;
        }
        if (along <= 0 || length == 0) return 6 * from_a;
        if (along >= length * full) return 6 * from_b;
        return 6 * from_a - 6 / length * along * along;
    }
    if (palette.colours == 4) {
        // Black, a primary, a secondary containing it and white mix to the
        // colours whose channels fall in that order: the nearest is the
        // isotonic fit of the three channels, adjacent violators pooled.
        const int first = palette.physical[1] == 1 ? 0 : palette.physical[1] == 2 ? 1 : 2;
        const int other = palette.physical[2] & ~palette.physical[1];
        const int second = other == 1 ? 0 : other == 2 ? 1 : 2;
        const int64_t x[3] = {v[first], v[second], v[3 - first - second]};
        int64_t sum[3];
        int64_t squares[3];
        int64_t count[3];
        int blocks = 0;
        for (const int64_t value : x) {
            sum[blocks] = value, squares[blocks] = value * value, count[blocks] = 1;
            ++blocks;
            // Merge while a block's mean exceeds the one before it.
            while (blocks > 1 && sum[blocks - 1] * count[blocks - 2] > sum[blocks - 2] * count[blocks - 1]) {
                sum[blocks - 2] += sum[blocks - 1];
                squares[blocks - 2] += squares[blocks - 1];
                count[blocks - 2] += count[blocks - 1];
                --blocks;
            }
        }
        int64_t distance = 0;
        for (int b = 0; b < blocks; ++b) distance += 6 * squares[b] - 6 / count[b] * sum[b] * sum[b];
        return distance;
    }
    return 0;
}

// The least error any screen in `palette` could have: the sum of the
// squared distances, as palette_error sums them. Four colours that
// tarnvil's matching does not reach mix a solid of another shape: the
// distance from it is the library's own, from the blurred pixel's mean,
// rounded to a whole unit of light.
uint64_t mixture_floor(const Palette& palette, const BlurredPicture& reference) {
    const size_t pixels = static_cast<size_t>(reference.width) * kScreenLines;
    char reason[160];
    int64_t total = 0;
    if (palette.colours == 4 && !palette_reachable(1, palette, false, reason, sizeof reason)) {
        const Mixtures mixtures = mixtures_of(palette);
        for (size_t i = 0; i < pixels; ++i) {
            const int32_t* sums = reference.sums.get() + i * 3;
            const int32_t mean[3] = {(sums[0] + 4) / 9, (sums[1] + 4) / 9, (sums[2] + 4) / 9};
            int32_t nearest[3];
            nearest_mixture(mixtures, mean, nearest);
            for (int c = 0; c < 3; ++c) total += 6 * int64_t{sums[c] - 9 * nearest[c]} * (sums[c] - 9 * nearest[c]);
        }
        return static_cast<uint64_t>(total / 6);
    }
    for (size_t i = 0; i < pixels; ++i) total += distance6_from_mixtures(palette, reference.sums.get() + i * 3, 9 * 65535);
    return static_cast<uint64_t>(total / 6);
}

// One route in one palette choice: its error and the palette it ended in.
struct Measured {
    uint64_t error = 0;
    char palette[9] = "";
};

bool measure(const Source& source, const FitSettings& settings, const BlurredPicture& reference, Measured& out) {
    PpmBytes ppm;
    if (!fit(source, settings, ppm)) return false;
    const Palette palette = ppm.palette.colours > 0 ? ppm.palette : default_palette(settings.mode);
    palette_digits(palette, out.palette);
    if (palette_error(conversion_for(settings), palette, reference, samples_of(ppm, reference.width), out.error))
        return true;
    fprintf(stderr, "quality: %s: out of memory\n", source.name);
    return false;
}

// [route][0 own palette, 1 auto]; the floors of the mode's own palette
// and of the lowest of --palette auto's candidates, for ordered
// dithering and for error diffusion, which has candidates of its own.
struct Row {
    Measured measured[kRouteCount][2];
    uint64_t floor[3] = {};
    int32_t width = 0;
};

// The mode's routes for one picture: MODE `mode`, every route, both
// palette choices, against the picture's plain fit.
bool measure_picture(const Source& source, int32_t mode, Row& row) {
    PpmBytes plain;
    const FitSettings reference_settings = settings_for(mode, kRoutes[0], false);
    BlurredPicture reference;
    row.width = fit_width(reference_settings);
    if (!fit(source, reference_settings, plain)) return false;
    if (!blur_samples(samples_of(plain, row.width), row.width, reference)) {
        fprintf(stderr, "quality: %s: out of memory\n", source.name);
        return false;
    }
    for (int r = 0; r < kRouteCount; ++r)
        for (int automatic = 0; automatic < 2; ++automatic)
            if (!measure(source, settings_for(mode, kRoutes[r], automatic), reference, row.measured[r][automatic]))
                return false;
    row.floor[0] = row.floor[1] = row.floor[2] = mixture_floor(default_palette(mode), reference);
    for (const bool diffused : {false, true}) {
        Palette candidates[kMaxCandidates];
        const int32_t count = palette_candidates(mode, diffused, candidates);
        uint64_t& floor = row.floor[diffused ? 2 : 1];
        for (int32_t i = 1; i < count; ++i) floor = std::min(floor, mixture_floor(candidates[i], reference));
    }
    return true;
}

// How far the routes stay from the least error the palettes allow, and
// the ratios of what they have above it, with --palette auto.
void print_floors(const Row* rows, const Source* sources) {
    printf("Least error that any screen in the palette could have (the colours its colours mix), and the\n"
           "ratios of the error above the lowest candidate's least (among error diffusion's own candidates\n"
           "for the diffused route):\n\n");
    printf("| picture | least, own palette | least, auto | least, auto, diffused | light-true / plain above it, auto "
           "| diffused / plain above it, auto |\n");
    printf("|---|--:|--:|--:|--:|--:|\n");
    double above[2][kPictureCount];
    for (int p = 0; p < kPictureCount; ++p) {
        const Row& row = rows[p];
        printf("| %s | %.2f | %.2f | %.2f |", sources[p].name, rms_percent(row.floor[0], row.width),
               rms_percent(row.floor[1], row.width), rms_percent(row.floor[2], row.width));
        for (int r = 1; r < kRouteCount; ++r) {
            const uint64_t floor = row.floor[kRoutes[r].dither == Dither::kDiffuse ? 2 : 1];
            above[r - 1][p] = ratio(row.measured[r][1].error - floor, row.measured[0][1].error - floor);
            printf(" %.3f |", above[r - 1][p]);
        }
        printf("\n");
    }
    printf("| median | | | |");
    for (auto& column : above) printf(" %.3f |", median(column, kPictureCount));
    printf("\n\n");
}

void print_cell(const Measured& m, int32_t width, bool automatic) {
    if (automatic)
        printf(" %.2f (%s) |", rms_percent(m.error, width), m.palette);
    else
        printf(" %.2f |", rms_percent(m.error, width));
}

// The gains the light-true routes were made for, with --palette auto on
// both sides, in MODEs 1 and 2: [route] at most this on the median picture,
// and at most `each` on every picture (0: not checked).
struct Gain {
    int route;
    double median;
    double each;
};
constexpr Gain kGains[] = {{1, 0.25, 0.7}, {2, 0.2, 0.0}};

bool check_gains(int32_t mode, const Row* rows, const Source* sources) {
    bool held = true;
    for (const Gain& gain : kGains) {
        double ratios[kPictureCount];
        int worst = 0;
        for (int p = 0; p < kPictureCount; ++p) {
            ratios[p] = ratio(rows[p].measured[gain.route][1].error, rows[p].measured[0][1].error);
            if (ratios[p] > ratios[worst]) worst = p;
        }
        const double most = ratios[worst];
        const double middle = median(ratios, kPictureCount);
        const bool median_holds = middle <= gain.median;
        printf("- MODE %d, %s / plain, auto: median %.3f, at most %.2f: %s", static_cast<int>(mode),
               kRoutes[gain.route].name, middle, gain.median, median_holds ? "holds" : "FAILS");
        held = held && median_holds;
        if (gain.each > 0) {
            const bool each_holds = most <= gain.each;
            printf("; worst %.3f (%s), at most %.2f on each: %s", most, sources[worst].name, gain.each,
                   each_holds ? "holds" : "FAILS");
            held = held && each_holds;
        }
        printf("\n");
    }
    return held;
}

// --palette auto picks the candidate with the least of this very error,
// and the mode's own palette is one of them: were auto's result ever
// worse, the measure here would not be the one auto minimises.
bool auto_is_no_worse(int32_t mode, const Row& row, const Source& source) {
    bool consistent = true;
    for (int r = 0; r < kRouteCount; ++r)
        if (row.measured[r][1].error > row.measured[r][0].error) {
            fprintf(stderr, "quality: %s, MODE %d, %s: --palette auto's screen is further from the picture (%llu) "
                            "than the mode's own palette's (%llu)\n",
                    source.name, static_cast<int>(mode), kRoutes[r].name,
                    static_cast<unsigned long long>(row.measured[r][1].error),
                    static_cast<unsigned long long>(row.measured[r][0].error));
            consistent = false;
        }
    return consistent;
}

// The sample in MODE 2 by each route, in the mode's own palette, as
// tarnvil-view draws each (640 x 512), side by side with a white gap.
bool write_routes(const Source& sunset, const char* path) {
    constexpr int32_t kMode = 2;
    constexpr int32_t kGap = 8;
    constexpr uint8_t kWhite = 7;
    IndexedImage strip;
    strip.width = kRouteCount * 640 + (kRouteCount - 1) * kGap;
    strip.height = 512;
    strip.indices.reset(new (std::nothrow) uint8_t[static_cast<size_t>(strip.width) * static_cast<size_t>(strip.height)]);
    const std::unique_ptr<uint8_t[]> dump(new (std::nothrow) uint8_t[kMaxScreenBytes]);
    if (!strip.indices || !dump) return false;
    memset(strip.indices.get(), kWhite, static_cast<size_t>(strip.width) * static_cast<size_t>(strip.height));
    const Palette palette = default_palette(kMode);
    for (int r = 0; r < kRouteCount; ++r) {
        const FitSettings settings = settings_for(kMode, kRoutes[r], false);
        PpmBytes ppm;
        IndexedImage screen;
        const int32_t width = fit_width(settings);
        if (!fit(sunset, settings, ppm) || !screen_of_samples(conversion_for(settings), samples_of(ppm, width), width, dump.get()) ||
            !render_dump(kMode, dump.get(), false, palette, screen))
            return false;
        strip.colours = screen.colours;
        memcpy(strip.rgb, screen.rgb, sizeof strip.rgb);
        for (int32_t y = 0; y < screen.height; ++y)
            memcpy(strip.indices.get() + static_cast<size_t>(y) * static_cast<size_t>(strip.width) +
                       static_cast<size_t>(r) * (640 + kGap),
                   screen.indices.get() + static_cast<size_t>(y) * static_cast<size_t>(screen.width),
                   static_cast<size_t>(screen.width));
    }
    PngBytes png;
    if (!encode_png(strip, png)) return false;
    FILE* file = fopen(path, "wb");
    const bool written = file && fwrite(png.data.get(), 1, png.size, file) == png.size;
    if (file && fclose(file) != 0) return false;
    if (written) printf("Wrote %s (%zu bytes)\n\n", path, png.size);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    const char* sunset_path = nullptr;
    const char* routes_path = nullptr;
    const char* pictures_path = nullptr;
    const char* modes = "012";
    bool usage = argc < 2;
    for (int i = 1; i < argc && !usage; ++i) {
        if (strcmp(argv[i], "--routes") == 0 && i + 1 < argc)
            routes_path = argv[++i];
        else if (strcmp(argv[i], "--pictures") == 0 && i + 1 < argc)
            pictures_path = argv[++i];
        else if (strcmp(argv[i], "--modes") == 0 && i + 1 < argc)
            modes = argv[++i];
        else if (!sunset_path && argv[i][0] != '-')
            sunset_path = argv[i];
        else
            usage = true;
    }
    for (const char* m = modes; *m && !usage; ++m) usage = !strchr("012", *m);
    if (usage || !sunset_path || !*modes) {
        fputs("usage: quality SUNSET_PPM [--modes DIGITS] [--routes PNG] [--pictures DIR]\n"
              "  --modes     which of MODEs 0, 1 and 2 to measure (default 012)\n"
              "  --routes    also write the sample's three routes in MODE 2 as a PNG\n"
              "  --pictures  also write the pictures made here as PPMs into DIR\n",
              stderr);
        return 2;
    }

    Source sources[kPictureCount];
    sources[0].name = "sunset (sample)";
    if (!read_file(sunset_path, sources[0])) {
        perror(sunset_path);
        return 3;
    }
    Scene scene;
    const bool made = make_picture("ramps", sources[1], paint_ramps) && make_picture("field", sources[2], paint_field) &&
                      make_picture("plasma", sources[3], paint_plasma) &&
                      make_picture("scene", sources[4], [&scene](int32_t x, int32_t y, int32_t* rgb) {
                          scene.paint(x, y, rgb);
                      });
    if (!made) {
        fputs("quality: out of memory\n", stderr);
        return 3;
    }
    for (int p = 1; pictures_path && p < kPictureCount; ++p) {
        char path[4096];
        const bool named = snprintf(path, sizeof path, "%s/%s.ppm", pictures_path, sources[p].name) < int{sizeof path};
        FILE* file = named ? fopen(path, "wb") : nullptr;
        const bool written = file && fwrite(sources[p].bytes.get(), 1, sources[p].size, file) == sources[p].size;
        if (!file || fclose(file) != 0 || !written) {
            fprintf(stderr, "quality: %s/%s.ppm could not be written\n", pictures_path, sources[p].name);
            return 3;
        }
    }
    if (routes_path && !write_routes(sources[0], routes_path)) {
        fprintf(stderr, "quality: %s could not be written\n", routes_path);
        return 3;
    }

    printf("RMS difference of the blurred screen from the blurred picture, in percent of full light;\n"
           "ratios are of the mean squared difference, route / plain, with the same palette choice.\n");
    bool held = true;
    bool consistent = true;
    for (const int32_t mode : kModes) {
        if (!strchr(modes, '0' + mode)) continue;
        Row rows[kPictureCount];
        for (int p = 0; p < kPictureCount; ++p)
            if (!measure_picture(sources[p], mode, rows[p])) return 3;
        printf("\n### MODE %d\n\n", static_cast<int>(mode));
        printf("| picture | plain | light-true | diffused | plain, auto | light-true, auto | diffused, auto "
               "| light-true / plain | diffused / plain | light-true / plain, auto | diffused / plain, auto |\n");
        printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
        double ratios[4][kPictureCount];
        for (int p = 0; p < kPictureCount; ++p) {
            const Row& row = rows[p];
            printf("| %s |", sources[p].name);
            for (int automatic = 0; automatic < 2; ++automatic)
                for (int r = 0; r < kRouteCount; ++r) print_cell(row.measured[r][automatic], row.width, automatic);
            for (int automatic = 0; automatic < 2; ++automatic)
                for (int r = 1; r < kRouteCount; ++r) {
                    const double value = ratio(row.measured[r][automatic].error, row.measured[0][automatic].error);
                    ratios[automatic * 2 + r - 1][p] = value;
                    printf(" %.3f |", value);
                }
            printf("\n");
            consistent = auto_is_no_worse(mode, row, sources[p]) && consistent;
        }
        printf("| median | | | | | | |");
        for (auto& column : ratios) printf(" %.3f |", median(column, kPictureCount));
        printf("\n\n");
        if (std::any_of(rows, rows + kPictureCount, [](const Row& row) { return row.floor[0] > 0; }))
            print_floors(rows, sources);
        if (mode != 0) held = check_gains(mode, rows, sources) && held;
    }
    if (!consistent) return 1;
    printf("\n%s\n", held ? "The light-true routes keep their gains." : "The light-true routes lose their gains.");
    return held ? 0 : 1;
}
