#include "image/ppm_header.h"

#include <algorithm>
#include <cstring>

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

bool read_magic(ByteStream& in) {
    const int magic[3] = {next_byte(in), next_byte(in), next_byte(in)};
    return magic[0] == 'P' && magic[1] == '6' && magic[2] == '\n';
}

void echo_comment(ByteStream& in, const MessageSink& sink) {
    char out[4096];
    size_t used = 0;
    for (;;) {
        if (in.pos == in.len && !refill(in)) break;
        const unsigned char* start = in.buffer + in.pos;
        const size_t avail = in.len - in.pos;
        const void* lf = memchr(start, '\n', avail);
        const size_t take = lf ? static_cast<size_t>(static_cast<const unsigned char*>(lf) - start) : avail;
        for (size_t i = 0; i < take; ++i) {
            if (start[i] >= 32 && start[i] <= 122) {
                out[used++] = static_cast<char>(start[i]);
                if (used == sizeof out) {
                    say_text(sink, out, used);
                    used = 0;
                }
            }
        }
        in.pos += take;
        if (lf) {
            ++in.pos;
            break;
        }
    }
    if (used > 0) say_text(sink, out, used);
}

void skip_space(ByteStream& in) {
    int c;
    do c = next_byte(in);
    while (is_space(c));
    if (c >= 0) push_back(in);
}

bool scan_int(ByteStream& in, int32_t& value) {
    skip_space(in);
    int c = next_byte(in);
    const bool negative = c == '-';
    if (c == '+' || c == '-') c = next_byte(in);
    if (!is_digit(c)) {
        if (c >= 0) push_back(in);
        return false;
    }
    int64_t magnitude = 0;
    bool too_big = false;
    for (; is_digit(c); c = next_byte(in)) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) {
            too_big = true;
            magnitude = int64_t{INT32_MAX} + 1;  // keeps accumulating without overflow
        }
    }
    if (c >= 0) push_back(in);
    const int64_t signed_value = negative ? -magnitude : magnitude;
    if (too_big || signed_value > INT32_MAX) return false;
    value = static_cast<int32_t>(signed_value);
    return true;
}

uint32_t skip_max_value(ByteStream& in) {
    uint32_t value = 0;
    int c;
    while (is_digit(c = next_byte(in))) value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(c - '0'), 65536);
    while (c >= 0 && c != '\n') {
        if (in.pos == in.len && !refill(in)) break;
        const void* lf = memchr(in.buffer + in.pos, '\n', in.len - in.pos);
        if (lf) {
            in.pos = static_cast<size_t>(static_cast<const unsigned char*>(lf) - in.buffer) + 1;
            break;
        }
        in.pos = in.len;
    }
    return value;
}
