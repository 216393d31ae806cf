// What tarnvil-view and tarnvil-disc show: a screen dump as named, or a
// picture (PNG, JPEG, GIF, BMP or netpbm, told by its first bytes or,
// failing that, by its name's extension) prepared as tarnvil-fit prepares
// it and converted as tarnvil converts the PPM, in memory, so that its
// dump is the one the four commands from a picture to a disc would make.
#pragma once

#include <cstdint>

#include "cli/dump.h"
#include "cli/output.h"
#include "cli/tool.h"
#include "lib/tarnvil.h"

struct LoadedScreen {
    bool from_picture = false;
    Palette palette;              // the palette it is shown in
    NulaPalette nula;             // or a VideoNuLA's colours, when it has them
    const uint8_t* dump = nullptr;  // the mode's screen bytes
    // For a picture: tarnvil-fit's PPM and tarnvil's dump and sidecar.
    PpmBytes ppm;
    ScreenFiles files;
    uint8_t read[kMaxScreenBytes + 1];  // for a dump: its bytes
};

// Loads the `index`th operand into `screen`. False, after reporting
// "PROGRAM: PATH: reason" (a picture's reason as tarnvil-fit gives it),
// when it cannot be shown. A picture that cannot be read is that picture's
// error, never a dump: only a file that is no picture is taken as one.
bool load_screen(const ToolRun& run, const char* program, int32_t index, const NamedDump& named, LoadedScreen& screen);

// The screen as it shows, in its palette or its VideoNuLA's colours, as
// render_dump draws it. False when memory runs out.
bool render_shown(int32_t mode, const LoadedScreen& screen, bool native, IndexedImage& image);

// Whether the `index`th operand, `path`, is taken for a picture rather
// than a dump, from its first bytes and its name, for a message naming it.
bool taken_for_picture(const ToolRun& run, int32_t index, const char* path);

// --keep DIR: the files the four commands would have left for a picture,
// named as they name them, in DIR: NAME.ppm (tarnvil-fit's), NAME.ppm.bbc
// and NAME.ppm.bbc.inf (tarnvil's), NAME.ppm.bbc.png (tarnvil-view's), NAME
// being the picture's name without its folder and extension, or with -2,
// -3, ... after it where the run chose that name for another of its
// outputs already.
//
// Chooses the names of the `index`th of `count` operands' files, into
// `ppm` (the others add to it), and adds them to `chosen`. False, after
// saying so, when one would be written over an operand (by any name:
// through "..", a symbolic or a hard link), or the PPM or the preview over
// one in DIR that tarnvil-fit or tarnvil-view did not write: a picture of
// the user's.
bool choose_kept_names(const ToolRun& run, const char* program, const char* directory, const NamedDump* dumps,
                       int32_t count, int32_t index, ChosenNames& chosen, char* ppm, size_t capacity);

// Makes DIR and the folders above it that are missing, and writes the
// files named from `ppm`. Each is announced as written; false, after
// reporting, when one could not be.
bool keep_files(const ToolRun& run, const char* program, const char* directory, const char* ppm, const NamedDump& named,
                const LoadedScreen& screen);
