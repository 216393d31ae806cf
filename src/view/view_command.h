#pragma once

// tarnvil-view's command line: renders screen dumps as PNG pictures.
// Returns the exit status.
int run_view(int argc, char** argv);
