#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "conversion_records.h"
#include "screen/writer.h"

// Converts every argument after the program name and returns the exit
// status. With no argument it prints the usage text and ends the process.
int run_conversions(int count, char** arguments);

// Reads the option block glued to the front of `argument` into `options`
// (which the caller has reset to the defaults) and returns the file-name
// part that follows it: the whole argument when it has no block. Its
// messages go to `sink`.
const char* parse_option_block(const char* argument, ConversionOptions& options,
                               const MessageSink& sink = standard_output());

// The option block that gives `options`, as parse_option_block reads it
// back: "-" with the halftone group where it differs from the default
// (fine, unstaggered), "a" for aspect correction and always the mode, so
// that a file name glued after it can start with anything. At most 7
// characters and the NUL.
void format_option_block(const ConversionOptions& options, char (&block)[8]);

// What `tarnvil ARGUMENT` prints and writes when the file the argument
// names holds `size` bytes at `bytes`, or when there is no such file
// (`bytes` null). The messages go to `sink`, the files into `files`.
// Names no file can have (empty, or ending in a slash) open nothing, and
// "." and ".." read as the empty folders they are, as on the command line.
struct ConvertedPicture {
    const char* name;  // the file-name part of the argument
    ScreenFiles files;
};
void convert_picture(const char* argument, const uint8_t* bytes, size_t size, const MessageSink& sink,
                     ConvertedPicture& out);
