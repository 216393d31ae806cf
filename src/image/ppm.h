// Reading a binary PPM file into the three sample planes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "conversion_records.h"

// Reads the binary PPM file `name` into `planes`, reporting on standard
// output as it goes. Returns 1 with the three planes allocated, or 0 after
// printing the reason, with no plane left allocated.
int read_ppm(const char* name, ImagePlanes& planes);

// The same for a file whose contents are already in memory: `size` bytes
// at `bytes`, or no file at all when `bytes` is null. `name` is only
// reported; the messages go to `sink`.
int read_ppm_bytes(const char* name, const uint8_t* bytes, size_t size, ImagePlanes& planes,
                   const MessageSink& sink);

// Frees the three planes (red, green, blue) and clears their pointers.
void release_planes(ImagePlanes& planes);
