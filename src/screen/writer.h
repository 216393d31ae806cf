// Turns the loaded image into a mode's screen memory and writes it, with
// its INF sidecar, beside the input.
#pragma once

#include <cstdint>

#include "records.h"

// Writes NAME.bbc (the screen dump) and NAME.bbc.inf, printing progress.
// Failures are reported on standard output; the caller always goes on.
void write_screen(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                  const ThresholdMatrix& matrix);

// Colour number of screen pixel (x, y), y < planes.height, for the mode,
// aspect correction and stagger of `options`.
int32_t sample_pixel(int32_t x, int32_t y, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix);

// Fills `screen` with the whole dump (screen_bytes of the mode) in the
// machine's character-cell order. Gives the same bytes as packing
// sample_pixel for every pixel, computed a column at a time.
void render_screen(const ConversionOptions& options, const ImagePlanes& planes, const ThresholdMatrix& matrix,
                   uint8_t* screen);
