// The picture's tone and colour: from linear light on the screen's grid
// to the PPM's sRGB samples, through --grey, --saturation and the tone
// curve of --brightness, --contrast and --gamma.
#pragma once

#include "lib/fit/fit.h"
#include "lib/fit/scale.h"

// The PPM of `picture` with its plain samples. False when memory runs out.
bool tone_picture(const LightPicture& picture, const FitSettings& settings, PpmBytes& ppm);
