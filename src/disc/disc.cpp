#include "disc/disc.h"

#include <cstdio>
#include <cstring>

#include "screen/modes.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_field(char c) { return c == '\0' || is_blank(c) || c == '\r' || c == '\n'; }

// Up to eight hexadecimal digits after optional blanks.
bool parse_hex(const char*& p, uint32_t& value) {
    while (is_blank(*p)) ++p;
    const char* start = p;
    uint64_t parsed = 0;
    for (;; ++p) {
        const char c = *p;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) break;
        parsed = (parsed << 4 | static_cast<uint64_t>(digit)) & 0xFFFFFFFFu;
    }
    value = static_cast<uint32_t>(parsed);
    return p > start && p - start <= 8;
}

// "NAME LOAD EXEC ...": the addresses, or false when the text is not such
// a line.
bool parse_inf_line(const char* inf, size_t size, uint32_t& load, uint32_t& exec) {
    char line[256] = {};
    memcpy(line, inf, size < sizeof line - 1 ? size : sizeof line - 1);
    const char* p = line;
    while (is_blank(*p)) ++p;
    const char* name = p;
    while (!ends_field(*p)) ++p;
    return p != name && parse_hex(p, load) && parse_hex(p, exec) && ends_field(*p);
}

}  // namespace

bool check_title(const char* title, char* reason, size_t capacity) {
    size_t length = 0;
    for (; title[length]; ++length) {
        if (title[length] < ' ' || title[length] > '~') {
            snprintf(reason, capacity, "the title may only use printable ASCII characters, from space to '~'");
            return false;
        }
    }
    if (length <= static_cast<size_t>(kMaxTitleLength)) return true;
    snprintf(reason, capacity, "the title has %zu characters, but a disc title holds at most %d", length,
             static_cast<int>(kMaxTitleLength));
    return false;
}

bool prepare_picture(const char* label, int32_t mode, const Palette& palette, const uint8_t* dump, const char* inf,
                     size_t inf_size, DiscPicture& picture, char* reason, size_t capacity) {
    picture = {mode, palette, dump, screen_mode_for(mode).screen_start, 0};
    if (inf && !parse_inf_line(inf, inf_size, picture.load, picture.exec)) {
        snprintf(reason, capacity, "%s.inf: not an INF line (NAME LOAD EXEC)", label);
        return false;
    }
    return true;
}

bool build_disc(int32_t tracks, const char* title, const DiscPicture* pictures, int32_t count, uint8_t* image,
                char* reason, size_t capacity) {
    DiscFile files[kMaxDiscFiles];
    int32_t modes[kMaxPictures];
    // Each picture's changes to its mode's palette: "logical physical" pairs.
    char changes[kMaxPictures][17];
    const char* change_lists[kMaxPictures];
    for (int32_t i = 0; i < count; ++i) {
        DiscFile& file = files[i + 1];
        // "P1" .. "P30"
        const int32_t number = i + 1;
        char* name = file.name;
        *name++ = 'P';
        if (number >= 10) *name++ = static_cast<char>('0' + number / 10);
        *name++ = static_cast<char>('0' + number % 10);
        *name = '\0';
        file.load = pictures[i].load;
        file.exec = pictures[i].exec;
        file.data = pictures[i].dump;
        file.length = static_cast<uint32_t>(screen_bytes(screen_mode_for(pictures[i].mode)));
        modes[i] = pictures[i].mode;
        const Palette standard = default_palette(pictures[i].mode);
        char* pair = changes[i];
        for (int32_t logical = 0; logical < standard.colours; ++logical) {
            if (pictures[i].palette.physical[logical] == standard.physical[logical]) continue;
            *pair++ = static_cast<char>('0' + logical);
            *pair++ = static_cast<char>('0' + pictures[i].palette.physical[logical]);
        }
        *pair = '\0';
        change_lists[i] = changes[i];
    }
    char boot[2048];
    const size_t boot_length = write_boot_program(modes, change_lists, count, boot, sizeof boot);
    files[0] = {"!BOOT", 0, 0, reinterpret_cast<const uint8_t*>(boot), static_cast<uint32_t>(boot_length)};

    const int32_t total = tracks * kSectorsPerTrack;
    const int32_t needed = sectors_needed(files, count + 1);
    if (needed > total) {
        snprintf(reason, capacity, "the pictures need %d sectors, but %s %d-track disc has %d; nothing written",
                 static_cast<int>(needed), tracks == 80 ? "an" : "a", static_cast<int>(tracks), static_cast<int>(total));
        return false;
    }
    write_ssd(tracks, title, 3, files, count + 1, image);
    return true;
}
