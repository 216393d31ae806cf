// --palette auto: the palette, of those tarnvil-fit can prepare a picture
// for in its mode, whose screen comes closest to the picture.
#pragma once

#include "lib/fit/fit.h"

// `toned`, the PPM with the picture's plain samples, prepared for each of
// the mode's candidate palettes (palette_candidates) the way the settings
// ask (tone and dither); the one whose screen comes closest (measure.h)
// goes into `ppm`, with its palette. Ties go to the earlier candidate, the
// mode's own first. Candidates are tried from the lowest bound of their
// distance (mixture_bound) up, and those whose bound already exceeds the
// best distance are not made at all: the choice is the one trying every
// candidate would make, in less time. False when memory runs out.
bool choose_palette(const ScreenPlan& plan, const FitSettings& settings, const PpmBytes& toned, PpmBytes& ppm);

// For a VideoNuLA: `toned` (as above) diffused to the colours given, or
// to those chosen for the picture (nula.h), with the machine's best
// palette, diffused, as the colours to beat; into `ppm`, with its colours.
// False when memory runs out.
bool prepare_for_nula(const ScreenPlan& plan, const FitSettings& settings, PpmBytes& toned, PpmBytes& ppm);
