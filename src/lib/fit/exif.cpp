// What the JPEG decoders leave to be read from the file's markers: the
// orientation a camera records in its EXIF block (APP1), as the decoders
// hand over the picture as stored and phones store it sideways; and how
// many bytes its scans' data take.
#include <cstring>

#include "lib/fit/decoders.h"

namespace {

struct Tiff {
    const uint8_t* data;
    size_t size;
    bool big_endian;

    bool u16(size_t at, uint32_t& value) const {
        if (at > size || size - at < 2) return false;
        value = big_endian ? uint32_t{data[at]} << 8 | data[at + 1] : uint32_t{data[at + 1]} << 8 | data[at];
        return true;
    }
    bool u32(size_t at, uint32_t& value) const {
        uint32_t high = 0;
        uint32_t low = 0;
        if (!u16(at, big_endian ? high : low) || !u16(at + 2, big_endian ? low : high)) return false;
        value = high << 16 | low;
        return true;
    }
};

// Tag 0x0112 of the first IFD, a SHORT of 1..8.
int32_t orientation_in(const Tiff& tiff) {
    uint32_t first = 0;
    uint32_t entries = 0;
    if (!tiff.u32(4, first) || !tiff.u16(first, entries)) return 1;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t{first} + 2 + 12 * size_t{i};
        uint32_t tag = 0;
        uint32_t type = 0;
        uint32_t value = 0;
        if (!tiff.u16(entry, tag) || !tiff.u16(entry + 2, type) || !tiff.u16(entry + 8, value)) return 1;
        if (tag == 0x0112) return type == 3 && value >= 1 && value <= 8 ? static_cast<int32_t>(value) : 1;
    }
    return 1;
}

// One marker segment of a JPEG file: its marker, and for a marker with a
// length, the bytes after the length.
struct Segment {
    uint8_t marker = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The segment at `at` (fill bytes skipped), moving `at` past it. False at
// the end of the image, at the end of the file or at a length that does
// not fit: every walk below stops there.
bool next_segment(const uint8_t* bytes, size_t size, size_t& at, Segment& segment) {
    while (at + 1 < size && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) ++at;  // fill bytes
    if (at + 2 > size || bytes[at] != 0xFF || bytes[at + 1] == 0xD9) return false;
    segment.marker = bytes[at + 1];
    if (segment.marker == 0x01 || (segment.marker >= 0xD0 && segment.marker <= 0xD7)) {  // no length
        segment.data = nullptr;
        segment.size = 0;
        at += 2;
        return true;
    }
    if (at + 4 > size) return false;
    const size_t length = size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    if (length < 2 || length > size - at - 2) return false;
    segment.data = bytes + at + 4;
    segment.size = length - 2;
    at += 2 + length;
    return true;
}

}  // namespace

int32_t jpeg_orientation(const uint8_t* bytes, size_t size) {
    // Marker segments from the start of the file up to the image data.
    size_t at = 2;
    for (Segment segment; next_segment(bytes, size, at, segment) && segment.marker != 0xDA;) {
        if (segment.marker == 0xE1 && segment.size >= 14 && memcmp(segment.data, "Exif\0\0", 6) == 0) {
            const Tiff tiff{segment.data + 6, segment.size - 6, segment.data[6] == 'M'};
            uint32_t magic = 0;
            const bool valid = (memcmp(segment.data + 6, "MM", 2) == 0 || memcmp(segment.data + 6, "II", 2) == 0) &&
                               tiff.u16(2, magic) && magic == 42;
            return valid ? orientation_in(tiff) : 1;
        }
    }
    return 1;
}

uint64_t jpeg_entropy_bytes(const uint8_t* bytes, size_t size) {
    uint64_t data = 0;
    size_t at = 2;
    for (Segment segment; next_segment(bytes, size, at, segment);) {
        if (segment.marker != 0xDA) continue;
        // The scan's data runs to the next marker other than a stuffed zero
        // or a restart marker.
        const size_t from = at;
        while (at < size && !(bytes[at] == 0xFF && at + 1 < size && bytes[at + 1] != 0 &&
                              (bytes[at + 1] < 0xD0 || bytes[at + 1] > 0xD7)))
            ++at;
        data += at - from;
    }
    return data;
}

bool jpeg_is_arithmetic(const uint8_t* bytes, size_t size) {
    size_t at = 2;
    for (Segment segment; next_segment(bytes, size, at, segment) && segment.marker != 0xDA;) {
        // The frame headers of arithmetic coding: sequential, progressive, lossless.
        const uint8_t marker = segment.marker;
        if (marker == 0xC9 || marker == 0xCA || marker == 0xCB || (marker >= 0xCD && marker <= 0xCF)) return true;
    }
    return false;
}
