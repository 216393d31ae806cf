// A bootable disc of pictures, from dumps already in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/disc/dfs.h"
#include "lib/palette.h"

inline constexpr int32_t kMaxPictures = kMaxDiscFiles - 1;  // beside !BOOT

// A picture ready for the disc.
struct DiscPicture {
    int32_t mode;
    Palette palette;
    const uint8_t* dump;  // the mode's screen size
    uint32_t load;
    uint32_t exec;
    char name[8] = "";    // from disc_name_for; "" for a dump, named by its place
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

// Lays out the whole disc, !BOOT first, then the pictures in `image`:
// dumps as $.P1, $.P2, ... by their place, pictures by their names, each
// made unique (regardless of case, as DFS finds files) by ending it with
// 2, 3, ... in place of its last characters; !BOOT shows them in order.
// A disc of dumps alone is as it always was. Into `image` (tracks * 2560 bytes, at most kMaxDiscBytes). The title
// has been checked and there are at most kMaxPictures pictures. False when
// they do not fit on `tracks` tracks (40 or 80).
bool build_disc(int32_t tracks, const char* title, const DiscPicture* pictures, int32_t count, uint8_t* image,
                char* reason, size_t capacity);
