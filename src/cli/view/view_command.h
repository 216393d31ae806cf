#pragma once

#include "cli/tool.h"
#include "lib/render/render.h"

// Where tarnvil-view's pictures go: PNG files from a shell, the screen of
// the web page.
struct PictureOutput {
    void* context;
    // Takes the picture of one dump, bound for `path`. False, after saying
    // why on `run.errors`, when it could not.
    bool (*take)(void* context, const ToolRun& run, const char* path, const IndexedImage& picture);
};

// tarnvil-view from its arguments to its pictures, with every check and
// message of the command line. Returns the exit status.
int view_dumps(int argc, char** argv, const ToolRun& run, const PictureOutput& output);

// tarnvil-view's command line: renders screen dumps as PNG pictures.
// Returns the exit status.
int run_view(int argc, char** argv);

// Whether one of tarnvil-view's arguments is an option that takes the next
// argument as its value (platform::TakesValue).
bool view_takes_value(const char* argument);
