#include "cli/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "lib/tarnvil.h"
#include "platform/platform.h"

namespace {

bool is_standard_output(const char* path) { return strcmp(path, "-") == 0; }

// "./photo.png" and "photo.png" name one file wherever they are.
const char* without_leading_dots(const char* path) {
    while (path[0] == '.' && (path[1] == '/' || path[1] == '\\')) path += 2;
    return path;
}

bool same_name(const char* first, const char* second) {
    return strcmp(without_leading_dots(first), without_leading_dots(second)) == 0;
}

uint32_t big_endian_32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]};
}

}  // namespace

bool output_can_go_to(const ToolRun& run, const char* program, const char* path, const char* what) {
    if (!run.from_shell || !is_standard_output(path) || !platform::stdout_is_terminal()) return true;
    say(run.errors, "%s: not writing %s to a terminal; redirect standard output or name a file with -o\n", program,
        what);
    return false;
}

bool would_overwrite(const ToolRun& run, const char* output, const char* input) {
    if (is_standard_output(output)) return false;
    return same_name(output, input) || (run.from_shell && platform::same_file(output, input));
}

bool choose_name(ChosenNames& chosen, const char* name) {
    const size_t length = strlen(name) + 1;
    if (chosen.capacity - chosen.size < length) {
        size_t capacity = chosen.capacity ? chosen.capacity : 4096;
        while (capacity - chosen.size < length) capacity *= 2;
        std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
        if (!grown) return false;
        if (chosen.size) memcpy(grown.get(), chosen.text.get(), chosen.size);
        chosen.text = std::move(grown);
        chosen.capacity = capacity;
    }
    memcpy(chosen.text.get() + chosen.size, name, length);
    chosen.size += length;
    return true;
}

bool already_chosen(const ChosenNames& chosen, const char* name) {
    for (size_t at = 0; at < chosen.size; at += strlen(chosen.text.get() + at) + 1)
        if (same_name(name, chosen.text.get() + at)) return true;
    return false;
}

bool write_output_file(const ToolRun& run, const char* program, const char* path, const void* data, size_t size) {
    if (is_standard_output(path)) {
        if (platform::write_stdout_bytes(data, size)) return true;
        say(run.errors, "%s: standard output: %s\n", program, strerror(errno));
        return false;
    }
    if (platform::write_whole_file(path, data, size) == platform::Written::kDone) {
        say(run.out, "Wrote %s\n", path);
        return true;
    }
    say(run.errors, "%s: %s: %s\n", program, path, strerror(errno));
    return false;
}

bool replaceable_page(const char* path) {
    uint8_t first[kTeletextPageBytes + 1];
    const int64_t got = platform::read_file_prefix(path, first, sizeof first);
    const size_t length = strlen(path);
    if (length > 4 && strcmp(path + length - 4, ".inf") == 0)
        return got < 0 || (got >= 9 && memcmp(first, "$.SCREEN ", 9) == 0);
    return got < 0 || got == kTeletextPageBytes;
}

bool replaceable_ppm(const char* path) {
    uint8_t first[32];
    const int64_t got = platform::read_file_prefix(path, first, sizeof first);
    if (got < 0) return true;  // absent, or unreadable: writing it will tell
    for (const ScreenMode& row : kScreenModes) {
        char header[sizeof first];
        const int length = snprintf(header, sizeof header, "P6\n%d %d\n255\n", static_cast<int>(screen_width(row)),
                                    static_cast<int>(kScreenLines));
        if (got >= length && memcmp(first, header, static_cast<size_t>(length)) == 0) return true;
    }
    return false;
}

bool replaceable_preview(const char* path) {
    // The signature, the header and the palette that encode_png writes.
    uint8_t first[8 + 25 + 8 + 8 * 3];
    const int64_t got = platform::read_file_prefix(path, first, sizeof first);
    if (got < 0) return true;  // absent, or unreadable: writing it will tell
    if (got < 8 + 25 + 8 || memcmp(first, "\x89PNG\r\n\x1a\n\0\0\0\x0DIHDR", 16) != 0 ||
        memcmp(first + 37, "PLTE", 4) != 0 || first[25] != 3)
        return false;
    const uint32_t width = big_endian_32(first + 16);
    const uint32_t height = big_endian_32(first + 20);
    const uint32_t entries = big_endian_32(first + 33) / 3;
    bool shaped = width == 640 && height == 512;
    for (const ScreenMode& row : kScreenModes)
        shaped = shaped || (width == static_cast<uint32_t>(screen_width(row)) && height == kScreenLines &&
                            entries == static_cast<uint32_t>(row.colours));
    if (!shaped || (entries != 2 && entries != 4 && entries != 8) ||
        first[24] != (entries == 2 ? 1 : entries == 4 ? 2 : 4) || got < 41 + 3 * static_cast<int64_t>(entries))
        return false;
    // Every colour at full intensity, as the machine shows them.
    for (uint32_t i = 0; i < 3 * entries; ++i)
        if (first[41 + i] != 0 && first[41 + i] != 255) return false;
    return true;
}

bool replaceable_disc(const char* path) {
    uint8_t catalogue[2 * kSectorBytes];
    const int64_t got = platform::read_file_prefix(path, catalogue, sizeof catalogue);
    if (got < 0) return true;  // absent, or unreadable: writing it will tell
    const uint8_t* second = catalogue + kSectorBytes;
    const int32_t sectors = (second[6] & 3) << 8 | second[7];
    if (got < static_cast<int64_t>(sizeof catalogue) || (second[6] >> 4 & 3) != 3 ||
        (sectors != 40 * kSectorsPerTrack && sectors != 80 * kSectorsPerTrack))
        return false;
    for (int32_t entry = 1; entry <= second[5] / 8 && entry < 32; ++entry)
        if (memcmp(catalogue + 8 * entry, "!BOOT  ", 7) == 0 && (catalogue[8 * entry + 7] & 0x7F) == '$') return true;
    return false;
}
