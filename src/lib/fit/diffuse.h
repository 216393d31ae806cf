// Error diffusion: tarnvil-fit chooses every dot itself, in linear light,
// and hands tarnvil samples that it passes through unchanged with
// halftoning off.
#pragma once

#include <cstdint>

#include "lib/palette.h"

// Replaces the `width` x 256 RGB samples at `rgb` with the palette's
// colours, dot for dot, spreading each dot's error onto its neighbours
// (Floyd-Steinberg, alternate rows right to left). The colours are matched
// in linear light: the sRGB light of the samples, or with `samples_as_light`
// the samples themselves as shares of full light. Each dot is written as
// the colour that tarnvil's matching turns into its logical colour, which
// in the mode's own palette is the colour itself. False when memory runs
// out.
bool diffuse_to_palette(int32_t mode, const Palette& palette, bool samples_as_light, uint8_t* rgb, int32_t width);
