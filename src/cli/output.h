// Writing a companion tool's finished output.
#pragma once

#include <cstddef>
#include <memory>

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
// the same name (a leading "./" aside), or, from a shell, the same file by
// another name (through "..", a symbolic or a hard link). Standard output
// overwrites nothing. The web page has no files, only the names it was
// handed, so names are all it compares.
bool would_overwrite(const ToolRun& run, const char* output, const char* input);

// The names a run has chosen for its own outputs so far (previews, kept
// files), so that it can choose each new one apart from all of them: one
// output never replaces another of the same run.
struct ChosenNames {
    std::unique_ptr<char[]> text;  // the names one after another, each ended by '\0'
    size_t size = 0;
    size_t capacity = 0;
};

// Adds `name`; false when memory runs out.
bool choose_name(ChosenNames& chosen, const char* name);

// Whether `name` is one of them, by name (a leading "./" aside): by name
// alone, as a run may choose thousands and most are not there yet.
bool already_chosen(const ChosenNames& chosen, const char* name);

// Whether a file at `path`, where a tool is to write under a name it chose
// itself, may be replaced: it is not there, or it is one the tools write,
// not a picture of the user's. A PPM as tarnvil-fit writes them, a whole
// screen of a mode ("P6\n320 256\n255\n"); a PNG as tarnvil-view writes
// previews, a screen's size with a palette of the machine's colours.
// A disc image as tarnvil-disc writes them, of 40 or 80 tracks, booting
// its !BOOT.
bool replaceable_ppm(const char* path);
// A MODE 7 page as tarnvil-fit writes them, of kTeletextPageBytes, and
// its sidecar, which starts "$.SCREEN ".
bool replaceable_page(const char* path);
bool replaceable_preview(const char* path);
bool replaceable_disc(const char* path);
