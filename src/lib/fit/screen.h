// A prepared picture on the machine's screen: tarnvil's conversion of the
// samples tarnvil-fit prepared, typed, in memory, for the tools that show
// pictures and put them on discs.
#pragma once

#include <cstdint>

#include "conversion_records.h"
#include "lib/fit/fit.h"
#include "screen/writer.h"

// The dump tarnvil makes from the RGB samples of a PPM of `width` x 256
// converted with `options` (`dump` holds kMaxScreenBytes). False when
// memory runs out.
bool screen_of_samples(const ConversionOptions& options, const uint8_t* rgb, int32_t width, uint8_t* dump);

// The dump and sidecar tarnvil writes for `ppm`, which fit_file prepared
// with `settings`, converted as the argument tarnvil-fit prints converts
// it. False when memory runs out.
bool convert_prepared(const FitSettings& settings, const PpmBytes& ppm, ScreenFiles& files);
