// Samples that make tarnvil light as many dots as the picture has light.
// tarnvil lights a channel's dot where the sample plus the halftone's
// offset passes 127, so over a flat area the share of lit dots follows
// the sample itself, while the light a sample stands for follows the sRGB
// curve: mid-grey 128 is a fifth of white's light, not half.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion_records.h"

// The sample whose flat area tarnvil, with `halftone`, lights in the share
// of dots nearest to the light of the sRGB sample `v`: of the samples that
// light that share, the one nearest to 255 times it.
uint8_t light_true_sample(HalftoneType halftone, uint8_t v);

// Each of `count` samples at `samples` made light-true for `halftone`.
void make_light_true(HalftoneType halftone, uint8_t* samples, size_t count);
