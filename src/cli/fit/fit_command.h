#pragma once

#include "lib/fit/fit.h"
#include "cli/tool.h"

// Where tarnvil-fit's pictures go: files or standard output from a shell,
// memory for the web page.
struct PpmOutput {
    void* context;
    // Takes the PPM bound for `path`. False, after saying why on
    // `run.errors`, when it could not.
    bool (*take)(void* context, const ToolRun& run, const char* path, const PpmBytes& ppm);
};

// tarnvil-fit from its arguments to its PPMs, with every check and message
// of the command line. Returns the exit status.
int fit_pictures(int argc, char** argv, const ToolRun& run, const PpmOutput& output);

// tarnvil-fit's command line. Returns the exit status.
int run_fit(int argc, char** argv);

// Whether one of tarnvil-fit's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool fit_takes_value(const char* argument);
