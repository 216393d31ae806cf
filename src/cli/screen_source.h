// What tarnvil-view and tarnvil-disc show: a screen dump as named, or a
// picture (PNG, JPEG, GIF, BMP or netpbm, told by its first bytes, not its
// name) prepared as tarnvil-fit prepares it and converted as tarnvil
// converts the PPM, in memory, so that its dump is the one the four
// commands from a picture to a disc would make.
#pragma once

#include <cstdint>

#include "cli/dump.h"
#include "cli/tool.h"
#include "driver/driver.h"
#include "lib/tarnvil.h"

struct LoadedScreen {
    bool from_picture = false;
    Palette palette;              // the palette it is shown in
    const uint8_t* dump = nullptr;  // the mode's screen bytes
    // For a picture: tarnvil-fit's PPM and tarnvil's dump and sidecar.
    PpmBytes ppm;
    ConvertedPicture converted;
    uint8_t read[kMaxScreenBytes + 1];  // for a dump: its bytes
};

// Loads the `index`th operand into `screen`. False, after reporting
// "PROGRAM: PATH: reason" (a picture's reason as tarnvil-fit gives it),
// when it cannot be shown. A file that starts like a picture but cannot be
// read as one, and has the size of the mode's dumps, is taken as a dump.
bool load_screen(const ToolRun& run, const char* program, int32_t index, const NamedDump& named, LoadedScreen& screen);

// --keep DIR: the files the four commands would have left for a picture,
// named as they name them, in DIR: NAME.ppm (tarnvil-fit's), NAME.ppm.bbc
// and NAME.ppm.bbc.inf (tarnvil's), NAME.ppm.bbc.png (tarnvil-view's), NAME
// being the picture's name without its folder and extension. Each is
// announced as written; false, after reporting, when one could not be.
bool keep_files(const ToolRun& run, const char* program, const char* directory, const NamedDump& named,
                const LoadedScreen& screen);
