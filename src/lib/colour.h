// Light and tone: sRGB samples to linear light and back, for tarnvil-fit and
// the previews, and the tone curve of tarnvil-fit's brightness, contrast and
// gamma options. Integers only, so every system gives the same bytes.
#pragma once

#include <cstdint>

// Linear light runs from 0 (black) to 65535 (full intensity).

// How the eye weighs red, green and blue light (Rec. 709), in
// ten-thousandths.
inline constexpr int32_t kLuminanceWeights[3] = {2126, 7152, 722};
uint16_t linear_from_srgb8(uint8_t v);

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
