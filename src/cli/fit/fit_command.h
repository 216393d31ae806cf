#pragma once

#include "lib/tarnvil.h"
#include "cli/command_line.h"
#include "cli/tool.h"

// tarnvil-fit's PPMs, each with the palette it was prepared for.
using PpmOutput = ToolOutput<PpmBytes>;

// tarnvil-fit from its arguments to its PPMs, with every check and message
// of the command line. Returns the exit status.
int fit_pictures(int argc, char** argv, const ToolRun& run, const PpmOutput& output);

// tarnvil-fit's options and --help, for the page, which passes the same
// options, and the check of the manual page.
const ToolCommand& fit_tool();

// tarnvil-fit's command line. Returns the exit status.
int run_fit(int argc, char** argv);

// Whether one of tarnvil-fit's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool fit_takes_value(const char* argument);
