// The conversion: a picture's samples, a mode and a halftone in, the
// mode's screen memory out, with no option text, file or message.
#pragma once

#include <cstdint>

#include "conversion_records.h"

// Screen memory (screen_bytes of the mode, in the machine's order) for
// `planes` converted with `options`. What tarnvil writes for an argument is
// render_screen of the planes it read, with the matrix of the argument's
// halftone; this does the same for a caller that holds the pixels already.
void convert_to_screen(const ConversionOptions& options, const ImagePlanes& planes, uint8_t* screen);

// Colour number of screen pixel (x, y), y < planes.height, for the mode,
// aspect correction and stagger of `options`.
int32_t sample_pixel(int32_t x, int32_t y, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix);

// Fills `screen` with the whole dump (screen_bytes of the mode) in the
// machine's character-cell order. Gives the same bytes as packing
// sample_pixel for every pixel, computed a column at a time.
void render_screen(const ConversionOptions& options, const ImagePlanes& planes, const ThresholdMatrix& matrix,
                   uint8_t* screen);
