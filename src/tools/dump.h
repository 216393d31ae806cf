// Screen dumps as the companion tools take them: checked against the mode
// they are said to be for, since a dump does not record its mode.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether `size` bytes make a dump of `mode`. When they do not, `reason`
// says so, and names the modes whose dumps have that size, e.g.
// "10240 bytes: a MODE 4 or 5 dump? Use -m 4 or -m 5".
bool check_dump_size(int32_t mode, int64_t size, char* reason, size_t capacity);

// Reads the dump at `path` into `buffer` (kMaxScreenBytes bytes) and checks
// that its size fits `mode`. On failure prints "PROGRAM: PATH: reason" on
// standard error and returns false.
bool read_screen_dump(const char* program, const char* path, int32_t mode, uint8_t* buffer);

// Parses a mode given on a command line: "0", "1", "2", "4" or "5".
bool parse_mode_argument(const char* text, int32_t& mode);

// The complaint of a tool given no dump at all.
inline constexpr char kNoDumpMessage[] = "no screen dump named";

// A -m sets the mode of the dumps after it: one that no dump follows would
// apply to nothing. Reports it as a command-line mistake and returns 2.
int unused_mode_error(const char* program, int32_t mode);
