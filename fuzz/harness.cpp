#include "harness.h"

namespace fuzzing {

namespace {

bool is_space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Optional white space, sign and digits; the magnitude saturates at 2^31.
bool scan_saturating(const uint8_t*& p, const uint8_t* end, int64_t& value) {
    while (p < end && is_space(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || *p < '0' || *p > '9') return false;
    int64_t magnitude = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > (int64_t{1} << 31)) magnitude = int64_t{1} << 31;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

bool declares_too_many_pixels(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    if (size < 3) return false;
    p += 3;
    if (p < end && *p == '#') {
        while (p < end && *p != '\n') ++p;
        if (p < end) ++p;
    }
    int64_t width = 0;
    int64_t height = 0;
    if (!scan_saturating(p, end, width) || !scan_saturating(p, end, height)) return false;
    return width > 0 && height > 0 && width * height > kMaxPixels;
}

}  // namespace fuzzing
