// Writing a companion tool's finished output.
#pragma once

#include <cstddef>

#include "cli/tool.h"

// Writes `data` to `path`, or to standard output when `path` is "-", for a
// run from a shell. A file written is announced on `run.out` as
// "Wrote PATH", so whoever called the tool from wherever learns where it
// went. On failure removes what was written, reports "PROGRAM: PATH:
// reason" on `run.errors` and returns false.
bool write_output_file(const ToolRun& run, const char* program, const char* path, const void* data, size_t size);

// False, after saying so, when a run from a shell would write `what` (binary
// data, not for a screen) to standard output that is a terminal.
bool output_can_go_to(const ToolRun& run, const char* program, const char* path, const char* what);

// True when writing `output` would write over `input`, a file the run reads:
// the same name, or, from a shell, the same file by another name (through
// "..", a symbolic or a hard link). Standard output overwrites nothing. The
// web page has no files, only the names it was handed, so names are all it
// compares.
bool would_overwrite(const ToolRun& run, const char* output, const char* input);
