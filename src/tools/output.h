// Writing a companion tool's finished output.
#pragma once

#include <cstddef>

// Writes `data` to `path`, or to standard output when `path` is "-". On
// failure removes what was written, prints "PROGRAM: PATH: reason" on
// standard error and returns false.
bool write_output_file(const char* program, const char* path, const void* data, size_t size);

// False, after saying so on standard error, when `path` is "-" (standard
// output) and that is a terminal: `what` is binary data, not for a screen.
bool output_can_go_to(const char* program, const char* path, const char* what);
