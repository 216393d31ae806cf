#include "lib/fit/recolour.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "screen/modes.h"
#include "screen/writer.h"
#include "lib/render/render.h"

namespace {

// MODEs 1 and 5 show black, red, yellow and white by default: tarnvil
// lights logical 1 for red alone and 2 for red and green. With the
// channels reordered, any primary can stand where red stands and any
// secondary containing it where yellow stands.
constexpr const char* kFourColourPalettes[] = {"0137", "0157", "0237", "0267", "0457", "0467"};

bool has_two_colours(int32_t mode) { return screen_mode_for(mode).colours == 2; }
bool has_four_colours(int32_t mode) { return screen_mode_for(mode).colours == 4; }

// Whether a 4-colour palette is one that tarnvil's matching reaches.
bool is_chain(const Palette& palette) {
    char digits[9];
    palette_digits(palette, digits);
    for (const char* reachable : kFourColourPalettes)
        if (strcmp(digits, reachable) == 0) return true;
    return false;
}

constexpr int64_t kFull = 65535;

// n / d to the nearest whole number, halves away from zero; d > 0.
int64_t rounded_quotient(int64_t n, int64_t d) { return n >= 0 ? (2 * n + d) / (2 * d) : -((2 * -n + d) / (2 * d)); }

int64_t dot(const int64_t (&u)[3], const int64_t (&v)[3]) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

int64_t squared_distance(const int64_t (&x)[3], const int64_t (&y)[3]) {
    int64_t sum = 0;
    for (int c = 0; c < 3; ++c) sum += (x[c] - y[c]) * (x[c] - y[c]);
    return sum;
}

// The point of the triangle a b c nearest to `x` (full light kFull), by
// the region of the triangle's plane that x falls over: a corner, an
// edge or the inside. Exact in integers: the corners are the cube's,
// so every product stays far below 2^63.
int64_t nearest_on_triangle(const int64_t* a, const int64_t* b, const int64_t* c, const int64_t (&x)[3], int64_t (&out)[3]) {
    int64_t ab[3];
    int64_t ac[3];
    int64_t ap[3];
    for (int k = 0; k < 3; ++k) ab[k] = b[k] - a[k], ac[k] = c[k] - a[k], ap[k] = x[k] - kFull * a[k];
    // The point as a + (v ab + w ac) / denominator.
    int64_t v = 0;
    int64_t w = 0;
    int64_t denominator = 1;
    const int64_t d1 = dot(ab, ap);
    const int64_t d2 = dot(ac, ap);
    const int64_t d3 = d1 - kFull * dot(ab, ab);  // the same from b
    const int64_t d4 = d2 - kFull * dot(ab, ac);
    const int64_t d5 = d1 - kFull * dot(ab, ac);  // and from c
    const int64_t d6 = d2 - kFull * dot(ac, ac);
    const int64_t vc = d1 * d4 - d3 * d2;
    const int64_t vb = d5 * d2 - d1 * d6;
    const int64_t va = d3 * d6 - d5 * d4;
    if (d1 <= 0 && d2 <= 0) {
    } else if (d3 >= 0 && d4 <= d3) {
        v = 1;
    } else if (d6 >= 0 && d5 <= d6) {
        w = 1;
    } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        v = d1, denominator = d1 - d3;
    } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        w = d2, denominator = d2 - d6;
    } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
        denominator = (d4 - d3) + (d5 - d6);
        w = d4 - d3, v = denominator - w;
    } else {
        denominator = va + vb + vc;
        v = vb, w = vc;
    }
    for (int k = 0; k < 3; ++k) out[k] = kFull * a[k] + rounded_quotient(kFull * (ab[k] * v + ac[k] * w), denominator);
    return squared_distance(x, out);
}

// The channels in the order a 4-colour palette's colours light them: the
// primary's (logical 1), the secondary's other one (logical 2), the third.
void channel_order(const Palette& palette, int (&order)[3]) {
    const int primary = palette.physical[1];
    const int partner = palette.physical[2] & ~primary;
    order[0] = primary == 1 ? 0 : primary == 2 ? 1 : 2;
    order[1] = partner == 1 ? 0 : partner == 2 ? 1 : 2;
    order[2] = 3 - order[0] - order[1];
}

// Luminance weights of red, green and blue, in ten-thousandths.
constexpr int64_t kWeight[3] = {2126, 7152, 722};

}  // namespace

bool palette_reachable(int32_t mode, const Palette& palette, bool diffused, char* reason, size_t capacity) {
    char digits[9];
    palette_digits(palette, digits);
    bool seen[8] = {};
    bool different = true;
    for (int32_t i = 0; i < palette.colours; ++i) {
        different = different && !seen[palette.physical[i]];
        seen[palette.physical[i]] = true;
    }
    const char* can = nullptr;
    if (has_four_colours(mode) && !diffused) {
        if (is_chain(palette)) return true;
        can = "0137, 0157, 0237, 0267, 0457 and 0467; with --dither diffuse, any four different digits";
    } else {
        if (different) return true;
        can = palette.colours == 2   ? "any two different digits"
              : palette.colours == 4 ? "any four different digits"
                                     : "any arrangement of the digits 01234567";
    }
    snprintf(reason, capacity, "the palette %s cannot be reached in MODE %d: %s reaches %s", digits,
             static_cast<int>(mode), diffused ? "error diffusion" : "tarnvil's colour matching", can);
    return false;
}

void map_to_palette(int32_t mode, const Palette& palette, uint8_t* rgb, size_t pixels) {
    if (has_two_colours(mode)) {
        // Grey: how far each pixel lies from logical 0's colour towards
        // logical 1's, in linear light weighted as the eye weighs the
        // channels. With black and white that is the luminance; with the
        // lighter colour first, the picture comes out inverted, so light
        // stays light.
        int64_t from[3];
        int64_t step[3];
        int64_t length = 0;
        for (int c = 0; c < 3; ++c) {
            from[c] = (palette.physical[0] >> c & 1) * 65535;
            step[c] = (palette.physical[1] >> c & 1) - (palette.physical[0] >> c & 1);
            length += kWeight[c] * step[c] * step[c];
        }
        for (size_t i = 0; i < pixels; ++i, rgb += 3) {
            int64_t along = 0;
            for (int c = 0; c < 3; ++c) along += kWeight[c] * (linear_from_srgb8(rgb[c]) - from[c]) * step[c];
            const int32_t grey = srgb8_from_linear(static_cast<int32_t>(std::clamp<int64_t>(along / length, 0, 65535)));
            rgb[0] = rgb[1] = rgb[2] = static_cast<uint8_t>(grey);
        }
        return;
    }
    // Where each corner of the colour cube must go for tarnvil to light the
    // logical colour that shows it.
    uint8_t corner[8];
    if (has_four_colours(mode)) {
        // The primary's channel to red, the secondary's other one to green.
        int from[3];
        channel_order(palette, from);
        for (int c = 0; c < 8; ++c)
            corner[c] = static_cast<uint8_t>((c >> from[0] & 1) | (c >> from[1] & 1) << 1 | (c >> from[2] & 1) << 2);
    } else {
        for (int logical = 0; logical < 8; ++logical) corner[palette.physical[logical]] = static_cast<uint8_t>(logical);
    }
    // Between the corners, trilinearly: exact for the corners themselves,
    // and for channel orders and inversions a plain reordering.
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        const int32_t v[3] = {rgb[0], rgb[1], rgb[2]};
        int64_t sum[3] = {0, 0, 0};
        for (int c = 0; c < 8; ++c) {
            const int64_t weight = int64_t{c & 1 ? v[0] : 255 - v[0]} * (c & 2 ? v[1] : 255 - v[1]) * (c & 4 ? v[2] : 255 - v[2]);
            for (int k = 0; k < 3; ++k)
                if (corner[c] >> k & 1) sum[k] += weight;
        }
        for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint8_t>((sum[k] + 255 * 255 / 2) / (255 * 255));
    }
}

void keep_within_palette(const Palette& palette, bool samples_as_light, uint8_t* rgb, size_t pixels) {
    if (palette.colours == 8) return;
    auto light_of = [&](uint8_t v) { return samples_as_light ? int64_t{v} * 257 : int64_t{linear_from_srgb8(v)}; };
    auto sample_of = [&](int64_t light) {
        return static_cast<uint8_t>(samples_as_light ? (light + 128) / 257 : srgb8_from_linear(static_cast<int32_t>(light)));
    };
    if (palette.colours == 2) {
        int64_t from[3];
        int64_t step[3];
        int64_t length = 0;
        for (int c = 0; c < 3; ++c) {
            from[c] = (palette.physical[0] >> c & 1) * 65535;
            step[c] = (palette.physical[1] >> c & 1) * 65535 - from[c];
            length += step[c] * step[c];
        }
        if (length == 0) return;
        for (size_t i = 0; i < pixels; ++i, rgb += 3) {
            int64_t along = 0;
            for (int c = 0; c < 3; ++c) along += (light_of(rgb[c]) - from[c]) * step[c];
            along = std::clamp<int64_t>(along, 0, length);
            for (int c = 0; c < 3; ++c) rgb[c] = sample_of(from[c] + (step[c] * along + length / 2) / length);
        }
        return;
    }
    if (!is_chain(palette)) {
        const Mixtures mixtures = mixtures_of(palette);
        // Pictures repeat their colours, side by side above all: the
        // answers for some thousands of the colours met are kept, by a
        // hash of the colour (on the heap, as the page's stack is small;
        // without memory for them, one answer is kept).
        struct Answer {
            uint32_t colour = UINT32_MAX;
            uint8_t rgb[3] = {};
        };
        constexpr int kAnswerBits = 12;
        const std::unique_ptr<Answer[]> kept(new (std::nothrow) Answer[size_t{1} << kAnswerBits]);
        Answer one;
        for (size_t i = 0; i < pixels; ++i, rgb += 3) {
            const uint32_t colour = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
            Answer& answer = kept ? kept[(colour * 2654435761u) >> (32 - kAnswerBits)] : one;
            if (answer.colour != colour) {
                const int32_t light[3] = {static_cast<int32_t>(light_of(rgb[0])), static_cast<int32_t>(light_of(rgb[1])),
                                          static_cast<int32_t>(light_of(rgb[2]))};
                int32_t nearest[3];
                answer.colour = colour;
                memcpy(answer.rgb, rgb, 3);
                if (nearest_mixture(mixtures, light, nearest) != 0)
                    for (int c = 0; c < 3; ++c) answer.rgb[c] = sample_of(nearest[c]);
            }
            memcpy(rgb, answer.rgb, 3);
        }
        return;
    }
    // A colour is mixable when its channels do not rise along the
    // palette's order; the nearest one pools neighbours that do into their
    // mean.
    int order[3];
    channel_order(palette, order);
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        const int64_t a = light_of(rgb[order[0]]);
        const int64_t b = light_of(rgb[order[1]]);
        const int64_t c = light_of(rgb[order[2]]);
        if (a >= b && b >= c) continue;
        int64_t x = a, y = b, z = c;
        if (a < b) {
            x = y = (a + b + 1) / 2;
            if (x < c) x = y = z = (a + b + c + 1) / 3;
        } else {
            y = z = (b + c + 1) / 2;
            if (a < y) x = y = z = (a + b + c + 1) / 3;
        }
        rgb[order[0]] = sample_of(x);
        rgb[order[1]] = sample_of(y);
        rgb[order[2]] = sample_of(z);
    }
}

Mixtures mixtures_of(const Palette& palette) {
    Mixtures m;
    m.colours = palette.colours;
    if (m.colours == 8) return m;
    for (int32_t i = 0; i < m.colours; ++i)
        for (int k = 0; k < 3; ++k) m.corner[i][k] = palette.physical[i] >> k & 1;
    if (m.colours != 4) return m;
    int64_t volume = 0;
    for (int skip = 0; skip < 4; ++skip) {
        const int64_t* face[3];
        for (int i = 0, n = 0; i < 4; ++i)
            if (i != skip) face[n++] = m.corner[i];
        int64_t u[3];
        int64_t v[3];
        int64_t out[3];
        for (int k = 0; k < 3; ++k) u[k] = face[1][k] - face[0][k], v[k] = face[2][k] - face[0][k], out[k] = m.corner[skip][k] - face[0][k];
        int64_t* n = m.normal[skip];
        n[0] = u[1] * v[2] - u[2] * v[1];
        n[1] = u[2] * v[0] - u[0] * v[2];
        n[2] = u[0] * v[1] - u[1] * v[0];
        // Away from the corner left out.
        const int64_t towards = n[0] * out[0] + n[1] * out[1] + n[2] * out[2];
        if (towards > 0)
            for (int k = 0; k < 3; ++k) n[k] = -n[k];
        volume = towards;
    }
    m.solid = volume != 0;
    return m;
}

int64_t nearest_mixture(const Mixtures& m, const int32_t (&light)[3], int32_t (&nearest)[3]) {
    const int64_t x[3] = {light[0], light[1], light[2]};
    int64_t best[3] = {x[0], x[1], x[2]};
    int64_t distance = 0;
    if (m.colours == 2) {
        // Along the segment from logical 0's colour to logical 1's.
        int64_t step[3];
        int64_t d[3];
        for (int k = 0; k < 3; ++k) step[k] = m.corner[1][k] - m.corner[0][k], d[k] = x[k] - kFull * m.corner[0][k];
        const int64_t length = dot(step, step);
        const int64_t along = length ? std::clamp<int64_t>(dot(step, d), 0, kFull * length) : 0;
        for (int k = 0; k < 3; ++k) best[k] = kFull * m.corner[0][k] + rounded_quotient(step[k] * along, length ? length : 1);
        distance = squared_distance(x, best);
    } else if (m.colours == 4) {
        // Inside a solid unless beyond one of its faces; then the nearest
        // point is on a face that x is beyond. Four colours in a plane
        // have every point off it beyond, and the four triangles cover
        // the shape.
        bool first = true;
        for (int skip = 0; skip < 4; ++skip) {
            const int64_t* face[3];
            for (int i = 0, n = 0; i < 4; ++i)
                if (i != skip) face[n++] = m.corner[i];
            const int64_t* n = m.normal[skip];
            if (m.solid && n[0] * (x[0] - kFull * face[0][0]) + n[1] * (x[1] - kFull * face[0][1]) +
                                   n[2] * (x[2] - kFull * face[0][2]) <= 0)
                continue;
            int64_t point[3];
            const int64_t far = nearest_on_triangle(face[0], face[1], face[2], x, point);
            if (first || far < distance) {
                distance = far;
                for (int k = 0; k < 3; ++k) best[k] = point[k];
            }
            first = false;
        }
    }
    for (int k = 0; k < 3; ++k) nearest[k] = static_cast<int32_t>(std::clamp<int64_t>(best[k], 0, kFull));
    return distance;
}

int32_t palette_candidates(int32_t mode, bool diffused, Palette* candidates) {
    int32_t count = 0;
    const Palette standard = default_palette(mode);
    candidates[count++] = standard;
    char reason[160];
    if (diffused) {
        // Each set of colours in ascending order, by counting through the
        // sets of bits: which logical colour shows which does not matter
        // when tarnvil-fit chooses every dot.
        if (standard.colours == 8) return count;
        for (uint32_t set = 0; set < 256; ++set) {
            if (std::popcount(set) != standard.colours) continue;
            Palette p{standard.colours, {}};
            int32_t logical = 0;
            for (uint8_t physical = 0; physical < 8; ++physical)
                if (set >> physical & 1) p.physical[logical++] = physical;
            if (!is_default_palette(p, mode)) candidates[count++] = p;
        }
        return count;
    }
    if (has_two_colours(mode)) {
        // Each pair once, the lighter colour lit, as white is by default:
        // the other way round shows the same colours, dithered inversely.
        auto luminance = [](int physical) {
            int64_t sum = 0;
            for (int c = 0; c < 3; ++c) sum += kWeight[c] * (physical >> c & 1);
            return sum;
        };
        for (uint8_t a = 0; a < 8; ++a)
            for (uint8_t b = 0; b < 8; ++b)
                if (luminance(a) < luminance(b) && !(a == 0 && b == 7)) candidates[count++] = Palette{2, {a, b}};
    } else if (has_four_colours(mode)) {
        for (const char* digits : kFourColourPalettes)
            if (strcmp(digits, "0137") != 0) parse_palette(digits, mode, candidates[count++], reason, sizeof reason);
    } else {
        // Channel orders and inversions: logical colour l shows the corner
        // whose channel `order[k]` is bit k of l, flipped where `invert` says.
        const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        for (const auto& order : orders) {
            for (int invert = 0; invert < 8; ++invert) {
                Palette p{8, {}};
                for (int l = 0; l < 8; ++l) {
                    int physical = 0;
                    for (int k = 0; k < 3; ++k) physical |= ((l >> k & 1) ^ (invert >> k & 1)) << order[k];
                    p.physical[l] = static_cast<uint8_t>(physical);
                }
                if (!is_default_palette(p, mode)) candidates[count++] = p;
            }
        }
    }
    return count;
}

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

bool screen_of_samples(const ConversionOptions& options, const uint8_t* rgb, int32_t width, uint8_t* dump) {
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<int32_t[]> planes(new (std::nothrow) int32_t[pixels * 3]);
    if (!planes) return false;
    // The planes are column after column, as tarnvil reads a PPM into them.
    const ImagePlanes image{width, kScreenLines, planes.get(), planes.get() + pixels, planes.get() + 2 * pixels};
    int32_t* const channels[3] = {image.red, image.green, image.blue};
    for (int32_t y = 0; y < kScreenLines; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                channels[c][static_cast<size_t>(x) * kScreenLines + static_cast<size_t>(y)] =
                    rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)];
    convert_to_screen(options, image, dump);
    return true;
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
