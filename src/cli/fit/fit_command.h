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

// Reads tarnvil-fit's options, as its command line reads them, into
// `settings`, for the web page, which asks with the words the command line
// would take; no picture is named. False after reporting a mistake.
bool read_fit_settings(int argc, char** argv, const ToolRun& run, FitSettings& settings);

// The settings as the fewest of tarnvil-fit's options that give them: the
// mode, then each picture option whose value is not its default and that
// changes the picture (the halftone, stagger and aspect correction do
// not after error diffusion, nor those, the tone, the dither or a palette
// in MODE 7), then the palette where it is not the mode's own. Each goes to `word` by its long name, with its value or null.
void say_fit_settings(const FitSettings& settings, void* context,
                      void (*word)(void* context, const char* name, const char* value));

// tarnvil-fit's command line. Returns the exit status.
int run_fit(int argc, char** argv);

// Whether one of tarnvil-fit's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool fit_takes_value(const char* argument);
