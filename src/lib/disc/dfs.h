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
};

// Sectors the files need, catalogue included, each file starting on a
// sector of its own.
int32_t sectors_needed(const DiscFile* files, int32_t count);

// Writes the whole image of a disc with `tracks` tracks (40 or 80) into
// `image` (tracks * 2560 bytes): the catalogue with `title` (at most 12
// characters), boot option `boot_option`, and the files one after another
// from sector 2 in the order given. The caller has checked that at most
// kMaxDiscFiles files and sectors_needed sectors fit.
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
    const char* name;     // its file, unless they are all in one
    int32_t mode;
    const char* palette;  // the physical colour of each logical colour, as digits
    uint32_t length;      // its packed bytes
    int32_t drive;        // on a double-sided disc: 0 or 2, the side
    int32_t sector;       // on a double-sided disc: its first on that side
};

// The !BOOT text of a disc of packed pictures: it loads the unpacker
// (file `unpacker`, at `unpack_address`) once, then for each picture
// changes mode, turns every logical colour black, loads the packed bytes
// to end at the top of screen memory, unpacks them there, sets the palette
// with VDU 19 and waits for a key; the last picture stays until ESCAPE.
// Each picture is its own file, or with `pack_sector` >= 0 they follow one
// another from that sector, each padded in front to end a sector. With
// `seconds` > 0 each picture stays that long or until a key, and after the
// last the first comes again. With `both_sides` each is read from its
// own drive and sector. Returns its length, 0 when it does not fit in
// `capacity`.
size_t write_packed_boot_program(const PackedPicture* pictures, int32_t count, const char* unpacker,
                                 uint32_t unpack_address, int32_t pack_sector, int32_t seconds, bool both_sides,
                                 char* text, size_t capacity);

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
