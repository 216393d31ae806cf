#pragma once

// tarnvil-disc's command line: puts screen dumps on a bootable DFS disc
// image. Returns the exit status.
int run_disc(int argc, char** argv);
