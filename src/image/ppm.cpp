#include "image/ppm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

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

struct Memory {
    const uint8_t* bytes;
    size_t left;
};

size_t read_from_memory(void* context, unsigned char* buffer, size_t size) {
    Memory& memory = *static_cast<Memory*>(context);
    const size_t taken = std::min(size, memory.left);
    if (taken > 0) memcpy(buffer, memory.bytes, taken);
    memory.bytes += taken;
    memory.left -= taken;
    return taken;
}

// Everything after the file is open: the header, the planes and the
// samples. Returns 1 with the planes filled, or 0 with none allocated.
int read_stream(ByteSource source, ImagePlanes& planes, const MessageSink& sink) {
    // The transpose may read a little past the bands it is handed. Short of
    // memory for the buffer, a small one reads the same bytes in more calls.
    unsigned char fallback[4096 + kTransposeSlack];
    const std::unique_ptr<unsigned char[]> owned(new (std::nothrow) unsigned char[kStreamBytes + kTransposeSlack]);
    ByteStream in = owned ? make_byte_stream(source, owned.get(), kStreamBytes)
                          : make_byte_stream(source, fallback, sizeof fallback - kTransposeSlack);
    auto fail = [&](const char* message) {
        say_text(sink, message, strlen(message));
        return 0;
    };

    if (!read_magic(in)) return fail("Not a PPM6 (binary-encoded) file!\n");

    const int first = next_byte(in);
    if (first == '#') {
        say(sink, "File comment:-\n");
        echo_comment(in, sink);
    } else {
        say(sink, "This PPM file has no comment.\n");
        if (first >= 0) push_back(in);
    }
    say_text(sink, "\n", 1);

    if (!scan_int(in, planes.width)) return fail("Bad image size in header.\n");
    if (!scan_int(in, planes.height)) return fail("Bad image size in header.\n");
    skip_space(in);
    say(sink, "File is %d x %d\n", planes.width, planes.height);

    if (planes.width < 0 || planes.height < 0) return fail("Unsupported image size.\n");
    // Each plane's byte count must itself fit in 32 bits.
    const int64_t samples = int64_t{planes.width} * planes.height;
    if (samples > INT32_MAX / 4) return fail("Unsupported image size.\n");
    const int32_t plane_bytes = static_cast<int32_t>(samples * 4);

    planes.red = planes.green = planes.blue = nullptr;
    if (!platform::memory_fits(3 * static_cast<uint64_t>(plane_bytes)) ||
        !platform::allocate_planes(static_cast<size_t>(samples), planes.red, planes.green, planes.blue)) {
        say(sink, "Out of memory (%d bytes required).\n", plane_bytes);
        return 0;
    }

    if (skip_max_value(in) > 255) {
        release_planes(planes);
        return fail("Unsupported maximum value: samples must be one byte each.\n");
    }
    say(sink, "Now analysing file...\n");

    read_samples(in, planes);
    return 1;
}

// The reader's cycle around an open file, or none: the announcement, then
// the contents.
int read_named(const char* name, const ByteSource* source, ImagePlanes& planes, const MessageSink& sink) {
    say(sink, "Attempting to open %s\n", name);
    if (!source) {
        say(sink, "Unable to open this file.\n");
        return 0;
    }
    return read_stream(*source, planes, sink);
}

}  // namespace

void release_planes(ImagePlanes& planes) { platform::release_planes(planes.red, planes.green, planes.blue); }

int read_ppm(const char* name, ImagePlanes& planes) {
    platform::File file;
    if (!platform::open_input(name, file)) return read_named(name, nullptr, planes, standard_output());
    const ByteSource source{&file, read_from_file};
    const int result = read_named(name, &source, planes, standard_output());
    platform::close_input(file);
    return result;
}

int read_ppm_bytes(const char* name, const uint8_t* bytes, size_t size, ImagePlanes& planes,
                   const MessageSink& sink) {
    if (!bytes) return read_named(name, nullptr, planes, sink);
    Memory memory{bytes, size};
    const ByteSource source{&memory, read_from_memory};
    return read_named(name, &source, planes, sink);
}
