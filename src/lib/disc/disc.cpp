#include "lib/disc/disc.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "lib/disc/compress.h"
#include "lib/disc/unpack.h"
#include "lib/modes.h"
#include "platform/platform.h"
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
    const uint32_t start = dump_start(mode);
    picture = {mode, palette, dump, start, 0};
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
    if (!loads_into_screen(picture.load, start))
        snprintf(reason, capacity, "%s.inf: warning: load address &%lX puts the MODE %d dump outside screen memory (&%lX-&%lX)",
                 label, static_cast<unsigned long>(picture.load), static_cast<int>(mode), static_cast<unsigned long>(start),
                 static_cast<unsigned long>(start + static_cast<uint32_t>(dump_bytes(mode)) - 1));
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
    const char* base = platform::file_name_of(path);
    const char* end = platform::extension_of(path);
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


// Names the pictures' files, files[1] to files[count]: dumps first, by
// their place ("P1" .. "P30"), so that pictures give way. True when any
// picture has a name of its own.
bool name_files(const DiscPicture* pictures, int32_t count, DiscFile* files) {
    for (int32_t i = 0; i < count; ++i)
        if (!pictures[i].name[0]) number_name("P", i + 1, files[i + 1].name);
    bool named = false;
    for (int32_t i = 0; i < count; ++i) {
        if (!pictures[i].name[0]) continue;
        named = true;
        unique_name(pictures[i].name, files, count, i + 1);
    }
    return named;
}

void say_too_big(int32_t needed, int32_t tracks, char* reason, size_t capacity) {
    snprintf(reason, capacity, "the pictures need %d sectors, but %s %d-track disc has %d; nothing written",
             static_cast<int>(needed), tracks == 80 ? "an" : "a", static_cast<int>(tracks),
             static_cast<int>(tracks * kSectorsPerTrack));
}

int32_t sectors_of(uint32_t bytes) { return static_cast<int32_t>((bytes + kSectorBytes - 1) / kSectorBytes); }

}  // namespace

bool raw_screens_fit(const int32_t* modes, int32_t count, int32_t boot_sectors, int32_t tracks, DiscSummary& summary,
                     char* reason, size_t capacity) {
    const int32_t total = tracks * kSectorsPerTrack;
    int32_t needed = 2 + boot_sectors;
    int32_t fitting = 0;
    for (int32_t i = 0; i < count; ++i) {
        needed += sectors_of(static_cast<uint32_t>(dump_bytes(modes[i])));
        if (needed <= total) fitting = i + 1;
    }
    summary = {fitting, needed, total, 0};
    if (needed <= total) return true;
    say_too_big(needed, tracks, reason, capacity);
    return false;
}

namespace {

bool build_raw_disc(int32_t tracks, const char* title, const DiscPicture* pictures, int32_t count, uint8_t* image,
                    DiscSummary& summary, char* reason, size_t capacity) {
    DiscFile files[kMaxDiscFiles] = {};
    int32_t modes[kMaxRawPictures];
    // Each picture's changes to its mode's palette: "logical physical" pairs.
    char changes[kMaxRawPictures][17];
    const char* change_lists[kMaxRawPictures];
    const bool named = name_files(pictures, count, files);
    const char* names[kMaxRawPictures];
    for (int32_t i = 0; i < count; ++i) {
        DiscFile& file = files[i + 1];
        names[i] = file.name;
        file.load = pictures[i].load;
        file.exec = pictures[i].exec;
        file.data = pictures[i].dump;
        file.length = static_cast<uint32_t>(dump_bytes(pictures[i].mode));
        modes[i] = pictures[i].mode;
        const Palette standard = default_palette(pictures[i].mode);
        char* pair = changes[i];
        // A teletext page has no palette to change.
        for (int32_t logical = 0; logical < standard.colours && pictures[i].mode != kTeletextMode; ++logical) {
            if (pictures[i].palette.physical[logical] == standard.physical[logical]) continue;
            *pair++ = static_cast<char>('0' + logical);
            *pair++ = static_cast<char>('0' + pictures[i].palette.physical[logical]);
        }
        *pair = '\0';
        change_lists[i] = changes[i];
    }
    char boot[2048];
    const size_t boot_length = write_boot_program(modes, change_lists, named ? names : nullptr, count, boot, sizeof boot);
    files[0] = {"!BOOT", 0, 0, reinterpret_cast<const uint8_t*>(boot), static_cast<uint32_t>(boot_length), 0};

    // The first pictures that fit, if not all, with !BOOT as long as for
    // them all.
    if (!raw_screens_fit(modes, count, sectors_of(static_cast<uint32_t>(boot_length)), tracks, summary, reason, capacity))
        return false;
    const int32_t total = summary.total;
    const int32_t needed = summary.sectors;
    write_ssd(tracks, title, 3, files, count + 1, image);
    const int32_t each = count > 0 ? (needed - sectors_needed(files, 1)) / count : 0;
    const int32_t by_sectors = each > 0 ? (total - needed) / each : 0;
    summary = {count, needed, total, by_sectors < kMaxRawPictures - count ? by_sectors : kMaxRawPictures - count};
    return true;
}

// The files of a packed disc beside the pictures': !BOOT and the unpacker.
constexpr int32_t kPackedOwnFiles = 2;
// The file of all the pictures, when they are more than the catalogue has
// names for. The "!" keeps it and the unpacker apart from any picture's
// name.
const char kPackName[] = "!PICS";
const char kUnpackerName[] = "!UNPACK";
// A DATA item of !BOOT's, at most, with its comma.
constexpr uint32_t kBootItem = 20;

// The first sector for a packed picture of `sectors` at or after sector
// `free`. The machine reads a picture track by track, each from the
// sector the head is expected at, and the first from the sector after the
// one it finds passing (unpack.s): a track costs nearly a turn of the disc
// however few of its sectors are the picture's, a first track cut short a
// little less. So a picture of a track or more ends at a track's end,
// spanning no more tracks than it must and with its last one read whole,
// where that leaves no more than kMostGap sectors empty before it; a
// picture of whole tracks, as a screen stored as it is, takes them whole.
// Else it follows the one before, or starts the next track where that
// spares it a track and leaves no more than kMostGap sectors empty. A
// picture smaller than a track follows the one before: keeping it within a
// track would leave up to a fifth of the side empty to save under a tenth
// of a second a picture.
constexpr int32_t kMostGap = 4;

int32_t place_picture(int32_t free, int32_t sectors) {
    if (sectors < kSectorsPerTrack) return free;
    const int32_t to_end = (kSectorsPerTrack - (free + sectors) % kSectorsPerTrack) % kSectorsPerTrack;
    if (to_end <= kMostGap || sectors % kSectorsPerTrack == 0) return free + to_end;
    const int32_t within = free % kSectorsPerTrack;
    const bool spans_more = (within + sectors + kSectorsPerTrack - 1) / kSectorsPerTrack >
                            (sectors + kSectorsPerTrack - 1) / kSectorsPerTrack;
    return spans_more && kSectorsPerTrack - within <= kMostGap ? free + kSectorsPerTrack - within : free;
}

// A teletext page's share of screen memory, &7C00 to &7FFF.
constexpr int32_t kTeletextScreenBytes = static_cast<int32_t>(0x8000 - kTeletextStart);

// The bytes a screen of `mode` is packed from.
int32_t packed_screen_bytes(int32_t mode) {
    return mode == kTeletextMode ? kTeletextScreenBytes : screen_bytes(screen_mode_for(mode));
}

// The bytes !BOOT writes to the VideoNuLA's palette register, &FE23, for
// a picture in its colours, as hex: for each logical colour, the physical
// colour VDU 19 gives it and red, then green and blue, a hex digit each.
// The NuLA gives each physical colour its own. Empty without a NuLA.
constexpr size_t kNulaItem = 16 * 4 + 1;
void nula_item(const DiscPicture& picture, char (&item)[kNulaItem]) {
    item[0] = '\0';
    for (int32_t logical = 0; logical < picture.nula.colours && logical < 16; ++logical) {
        const uint16_t rgb = picture.nula.rgb[logical];
        const int32_t physical = logical < picture.palette.colours ? picture.palette.physical[logical] : logical;
        snprintf(item + 4 * logical, 5, "%X%X%02X", static_cast<unsigned>(physical & 15), static_cast<unsigned>(rgb >> 8 & 15),
                 static_cast<unsigned>(rgb & 0xFF));
    }
}

// See build_packed_disc.
constexpr struct {
    int32_t numerator, denominator;
} kMostPacked = {3, 4};

// Places the pictures of `entries` from the first free sector of a side
// on (after !BOOT of `boot_sectors` and the unpacker on side 0), going on
// to side 1 once side 0 is full when `both_sides`, into their drive and
// sector. Returns the sector after the last picture on the last side used.
int32_t place_pictures(PackedPicture* entries, int32_t count, int32_t boot_sectors, int32_t total, bool both_sides) {
    int32_t free = 2 + boot_sectors + sectors_of(static_cast<uint32_t>(kUnpackCodeSize));
    int32_t drive = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t sector = place_picture(free, entries[i].sectors);
        if (both_sides && drive == 0 && sector + entries[i].sectors > total) {
            drive = 2;
            sector = place_picture(2, entries[i].sectors);
        }
        entries[i].drive = drive;
        entries[i].sector = sector;
        free = sector + entries[i].sectors;
    }
    return free;
}

// Places the pictures and writes !BOOT, which tells their sectors, until
// the two agree; !BOOT only grows, so this ends. Returns its length, 0
// when it does not fit in `room`, with `end` the sector after the last
// picture.
size_t lay_out(PackedPicture* entries, int32_t count, int32_t seconds, bool both_sides, int32_t total, char* boot,
               size_t room, int32_t& end) {
    const PackedBoot settings = {kUnpackerName, kUnpackAddress, seconds, both_sides};
    for (int32_t boot_sectors = 1;; ++boot_sectors) {
        end = place_pictures(entries, count, boot_sectors, total, both_sides);
        const size_t length = write_packed_boot_program(entries, count, settings, boot, room);
        if (length == 0 || sectors_of(static_cast<uint32_t>(length)) <= boot_sectors) return length;
    }
}

// Copies the pictures of `entries` from `from` to `to`, with their `data`,
// into `out`, a side's sectors from `first` on, each at its own sector;
// the sectors between them stay empty.
void copy_pictures(const PackedPicture* entries, const uint8_t* const* data, int32_t from, int32_t to, int32_t first,
                   uint8_t* out) {
    for (int32_t i = from; i < to; ++i)
        memcpy(out + static_cast<size_t>(entries[i].sector - first) * kSectorBytes, data[i],
               static_cast<size_t>(entries[i].sectors) * kSectorBytes);
}

// The pictures' sectors and how many they are, whose average the more
// pictures that would fit are taken to have.
struct Average {
    int32_t sectors;
    int32_t pictures;
};

// More pictures of `each` average that fit after sector `end` of a side
// of `total`, each lengthening !BOOT (`boot` bytes now) by a DATA item;
// with `room` for at most that many. Their sectors are shared out whole so
// that they keep the average: rounding each up would count a picture of
// 4.2 sectors as 5.
int32_t more_pictures(int32_t end, Average each, uint32_t boot, int32_t total, int32_t room) {
    int32_t more = 0;
    for (int32_t free = end; each.pictures > 0 && more < room; ++more) {
        const int32_t sectors = (more + 1) * each.sectors / each.pictures - more * each.sectors / each.pictures;
        const int32_t grown = sectors_of(boot + kBootItem * static_cast<uint32_t>(more + 1)) - sectors_of(boot);
        const int32_t sector = place_picture(free, sectors);
        if (sector + sectors + grown > total) break;
        free = sector + sectors;
    }
    return more;
}

// Both sides of a disc of packed pictures, placed on them in `entries`:
// side 0 holds !BOOT, the unpacker and the first pictures in its $.!PICS,
// side 1 the rest in its own, and !BOOT reads each picture's sectors from
// drive 0 or 2, as DFS calls the sides. The image interleaves their
// tracks: side 0 track 0, side 1 track 0, ...
bool build_both_sides(int32_t tracks, const char* title, const PackedPicture* entries, const uint8_t* const* data,
                      int32_t count, const char* boot, size_t boot_length, int32_t end, Average each, uint8_t* image,
                      DiscSummary& summary, char* reason, size_t capacity) {
    const int32_t total = tracks * kSectorsPerTrack;
    int32_t behind = 0;  // the first picture on side 1
    while (behind < count && entries[behind].drive == 0) ++behind;
    const int32_t ends[2] = {behind > 0 ? entries[behind - 1].sector + entries[behind - 1].sectors
                                        : 2 + sectors_of(static_cast<uint32_t>(boot_length)) + sectors_of(kUnpackCodeSize),
                             behind < count ? end : 2};
    if (ends[1] > total) {
        snprintf(reason, capacity, "the pictures need %d sectors, but a double-sided %d-track disc has %d; nothing written",
                 static_cast<int>(ends[0] + ends[1]), static_cast<int>(tracks), static_cast<int>(2 * total));
        int32_t fitting = 0;
        while (fitting < count && (entries[fitting].drive == 0 || entries[fitting].sector + entries[fitting].sectors <= total))
            ++fitting;
        summary = {fitting, ends[0] + ends[1], 2 * total, 0};
        return false;
    }
    const size_t side_bytes = static_cast<size_t>(total) * kSectorBytes;
    const std::unique_ptr<uint8_t[]> sides(new (std::nothrow) uint8_t[3 * side_bytes]);
    if (!sides) {
        snprintf(reason, capacity, "out of memory");
        return false;
    }
    // Each side's pictures, from its first on, in the third part.
    uint8_t* pictures = sides.get() + 2 * side_bytes;
    const int32_t firsts[2] = {behind > 0 ? entries[0].sector : ends[0], behind < count ? entries[behind].sector : 2};
    memset(pictures, 0, side_bytes);
    copy_pictures(entries, data, 0, behind, firsts[0], pictures);
    DiscFile files[3] = {{"!BOOT", 0, 0, reinterpret_cast<const uint8_t*>(boot), static_cast<uint32_t>(boot_length), 0},
                         {"", kUnpackAddress, kUnpackAddress, kUnpackCode, static_cast<uint32_t>(kUnpackCodeSize), 0},
                         {"", 0, 0, pictures, static_cast<uint32_t>(ends[0] - firsts[0]) * kSectorBytes,
                          firsts[0] - 2 - sectors_of(static_cast<uint32_t>(boot_length)) - sectors_of(kUnpackCodeSize)}};
    memcpy(files[1].name, kUnpackerName, sizeof kUnpackerName);
    memcpy(files[2].name, kPackName, sizeof kPackName);
    write_ssd(tracks, title, 3, files, behind > 0 ? 3 : 2, sides.get());
    memset(pictures, 0, side_bytes);
    copy_pictures(entries, data, behind, count, firsts[1], pictures);
    DiscFile back = {"", 0, 0, pictures, static_cast<uint32_t>(ends[1] - firsts[1]) * kSectorBytes, firsts[1] - 2};
    memcpy(back.name, kPackName, sizeof kPackName);
    write_ssd(tracks, title, 3, &back, behind < count ? 1 : 0, sides.get() + side_bytes);
    const size_t track_bytes = static_cast<size_t>(kSectorsPerTrack) * kSectorBytes;
    for (int32_t track = 0; track < tracks; ++track)
        for (int32_t side = 0; side < 2; ++side)
            memcpy(image + (static_cast<size_t>(track) * 2 + static_cast<size_t>(side)) * track_bytes,
                   sides.get() + static_cast<size_t>(side) * side_bytes + static_cast<size_t>(track) * track_bytes,
                   track_bytes);
    // More pictures of their average size in what both sides have left.
    int32_t more = more_pictures(ends[0], each, static_cast<uint32_t>(boot_length), total, kMaxPictures - count);
    more += more_pictures(ends[1], each, static_cast<uint32_t>(boot_length), total, kMaxPictures - count - more);
    summary = {count, ends[0] + ends[1], 2 * total, more};
    return true;
}

bool build_packed_disc(int32_t tracks, int32_t sides, const char* title, const DiscPicture* pictures, int32_t count,
                       int32_t seconds, uint8_t* image, DiscSummary& summary, char* reason, size_t capacity) {
    // Every picture packed into whole sectors, one after another.
    const size_t slots = count > 0 ? static_cast<size_t>(count) : 1;
    size_t room = 0;
    for (int32_t i = 0; i < count; ++i) room += static_cast<size_t>(packed_screen_bytes(pictures[i].mode));
    const std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[room > 0 ? room : 1]);
    const std::unique_ptr<const uint8_t*[]> data(new (std::nothrow) const uint8_t*[slots]);
    const std::unique_ptr<PackedPicture[]> entries(new (std::nothrow) PackedPicture[slots]);
    const std::unique_ptr<char[][9]> palettes(new (std::nothrow) char[slots][9]);
    const std::unique_ptr<char[][kNulaItem]> nulas(new (std::nothrow) char[slots][kNulaItem]);
    constexpr size_t kBootRoom = 16384;
    const std::unique_ptr<char[]> boot(new (std::nothrow) char[kBootRoom]);
    if (!packed || !data || !entries || !palettes || !nulas || !boot) {
        snprintf(reason, capacity, "out of memory");
        return false;
    }
    size_t at = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t size = packed_screen_bytes(pictures[i].mode);
        // A teletext page is packed as the whole of MODE 7's screen memory,
        // so that it unpacks as the other screens do, up to &7FFF; the 24
        // bytes after the page are never shown.
        uint8_t page[kTeletextScreenBytes] = {};
        const uint8_t* screen = pictures[i].dump;
        if (pictures[i].mode == kTeletextMode) {
            memcpy(page, pictures[i].dump, static_cast<size_t>(dump_bytes(kTeletextMode)));
            screen = page;
        }
        data[i] = packed.get() + at;
        int32_t length = pack_screen(screen, size, packed.get() + at);
        if (length < 0) {
            snprintf(reason, capacity, "out of memory");
            return false;
        }
        // A screen that packs to more than kMostPacked of itself is shown
        // sooner read whole, in whole tracks, than read packed and
        // unpacked, and takes little more room so.
        if (length * kMostPacked.denominator > size * kMostPacked.numerator) {
            memcpy(packed.get() + at, screen, static_cast<size_t>(size));
            length = size;
        }
        at += static_cast<size_t>(length);
        // A teletext page has no palette.
        const Palette& palette = pictures[i].palette;
        const int32_t colours = pictures[i].mode == kTeletextMode ? 0 : palette.colours;
        for (int32_t logical = 0; logical < colours; ++logical)
            palettes[i][logical] = static_cast<char>('0' + palette.physical[logical]);
        palettes[i][colours] = '\0';
        nula_item(pictures[i], nulas[i]);
        entries[i] = {pictures[i].mode, palettes[i], nulas[i], length / kSectorBytes, 0, 0};
    }
    // The pictures' average, for the more that would fit.
    const Average each = {static_cast<int32_t>(at / kSectorBytes), count};

    const int32_t total = tracks * kSectorsPerTrack;
    int32_t end = 0;
    const size_t boot_length = lay_out(entries.get(), count, seconds, sides == 2, total, boot.get(), kBootRoom, end);
    if (boot_length == 0) {
        snprintf(reason, capacity, "the boot program for %d pictures does not fit in memory", static_cast<int>(count));
        return false;
    }
    if (sides == 2)
        return build_both_sides(tracks, title, entries.get(), data.get(), count, boot.get(), boot_length, end, each,
                                image, summary, reason, capacity);
    if (end > total) {
        say_too_big(end, tracks, reason, capacity);
        // The first pictures that fit, with !BOOT as long as for them all.
        int32_t fitting = 0;
        while (fitting < count && entries[fitting].sector + entries[fitting].sectors <= total) ++fitting;
        summary = {fitting, end, total, 0};
        return false;
    }

    // A file for each picture, named as on a raw disc, while the catalogue
    // has the names; else all in one file, after !BOOT and the unpacker.
    DiscFile layout[kMaxDiscFiles] = {};
    int32_t file_count = 0;
    const int32_t own_end = 2 + sectors_of(static_cast<uint32_t>(boot_length)) + sectors_of(kUnpackCodeSize);
    layout[file_count++] = {"!BOOT", 0, 0, reinterpret_cast<const uint8_t*>(boot.get()), static_cast<uint32_t>(boot_length), 0};
    layout[file_count] = {"", kUnpackAddress, kUnpackAddress, kUnpackCode, static_cast<uint32_t>(kUnpackCodeSize), 0};
    memcpy(layout[file_count++].name, kUnpackerName, sizeof kUnpackerName);
    std::unique_ptr<uint8_t[]> together;
    if (count > kMaxDiscFiles - kPackedOwnFiles) {
        const int32_t first = entries[0].sector;
        const size_t bytes = static_cast<size_t>(end - first) * kSectorBytes;
        together.reset(new (std::nothrow) uint8_t[bytes]);
        if (!together) {
            snprintf(reason, capacity, "out of memory");
            return false;
        }
        memset(together.get(), 0, bytes);
        copy_pictures(entries.get(), data.get(), 0, count, first, together.get());
        layout[file_count] = {"", 0, 0, together.get(), static_cast<uint32_t>(bytes), first - own_end};
        memcpy(layout[file_count++].name, kPackName, sizeof kPackName);
    } else {
        DiscFile files[kMaxDiscFiles] = {};
        name_files(pictures, count, files);
        int32_t free = own_end;
        for (int32_t i = 0; i < count; ++i) {
            const uint32_t length = static_cast<uint32_t>(entries[i].sectors) * kSectorBytes;
            layout[file_count] = {"", 0x8000 - length, 0, data[i], length, entries[i].sector - free};
            memcpy(layout[file_count++].name, files[i + 1].name, sizeof files[i + 1].name);
            free = entries[i].sector + entries[i].sectors;
        }
    }
    write_ssd(tracks, title, 3, layout, file_count, image);
    summary = {count, end, total, more_pictures(end, each, static_cast<uint32_t>(boot_length), total, kMaxPictures - count)};
    return true;
}

}  // namespace

bool build_disc(const DiscSettings& settings, const char* title, const DiscPicture* pictures, int32_t count,
                uint8_t* image, DiscSummary& summary, char* reason, size_t capacity) {
    return settings.packed ? build_packed_disc(settings.tracks, settings.sides, title, pictures, count, settings.seconds,
                                               image, summary, reason, capacity)
                           : build_raw_disc(settings.tracks, title, pictures, count, image, summary, reason, capacity);
}
