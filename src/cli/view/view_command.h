#pragma once

#include "cli/command_line.h"
#include "cli/tool.h"
#include "lib/tarnvil.h"

// tarnvil-view's pictures, one for each dump.
using PictureOutput = ToolOutput<IndexedImage>;

// tarnvil-view from its arguments to its pictures, with every check and
// message of the command line. Returns the exit status.
int view_dumps(int argc, char** argv, const ToolRun& run, const PictureOutput& output);

// tarnvil-view's options and --help.
const ToolCommand& view_tool();

// tarnvil-view's command line: renders screen dumps as PNG pictures.
// Returns the exit status.
int run_view(int argc, char** argv);

// Whether one of tarnvil-view's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool view_takes_value(const char* argument);
