#include "common/dump.h"

#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"
#include "screen/modes.h"

bool read_screen_dump(const char* program, const char* path, int32_t mode, uint8_t* buffer) {
    const int32_t expected = screen_bytes(screen_mode_for(mode));
    // One byte more than the largest dump tells a longer file apart.
    uint8_t first[kMaxScreenBytes + 1];
    const ssize_t got = read_file_prefix(path, first, sizeof first);
    if (got < 0) {
        fprintf(stderr, "%s: %s: %s\n", program, path, strerror(errno));
        return false;
    }
    if (got != expected) {
        fprintf(stderr, "%s: %s: %s %zd bytes, but a MODE %d screen dump has %d\n", program, path,
                got > expected ? "more than" : "only", got > expected ? static_cast<ssize_t>(expected) : got,
                static_cast<int>(mode), static_cast<int>(expected));
        return false;
    }
    memcpy(buffer, first, static_cast<size_t>(expected));
    return true;
}

bool parse_mode_argument(const char* text, int32_t& mode) {
    if (text[0] == '\0' || text[1] != '\0') return false;
    const int32_t value = text[0] - '0';
    if (!is_screen_mode(value)) return false;
    mode = value;
    return true;
}
