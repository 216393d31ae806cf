// Reading a screen dump written by the converter, for the tools that
// consume dumps.
#pragma once

#include <cstdint>

// Reads the dump at `path` into `buffer` (kMaxScreenBytes bytes) and checks
// that its size fits `mode`. On failure prints "PROGRAM: PATH: reason" on
// standard error and returns false.
bool read_screen_dump(const char* program, const char* path, int32_t mode, uint8_t* buffer);

// Parses a mode given on a command line: "0", "1", "2", "4" or "5".
bool parse_mode_argument(const char* text, int32_t& mode);
