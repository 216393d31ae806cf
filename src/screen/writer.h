// Turns the loaded image into a mode's screen memory and writes it, with
// its INF sidecar, beside the input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "records.h"
#include "screen/modes.h"

// Writes NAME.bbc (the screen dump) and NAME.bbc.inf, printing progress.
// Failures are reported on standard output; the caller always goes on.
void write_screen(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                  const ThresholdMatrix& matrix);

// Where a conversion's two files go: beside the input for the command
// line, into memory for the web page, the fuzz harnesses and the tests.
enum class Kept { kKept, kNotCreated, kNotWritten };
struct ScreenOutput {
    void* context;
    // Keeps `size` bytes as the file named `name` followed by `suffix`.
    Kept (*keep)(void* context, const char* name, const char* suffix, const void* data, size_t size);
};

// write_screen with its files and messages going where the caller says.
void write_screen_to(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix, const ScreenOutput& output, const MessageSink& sink);

// The dump and the sidecar of one conversion, in memory. A size of 0
// means the file was not written.
struct ScreenFiles {
    uint8_t dump[kMaxScreenBytes];
    int32_t dump_size = 0;
    char inf[32];
    int32_t inf_size = 0;
};

ScreenOutput keep_in_memory(ScreenFiles& files);

// The command line's: files beside the input, named after it.
ScreenOutput keep_as_files();

// The conversion itself, typed: options and pixels in, screen memory out
// (screen_bytes of the mode, in the machine's order), with no option text,
// file or message. What tarnvil writes for an argument is render_screen of
// the planes it read, with the matrix of the argument's halftone; this does
// the same for a caller that holds the pixels already.
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
