#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/tool.h"

// The disc image that tarnvil-disc's arguments ask for.
struct DiscImage {
    const uint8_t* bytes = nullptr;  // tracks x 2560 bytes
    size_t size = 0;
    const char* output = nullptr;    // where it goes: a file, or "-"
};

// tarnvil-disc from its arguments to the disc image, with every check and
// message of the command line, in its order. Returns -1 with `image`
// filled, or the exit status to end with (0 after --help or --version).
int make_disc(int argc, char** argv, const ToolRun& run, DiscImage& image);

// tarnvil-disc's command line: puts screen dumps on a bootable DFS disc
// image. Returns the exit status.
int run_disc(int argc, char** argv);

// Whether one of tarnvil-disc's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool disc_takes_value(const char* argument);
