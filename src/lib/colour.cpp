#include "lib/colour.h"

#include <algorithm>

namespace {

// round(65535 * f(v / 255)) for the sRGB curve f: v / 12.92 up to 0.04045,
// ((v + 0.055) / 1.055)^2.4 above. Worked out once, so that no target's
// floating point has a say in the bytes.
constexpr uint16_t kLinear[256] = {
    0, 20, 40, 60, 80, 99, 119, 139, 159, 179, 199, 219,
    241, 264, 288, 313, 340, 367, 396, 427, 458, 491, 526, 562,
    599, 637, 677, 718, 761, 805, 851, 898, 947, 997, 1048, 1101,
    1156, 1212, 1270, 1330, 1391, 1453, 1517, 1583, 1651, 1720, 1790, 1863,
    1937, 2013, 2090, 2170, 2250, 2333, 2418, 2504, 2592, 2681, 2773, 2866,
    2961, 3058, 3157, 3258, 3360, 3464, 3570, 3678, 3788, 3900, 4014, 4129,
    4247, 4366, 4488, 4611, 4736, 4864, 4993, 5124, 5257, 5392, 5530, 5669,
    5810, 5953, 6099, 6246, 6395, 6547, 6700, 6856, 7014, 7174, 7335, 7500,
    7666, 7834, 8004, 8177, 8352, 8528, 8708, 8889, 9072, 9258, 9445, 9635,
    9828, 10022, 10219, 10417, 10619, 10822, 11028, 11235, 11446, 11658, 11873, 12090,
    12309, 12530, 12754, 12980, 13209, 13440, 13673, 13909, 14146, 14387, 14629, 14874,
    15122, 15371, 15623, 15878, 16135, 16394, 16656, 16920, 17187, 17456, 17727, 18001,
    18277, 18556, 18837, 19121, 19407, 19696, 19987, 20281, 20577, 20876, 21177, 21481,
    21787, 22096, 22407, 22721, 23038, 23357, 23678, 24002, 24329, 24658, 24990, 25325,
    25662, 26001, 26344, 26688, 27036, 27386, 27739, 28094, 28452, 28813, 29176, 29542,
    29911, 30282, 30656, 31033, 31412, 31794, 32179, 32567, 32957, 33350, 33745, 34143,
    34544, 34948, 35355, 35764, 36176, 36591, 37008, 37429, 37852, 38278, 38706, 39138,
    39572, 40009, 40449, 40891, 41337, 41785, 42236, 42690, 43147, 43606, 44069, 44534,
    45002, 45473, 45947, 46423, 46903, 47385, 47871, 48359, 48850, 49344, 49841, 50341,
    50844, 51349, 51858, 52369, 52884, 53401, 53921, 54445, 54971, 55500, 56032, 56567,
    57105, 57646, 58190, 58737, 59287, 59840, 60396, 60955, 61517, 62082, 62650, 63221,
    63795, 64372, 64952, 65535,
};

constexpr bool rises_by_at_least(int32_t step) {
    for (int i = 1; i < 256; ++i)
        if (kLinear[i] - kLinear[i - 1] < step) return false;
    return kLinear[0] == 0 && kLinear[255] == 65535;
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
    for (int v = 1; v < 256; ++v) m.from[v] = (kLinear[v - 1] + kLinear[v] + 1) / 2;
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

uint16_t linear_from_srgb8(uint8_t v) { return kLinear[v]; }

uint16_t linear_from_srgb16(uint16_t v) {
    // Straight between the 8-bit samples' values, which v * 257 hits exactly.
    const int32_t i = v / 257;
    const int32_t r = v % 257;
    if (r == 0) return kLinear[i];
    return static_cast<uint16_t>(kLinear[i] + ((kLinear[i + 1] - kLinear[i]) * r + 128) / 257);
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
