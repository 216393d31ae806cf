// Arbitrary bytes as the contents of an input file for the PPM reader.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "harness.h"
#include "image/ppm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (fuzzing::declares_too_many_pixels(data, size)) return -1;
    ImagePlanes planes{};
    if (read_ppm_bytes("reader.ppm", data, size, planes, no_messages()) == 1) {
        const size_t samples = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
        // Every sample is a byte of the file or -1 for one past its end.
        for (const int32_t* plane : {planes.red, planes.green, planes.blue})
            for (size_t i = 0; i < samples; ++i)
                if (plane[i] < -1 || plane[i] > 255) abort();
        release_planes(planes);
    }
    if (planes.red || planes.green || planes.blue) abort();
    return 0;
}
