// Light and tone: sRGB samples to linear light and back, for tarnvil-fit and
// the previews, and the tone curve of tarnvil-fit's brightness, contrast and
// gamma options. Integers only, so every system gives the same bytes.
#pragma once

#include <cstdint>

// How the eye weighs red, green and blue light (Rec. 709), in
// ten-thousandths.
inline constexpr int32_t kLuminanceWeights[3] = {2126, 7152, 722};

// Linear light runs from 0 (black) to 65535 (full intensity).

namespace colour_tables {

// round(65535 * f(v / 255)) for the sRGB curve f: v / 12.92 up to 0.04045,
// ((v + 0.055) / 1.055)^2.4 above. Worked out once, so that no target's
// floating point has a say in the bytes.
inline constexpr uint16_t kLinear[256] = {
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

}  // namespace colour_tables

constexpr uint16_t linear_from_srgb8(uint8_t v) { return colour_tables::kLinear[v]; }

// The same for a 16-bit sample; an 8-bit sample v reads as v * 257.
uint16_t linear_from_srgb16(uint16_t v);

// The 8-bit sRGB sample nearest to `linear` (0..65535), halfway cases
// upward. Gives v back for linear_from_srgb8(v).
uint8_t srgb8_from_linear(int32_t linear);

// Brightness and contrast in percent (-100..100) and gamma in hundredths
// (10..1000), applied to 8-bit sRGB samples in this order: gamma (v^(1 /
// gamma)), contrast (the distance from mid-grey scaled by 1 + contrast /
// 100), brightness (brightness% of full scale added).
struct ToneCurve {
    uint8_t out[256];
};

ToneCurve make_tone_curve(int32_t brightness, int32_t contrast, int32_t gamma_hundredths);
