#include "lib/colour.h"

#include <algorithm>

namespace {

constexpr bool rises_by_at_least(int32_t step) {
    for (int i = 1; i < 256; ++i)
        if (colour_tables::kLinear[i] - colour_tables::kLinear[i - 1] < step) return false;
    return colour_tables::kLinear[0] == 0 && colour_tables::kLinear[255] == 65535;
}
// Midpoints then lie strictly between neighbours, so every table value
// maps back to its own sample.
static_assert(rises_by_at_least(2));

// The linear value from which on a sample rounds up to `v`: halfway
// between its neighbour below and itself.
struct Midpoints {
    int32_t from[256];
};

constexpr Midpoints make_midpoints() {
    Midpoints m{};
    for (int v = 1; v < 256; ++v) m.from[v] = (colour_tables::kLinear[v - 1] + colour_tables::kLinear[v] + 1) / 2;
    return m;
}

constexpr Midpoints kMidpoints = make_midpoints();

// Where to start looking for the sample of a linear value: the sample of
// the value's multiple of 256 below. The curve is steepest at black, where
// a step of 256 spans 13 samples; elsewhere one or two.
struct Buckets {
    uint8_t first[256];
};

constexpr Buckets make_buckets() {
    Buckets b{};
    int v = 0;
    for (int h = 0; h < 256; ++h) {
        while (v < 255 && kMidpoints.from[v + 1] <= h * 256) ++v;
        b.first[h] = static_cast<uint8_t>(v);
    }
    return b;
}

constexpr Buckets kBuckets = make_buckets();

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// log2(n) for n >= 1 in fixed point with 32 fraction bits, from integers
// alone: the fraction's bits come from squaring the mantissa.
int64_t log2_fixed(uint64_t n) {
    int whole = 63;
    while (!(n >> whole)) --whole;
    // Mantissa in [1, 2) with 30 fraction bits.
    uint64_t m = whole >= 30 ? n >> (whole - 30) : n << (30 - whole);
    int64_t fraction = 0;
    for (int bit = 31; bit >= 0; --bit) {
        m = (m * m) >> 30;
        if (m >= (uint64_t{2} << 30)) {
            m >>= 1;
            fraction |= int64_t{1} << bit;
        }
    }
    return (int64_t{whole} << 32) + fraction;
}

// 255 (v / 255)^(1 / gamma), rounded: the largest k whose lower rounding
// edge (k - 0.5) / 255 the powered value reaches, compared as logarithms.
uint8_t apply_gamma(int32_t v, int32_t gamma_hundredths) {
    if (v == 0 || gamma_hundredths == 100) return static_cast<uint8_t>(v);
    const int64_t target = (log2_fixed(static_cast<uint64_t>(v)) - log2_fixed(255)) * 100 / gamma_hundredths;
    int32_t low = 0;
    int32_t high = 255;
    while (low < high) {
        const int32_t k = (low + high + 1) / 2;
        // log2((2k - 1) / 510)
        if (log2_fixed(static_cast<uint64_t>(2 * k - 1)) - log2_fixed(510) <= target)
            low = k;
        else
            high = k - 1;
    }
    return static_cast<uint8_t>(low);
}

}  // namespace

uint16_t linear_from_srgb16(uint16_t v) {
    // Straight between the 8-bit samples' values, which v * 257 hits exactly.
    const int32_t i = v / 257;
    const int32_t r = v % 257;
    if (r == 0) return colour_tables::kLinear[i];
    return static_cast<uint16_t>(colour_tables::kLinear[i] + ((colour_tables::kLinear[i + 1] - colour_tables::kLinear[i]) * r + 128) / 257);
}

uint8_t srgb8_from_linear(int32_t linear) {
    linear = std::clamp(linear, 0, 65535);
    int v = kBuckets.first[linear >> 8];
    while (v < 255 && kMidpoints.from[v + 1] <= linear) ++v;
    return static_cast<uint8_t>(v);
}

ToneCurve make_tone_curve(int32_t brightness, int32_t contrast, int32_t gamma_hundredths) {
    ToneCurve curve;
    const int64_t offset = floor_div(int64_t{brightness} * 510 + 100, 200);  // brightness% of 255, rounded
    for (int32_t v = 0; v < 256; ++v) {
        const int64_t powered = apply_gamma(v, gamma_hundredths);
        // Contrast scales the distance from mid-grey (127.5), rounded.
        const int64_t contrasted = floor_div((2 * powered - 255) * (100 + contrast) + 25500 + 100, 200);
        curve.out[v] = static_cast<uint8_t>(std::clamp<int64_t>(contrasted + offset, 0, 255));
    }
    return curve;
}
