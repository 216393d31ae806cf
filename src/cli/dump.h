// Screen dumps as the companion tools take them: named on the command line
// with the mode they were converted in (a dump does not record it), and
// checked against that mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/command_line.h"
#include "lib/tarnvil.h"
#include "cli/tool.h"
#include "conversion_records.h"

// Reads the `index`th dump, named `path`, into `buffer` (kMaxScreenBytes
// bytes) and checks that its size fits `mode`. On failure reports
// "PROGRAM: PATH: reason" and returns false; a dump of the wrong size is
// told which modes have dumps of its size, "10240 bytes: a MODE 4 or 5
// dump? Use -m 4 or -m 5".
bool read_screen_dump(const ToolRun& run, const char* program, int32_t index, const char* path, int32_t mode,
                      uint8_t* buffer);

// False with `reason` ("10240 bytes: a MODE 4 or 5 dump? Use -m 4 or
// -m 5") when `size` bytes are no dump of `mode`.
bool check_dump_size(int32_t mode, int64_t size, char* reason, size_t capacity);

// Parses a mode given on a command line: "0", "1", "2", "4", "5" or "7".
bool parse_mode_argument(const char* text, int32_t& mode);

// "the mode must be 0, 1, 2, 4 or 5", into `out`; returns `out`.
const char* mode_complaint(char* out, size_t capacity);

// The dumps a command line names, each with the mode of the last -m
// before it (2 before any) and the palette of the last -p after that (the
// mode's own before any). A picture named in place of a dump is prepared
// with the tarnvil-fit settings given before it, tarnvil's halftone and
// stagger among them, for its mode and palette ("-p auto": the one whose
// screen comes closest to it), and converted as tarnvil-fit's printed
// argument would convert it.
struct NamedDump {
    const char* path;
    int32_t mode;
    Palette palette;
    NulaPalette nula;  // a VideoNuLA's colours for a dump, when given (no colours: none)
    FitSettings fit;
};

struct DumpArguments {
    NamedDump* dumps;         // room for `capacity`
    int32_t capacity;
    int32_t count = 0;        // every dump named, also those beyond `capacity`
    int32_t mode = 2;
    Palette palette = default_palette(2);
    NulaPalette nula{};
    FitSettings fit{};
    FollowingOption following{};
};

void take_mode(DumpArguments& arguments, int32_t mode);
// False, after reporting it as a command-line mistake, for a palette that
// is not one of the current mode's.
bool take_palette(DumpArguments& arguments, const char* text, const ToolRun& run, const char* program);
void take_dump(DumpArguments& arguments, const char* path);

// --nula (pictures only) and --nula-palette (pictures and dumps), in
// place of -p. False, after reporting it as a command-line mistake, for
// colours that are not the current mode's.
bool take_nula(DumpArguments& arguments, const Argument& argument, const ToolRun& run, const char* program);

// After the last argument: a command line that names no dump, or whose
// last -m applies to nothing, is a mistake, reported with status 2.
// Returns -1 when neither is the case.
int check_dump_arguments(const DumpArguments& arguments, const ToolRun& run, const char* program);
