#pragma once

#include "records.h"

// Reads the binary PPM file `name` into `planes`, reporting on standard
// output as it goes. Returns 1 with the three planes allocated, or 0 after
// printing the reason, with no plane left allocated.
int read_ppm(const char* name, ImagePlanes& planes);

// Frees the three planes (red, green, blue) and clears their pointers.
void release_planes(ImagePlanes& planes);

// Asks the allocator to keep freed planes for the next file instead of
// handing the pages back and faulting fresh ones in. Planes too large to
// keep (over 32 MiB) still go straight back to the system.
void retain_plane_memory();
