#include "lib/disc/disc.h"

#include <cstdio>
#include <cstring>

#include "screen/modes.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// One blank-separated field of an INF line.
struct Field {
    const char* text;
    size_t length;
};

// The next field before `end`; false when there is none.
bool next_field(const char*& p, const char* end, Field& field) {
    while (p < end && is_blank(*p)) ++p;
    const char* start = p;
    while (p < end && !is_blank(*p)) ++p;
    field = {start, static_cast<size_t>(p - start)};
    return p > start;
}

// One to eight hexadecimal digits and nothing else.
bool parse_hex(const Field& field, uint32_t& value) {
    if (field.length == 0 || field.length > 8) return false;
    uint32_t parsed = 0;
    for (size_t i = 0; i < field.length; ++i) {
        const char c = field.text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return false;
        parsed = parsed << 4 | static_cast<uint32_t>(digit);
    }
    value = parsed;
    return true;
}

// "L" or "Locked", in any case: the locked attribute.
bool is_locked(const Field& field) {
    const char word[] = "LOCKED";
    if (field.length != 1 && field.length != sizeof word - 1) return false;
    for (size_t i = 0; i < field.length; ++i)
        if ((field.text[i] & ~0x20) != word[i]) return false;
    return true;
}

// The first line of an INF sidecar: NAME LOAD EXEC, then optionally the
// length, the access ("L", "Locked" or hexadecimal) and KEY=VALUE fields
// such as CRC=. The name and every field hold no control character; the
// line ends at CR, LF or the end of the text. False when it is not such
// a line.
bool parse_inf_line(const char* inf, size_t size, uint32_t& load, uint32_t& exec) {
    const char* end = inf;
    while (end < inf + size && *end != '\n' && *end != '\r') {
        const unsigned char c = static_cast<unsigned char>(*end++);
        if ((c < ' ' && c != '\t') || c == 0x7F) return false;
    }
    const char* p = inf;
    Field field;
    uint32_t ignored = 0;
    if (!next_field(p, end, field) || !next_field(p, end, field) || !parse_hex(field, load) ||
        !next_field(p, end, field) || !parse_hex(field, exec))
        return false;
    bool more = next_field(p, end, field);
    if (more && parse_hex(field, ignored)) more = next_field(p, end, field);  // the length
    if (more && (is_locked(field) || parse_hex(field, ignored))) more = next_field(p, end, field);
    for (; more; more = next_field(p, end, field)) {
        const void* equals = memchr(field.text, '=', field.length);
        if (!equals || equals == field.text) return false;
    }
    return true;
}

// A DFS catalogue keeps 18 bits of an address; the top two both set stand
// for the I/O processor and read back as FFFFxxxx. So it holds up to
// 3FFFF, and the I/O processor's FFFFxxxx, also written FFxxxx as the
// filing system lists it.
bool catalogue_holds(uint32_t address) {
    return address <= 0x3FFFF || (address >> 16) == 0xFF || (address >> 16) == 0xFFFF;
}

// True when a dump loaded at `load` fills the screen memory that starts at
// `start`: the same 16-bit address, in the I/O processor or with no second
// processor named.
bool loads_into_screen(uint32_t load, uint32_t start) {
    const uint32_t processor = (load >> 16) & 3;
    return (load & 0xFFFF) == start && (processor == 0 || processor == 3);
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
    const ScreenMode& screen = screen_mode_for(mode);
    picture = {mode, palette, dump, screen.screen_start, 0};
    reason[0] = '\0';
    if (!inf) return true;
    if (!parse_inf_line(inf, inf_size, picture.load, picture.exec)) {
        snprintf(reason, capacity, "%s.inf: not an INF line (NAME LOAD EXEC)", label);
        return false;
    }
    const struct {
        const char* name;
        uint32_t value;
    } addresses[] = {{"load", picture.load}, {"execution", picture.exec}};
    for (const auto& address : addresses) {
        if (catalogue_holds(address.value)) continue;
        snprintf(reason, capacity,
                 "%s.inf: %s address &%lX does not fit in a DFS catalogue, which holds 18 bits "
                 "(up to &3FFFF; &FFxxxx or &FFFFxxxx for the I/O processor)",
                 label, address.name, static_cast<unsigned long>(address.value));
        return false;
    }
    if (!loads_into_screen(picture.load, screen.screen_start))
        snprintf(reason, capacity, "%s.inf: warning: load address &%lX puts the MODE %d dump outside screen memory (&%lX-&%lX)",
                 label, static_cast<unsigned long>(picture.load), static_cast<int>(mode),
                 static_cast<unsigned long>(screen.screen_start),
                 static_cast<unsigned long>(screen.screen_start + static_cast<uint32_t>(screen_bytes(screen)) - 1));
    return true;
}

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The letters that each code point from U+00C0 to U+017F is read as in a
// disc name, two characters apiece: a Latin letter with marks is its base
// letter, a ligature or a letter of its own its usual spelling (AE, SS,
// TH), upper-cased as DFS names are; blanks for the two signs (x and
// division). Names are UTF-8 wherever they come from (Linux's file names,
// Windows' wide arguments and wildcard matches, the page's File names), so
// every system and the page name a picture alike.
constexpr char kFolded[] =
    "A A A A A A AEC E E E E I I I I "   // U+00C0
    "D N O O O O O   O U U U U Y THSS"   // U+00D0
    "A A A A A A AEC E E E E I I I I "   // U+00E0
    "D N O O O O O   O U U U U Y THY "   // U+00F0
    "A A A A A A C C C C C C C C D D "   // U+0100
    "D D E E E E E E E E E E G G G G "   // U+0110
    "G G G G H H H H I I I I I I I I "   // U+0120
    "I I IJIJJ J K K K L L L L L L L "   // U+0130
    "L L L N N N N N N N N N O O O O "   // U+0140
    "O O OEOER R R R R R S S S S S S "   // U+0150
    "S S T T T T T T U U U U U U U U "   // U+0160
    "U U U U W W Y Y Y Z Z Z Z Z Z S ";  // U+0170
constexpr uint32_t kFirstFolded = 0xC0;
static_assert(sizeof kFolded == 2 * (0x180 - kFirstFolded) + 1);

bool is_continuation(const char* p, const char* end) {
    return p < end && (static_cast<unsigned char>(*p) & 0xC0) == 0x80;
}

}  // namespace

void disc_name_for(const char* path, char (&name)[8]) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    const char* dot = strrchr(base, '.');
    const char* end = dot && dot != base ? dot : base + strlen(base);
    size_t used = 0;
    for (const char* p = base; p < end && used < 7;) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
                name[used++] = upper(static_cast<char>(c));
            ++p;
            continue;
        }
        // A whole UTF-8 sequence at a time; a byte that starts none is
        // dropped alone. Combining marks (U+0300 to U+036F, as a name
        // decomposed on macOS spells é) are dropped, leaving their letter.
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        size_t whole = 1;
        while (whole < length && is_continuation(p + whole, end)) ++whole;
        if (whole == 2 && length == 2) {
            const uint32_t point = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(p[1]) & 0x3Fu);
            if (point >= kFirstFolded && point < 0x180) {
                const char* letters = kFolded + 2 * (point - kFirstFolded);
                for (size_t k = 0; k < 2 && letters[k] != ' ' && used < 7; ++k) name[used++] = letters[k];
            }
        }
        p += whole == length ? length : 1;
    }
    name[used] = '\0';
}

namespace {

bool same_name(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (upper(*a) != upper(*b)) return false;
    return *a == *b;
}

// `stem` cut to make room for `number` (at most 99, as many as a disc
// has files), then the number: "P1", "HOLIDA2", "HOLID10".
void number_name(const char* stem, int32_t number, char (&name)[8]) {
    const size_t digits = number >= 10 ? 2 : 1;
    const size_t length = strlen(stem);
    const size_t keep = length < 7 - digits ? length : 7 - digits;
    memcpy(name, stem, keep);
    if (digits == 2) name[keep] = static_cast<char>('0' + number / 10 % 10);
    name[keep + digits - 1] = static_cast<char>('0' + number % 10);
    name[keep + digits] = '\0';
}

// Gives the `slot`th file `wanted`, or, where another file has it,
// `wanted` ending in 2, 3, ... within seven characters.
void unique_name(const char* wanted, DiscFile* files, int32_t count, int32_t slot) {
    char candidate[8];
    snprintf(candidate, sizeof candidate, "%s", wanted);
    for (int32_t n = 2;; ++n) {
        bool taken = same_name(candidate, "!BOOT");
        for (int32_t j = 1; j <= count && !taken; ++j)
            taken = j != slot && files[j].name[0] && same_name(candidate, files[j].name);
        if (!taken) break;
        number_name(wanted, n, candidate);
    }
    memcpy(files[slot].name, candidate, sizeof candidate);
}

}  // namespace

bool build_disc(int32_t tracks, const char* title, const DiscPicture* pictures, int32_t count, uint8_t* image,
                char* reason, size_t capacity) {
    DiscFile files[kMaxDiscFiles] = {};
    int32_t modes[kMaxPictures];
    // Each picture's changes to its mode's palette: "logical physical" pairs.
    char changes[kMaxPictures][17];
    const char* change_lists[kMaxPictures];
    // Dumps first, by their place ("P1" .. "P30"), so that pictures give way.
    for (int32_t i = 0; i < count; ++i)
        if (!pictures[i].name[0]) number_name("P", i + 1, files[i + 1].name);
    bool named = false;
    for (int32_t i = 0; i < count; ++i) {
        if (!pictures[i].name[0]) continue;
        named = true;
        unique_name(pictures[i].name, files, count, i + 1);
    }
    const char* names[kMaxPictures];
    for (int32_t i = 0; i < count; ++i) {
        DiscFile& file = files[i + 1];
        names[i] = file.name;
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
    const size_t boot_length = write_boot_program(modes, change_lists, named ? names : nullptr, count, boot, sizeof boot);
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
