#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/command_line.h"
#include "cli/tool.h"

// The disc image that tarnvil-disc's arguments ask for.
struct DiscImage {
    const uint8_t* bytes = nullptr;  // tracks x 2560 bytes, twice for both sides
    size_t size = 0;
};
using DiscOutput = ToolOutput<DiscImage>;

// tarnvil-disc from its arguments to the disc image, with every check and
// message of the command line, in its order; the image goes to `output`,
// bound for -o's file ("pictures.ssd" by default, "-" for standard
// output). Returns the exit status.
int make_disc(int argc, char** argv, const ToolRun& run, const DiscOutput& output);

// tarnvil-disc's options and --help.
const ToolCommand& disc_tool();

// tarnvil-disc's command line: puts screen dumps on a bootable DFS disc
// image. Returns the exit status.
int run_disc(int argc, char** argv);

// Whether one of tarnvil-disc's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool disc_takes_value(const char* argument);
