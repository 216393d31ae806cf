// Acorn DFS single-sided disc images (.ssd): 256-byte sectors, 10 per
// track, a two-sector catalogue at the start.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int32_t kSectorBytes = 256;
inline constexpr int32_t kSectorsPerTrack = 10;
inline constexpr int32_t kMaxDiscFiles = 31;
inline constexpr int32_t kMaxTitleLength = 12;
inline constexpr int32_t kMaxDiscBytes = 80 * kSectorsPerTrack * kSectorBytes;

struct DiscFile {
    char name[8];  // up to 7 characters, in directory $
    uint32_t load;
    uint32_t exec;
    const uint8_t* data;
    uint32_t length;
    int32_t skip;  // sectors left empty before it
};

// Sectors the files need, catalogue included, each file starting on a
// sector of its own after those it skips.
int32_t sectors_needed(const DiscFile* files, int32_t count);

// Writes the whole image of a disc with `tracks` tracks (40 or 80) into
// `image` (tracks * 2560 bytes): the catalogue with `title` (at most 12
// characters), boot option `boot_option`, and the files one after another
// from sector 2 in the order given, each after the sectors it skips. The
// caller has checked that at most kMaxDiscFiles files and sectors_needed
// sectors fit.
void write_ssd(int32_t tracks, const char* title, int32_t boot_option, const DiscFile* files, int32_t count,
               uint8_t* image);

// The !BOOT text that shows pictures $.P1 .. $.Pn in the given modes,
// each until a key is pressed, the last one for ever. `changes` holds, for
// each picture, the VDU 19 changes to its mode's palette as pairs of
// digits, logical colour then physical ("" for none); with none at all the
// program is the plain one. With `names`, the pictures are those files,
// read from DATA with their changes. Returns its length, 0 when it does
// not fit in `capacity`.
size_t write_boot_program(const int32_t* modes, const char* const* changes, const char* const* names, int32_t count,
                          char* text, size_t capacity);

// One picture as the !BOOT of a packed disc reads it.
struct PackedPicture {
    int32_t mode;
    const char* palette;  // the physical colour of each logical colour, as digits
    const char* nula;     // the bytes for the VideoNuLA's palette, as hex; "" for none
    int32_t sectors;      // its packed file's, whole
    int32_t drive;        // on a double-sided disc: 0 or 2, the side
    int32_t sector;       // its first, on its side
};

// How the !BOOT of a packed disc runs the 6502 routine that shows each
// picture (unpack.s): the routine's file and the address it starts at;
// with `seconds` > 0 each picture stays that long or until a key, and
// after the last the first comes again; with `both_sides` each picture's
// drive is its own.
struct PackedBoot {
    const char* unpacker;
    uint32_t entry;
    int32_t seconds;
    bool both_sides;
};

// The !BOOT text of a disc of packed pictures: it loads the routine once,
// then for each picture changes MODE where the mode is new, and CALLs the
// routine with the picture's sectors and drive in N% and E%, its first
// sector and track in A% and X% and the screen's first page in Y%; the
// routine turns every colour black, reads the sectors into the pages that
// end at the top of screen memory and unpacks them there; then !BOOT sets
// the picture's colours with VDU 19. Each picture waits for a key; the
// last stays until ESCAPE. Returns the text's length, 0 when it does not
// fit in `capacity`.
size_t write_packed_boot_program(const PackedPicture* pictures, int32_t count, const PackedBoot& boot, char* text,
                                 size_t capacity);

// MMB images, as SD-card filing systems read them: an index of 512
// 16-byte entries, then 200 KiB slots, each an 80-track single-sided disc.
inline constexpr size_t kMmbIndexBytes = 8192;
inline constexpr size_t kMmbSlotBytes = static_cast<size_t>(kMaxDiscBytes);
inline constexpr int32_t kMaxMmbDiscs = 511;

// The index of an MMB image of `discs` slots at `mmb`, every slot empty:
// the first entry chooses discs 0-3 for drives 0-3; each other entry is a
// slot's title (12 bytes) and status, 0xF0 while unformatted.
void start_mmb(uint8_t* mmb, int32_t discs);

// Puts `disc` (`size` bytes, at most a slot; the rest left zero) into slot
// `slot`, titled `title` in the index and marked as a disc to read and
// write (0x0F).
void put_mmb_slot(uint8_t* mmb, int32_t slot, const char* title, const uint8_t* disc, size_t size);
