#include "image/ppm.h"

#include <cstdint>
#include <cstdio>

#include "image/byte_stream.h"
#include "image/ppm_header.h"
#include "image/samples.h"
#include "image/transpose.h"
#include "platform/platform.h"

namespace {

// The header is parsed through this much buffer, and the samples of
// ordinary widths are transposed from it.
constexpr size_t kStreamBytes = 64 * 1024;

size_t read_from_file(void* context, unsigned char* buffer, size_t size) {
    return platform::read_input(*static_cast<platform::File*>(context), buffer, size);
}

}  // namespace

void release_planes(ImagePlanes& planes) { platform::release_planes(planes.red, planes.green, planes.blue); }

int read_ppm(const char* name, ImagePlanes& planes) {
    printf("Attempting to open %s\n", name);
    platform::File file;
    if (!platform::open_input(name, file)) {
        printf("Unable to open this file.\n");
        return 0;
    }
    // The transpose may read a little past the bands it is handed.
    static unsigned char stream_buffer[kStreamBytes + kTransposeSlack];
    ByteStream in = make_byte_stream({&file, read_from_file}, stream_buffer, kStreamBytes);
    auto fail = [&](const char* message) {
        platform::close_input(file);
        fputs(message, stdout);
        return 0;
    };

    if (!read_magic(in)) return fail("Not a PPM6 (binary-encoded) file!\n");

    const int first = next_byte(in);
    if (first == '#') {
        printf("File comment:-\n");
        echo_comment(in);
    } else {
        printf("This PPM file has no comment.\n");
        if (first >= 0) push_back(in);
    }
    putchar('\n');

    if (!scan_int(in, planes.width)) return fail("Bad image size in header.\n");
    if (!scan_int(in, planes.height)) return fail("Bad image size in header.\n");
    skip_space(in);
    printf("File is %d x %d\n", planes.width, planes.height);

    if (planes.width < 0 || planes.height < 0) return fail("Unsupported image size.\n");
    // Each plane's byte count must itself fit in 32 bits.
    const int64_t samples = int64_t{planes.width} * planes.height;
    if (samples > INT32_MAX / 4) return fail("Unsupported image size.\n");
    const int32_t plane_bytes = static_cast<int32_t>(samples * 4);

    planes.red = planes.green = planes.blue = nullptr;
    if (!platform::memory_fits(3 * static_cast<uint64_t>(plane_bytes)) ||
        !platform::allocate_planes(static_cast<size_t>(samples), planes.red, planes.green, planes.blue)) {
        platform::close_input(file);
        printf("Out of memory (%d bytes required).\n", plane_bytes);
        return 0;
    }

    if (skip_max_value(in) > 255) {
        release_planes(planes);
        return fail("Unsupported maximum value: samples must be one byte each.\n");
    }
    printf("Now analysing file...\n");

    read_samples(in, planes);
    platform::close_input(file);
    return 1;
}
