// Reading a binary PPM file into the three sample planes.
#pragma once

#include "records.h"

// Reads the binary PPM file `name` into `planes`, reporting on standard
// output as it goes. Returns 1 with the three planes allocated, or 0 after
// printing the reason, with no plane left allocated.
int read_ppm(const char* name, ImagePlanes& planes);

// Frees the three planes (red, green, blue) and clears their pointers.
void release_planes(ImagePlanes& planes);
