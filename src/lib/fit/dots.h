// The last stages of preparing a picture: the palette's reach, then the
// dots.
#pragma once

#include <cstdint>

#include "lib/fit/fit.h"

// From the PPM's plain samples (`plan.width` x 256 at `rgb`) to those
// tarnvil is given, for `palette`, or for the mode's own colours, left as
// they are, when `palette` is null. Colours the palette's dots cannot mix
// come as near as they can, rather than wherever tarnvil's matching or the
// diffusion's error takes them; then, ordered, the samples that make
// tarnvil's halftone light the picture's light (and, for another palette,
// those that tarnvil's matching turns into its colours), or, diffused,
// every dot chosen. False when memory runs out.
bool place_dots(const ScreenPlan& plan, const FitSettings& settings, const Palette* palette, uint8_t* rgb);
