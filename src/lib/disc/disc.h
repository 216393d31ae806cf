// A bootable disc of pictures, from dumps already in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/disc/dfs.h"
#include "lib/palette.h"

// Pictures on a disc of screens as they are, each a file beside !BOOT.
inline constexpr int32_t kMaxRawPictures = kMaxDiscFiles - 1;
// Pictures on a disc of packed screens: as many as !BOOT's list of them
// leaves room for below screen memory, in one file once the names run out.
inline constexpr int32_t kMaxPictures = 250;
// The longest a slideshow shows a picture: INKEY$ waits up to 32767
// centiseconds.
inline constexpr int32_t kMaxSlideSeconds = 327;

// A picture ready for the disc.
struct DiscPicture {
    int32_t mode;         // 0, 1, 2, 4, 5, or 7 for a teletext page
    Palette palette;
    const uint8_t* dump;  // the mode's screen size, or a page's 1000 bytes
    uint32_t load;
    uint32_t exec;
    char name[8] = "";    // from disc_name_for; "" for a dump, named by its place
    NulaPalette nula{};   // a VideoNuLA's colours, set by a packed disc's !BOOT
};

// The name on the disc for a picture whose file is `path` (UTF-8): its name
// without folders and last extension, upper-cased, keeping letters, digits,
// '-' and '_', Latin letters with marks read as their base letters (é E,
// ß SS), cut to seven characters. "" when nothing is left.
void disc_name_for(const char* path, char (&name)[8]);

// Each check returns false with a one-line `reason` (no program name, no
// line feed) when the disc cannot be made.

bool check_title(const char* title, char* reason, size_t capacity);

// The dump of `mode` (its screen size), shown with `palette`, with the load
// and execution addresses from the first line of its INF sidecar's text,
// or the mode's screen start and 0 when `inf` is null. `label` names the
// dump in the reason; the sidecar is named after it with ".inf" appended.
// Refuses a text that is no INF line and an address the catalogue cannot
// hold. On success `reason` is empty, or holds a warning for the user: the
// load address does not put the dump in the mode's screen memory.
bool prepare_picture(const char* label, int32_t mode, const Palette& palette, const uint8_t* dump, const char* inf,
                     size_t inf_size, DiscPicture& picture, char* reason, size_t capacity);

// What a disc holds: its pictures, the sectors they and the catalogue
// take of the disc's, and how many more pictures of their average size
// would still fit.
struct DiscSummary {
    int32_t pictures;
    int32_t sectors;
    int32_t total;
    int32_t more;
};

// Whether screens of `modes` (`count`), stored as they are, fit on a disc
// of `tracks` tracks beside a !BOOT of `boot_sectors`, the catalogue's two
// sectors counted too. `summary` tells how many of the first fit and the
// sectors they all need; when not all fit, false with the one-line reason.
bool raw_screens_fit(const int32_t* modes, int32_t count, int32_t boot_sectors, int32_t tracks, DiscSummary& summary,
                     char* reason, size_t capacity);

// Lays out the whole disc, !BOOT first, then the pictures in `image`:
// dumps as $.P1, $.P2, ... by their place, pictures by their names, each
// made unique (regardless of case, as DFS finds files) by ending it with
// 2, 3, ... in place of its last characters; !BOOT shows them in order.
// Screens `packed` (compress.h) come after the unpacker, $.!UNPACK, in
// files so named, or all in $.!PICS when the catalogue has too few names
// or the disc too few sectors for a file each; unpacked, they are stored
// as they are, and a disc of dumps alone is as it always was. Into `image`
// (tracks * 2560 bytes a side, at most kMaxDiscBytes a side). The title has been checked
// and there are at most kMaxPictures pictures packed, kMaxRawPictures not.
// False when they do not fit on `tracks` tracks (40 or 80); then
// `summary.pictures` tells how many of the first fit.
// How the disc is made: `tracks` (40 or 80) a side; `sides` 2 for a
// double-sided image (packed only), side 1 going on where side 0 is full;
// with `seconds` (packed only, 1 to kMaxSlideSeconds) !BOOT shows each
// picture that long or until a key, and starts again after the last.
struct DiscSettings {
    int32_t tracks = 80;
    int32_t sides = 1;
    bool packed = true;
    int32_t seconds = 0;
};

bool build_disc(const DiscSettings& settings, const char* title, const DiscPicture* pictures, int32_t count,
                uint8_t* image, DiscSummary& summary, char* reason, size_t capacity);
