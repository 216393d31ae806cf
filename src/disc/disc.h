// A bootable disc of pictures: the checks and the layout that tarnvil-disc
// and the web page share, working on bytes already in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/dfs.h"

inline constexpr int32_t kMaxPictures = kMaxDiscFiles - 1;  // beside !BOOT

// A picture ready for the disc.
struct DiscPicture {
    int32_t mode;
    const uint8_t* dump;  // the mode's screen size
    uint32_t load;
    uint32_t exec;
};

// The command line's own complaints, for every front end to give alike.
inline constexpr char kTracksMessage[] = "--tracks must be 40 or 80";
inline constexpr char kModeMessage[] = "the mode must be 0, 1, 2, 4 or 5";

// "40" or "80".
bool parse_tracks(const char* text, int32_t& tracks);

// Each check returns false with a one-line `reason` (no program name, no
// line feed) when the disc cannot be made.

bool check_title(const char* title, char* reason, size_t capacity);

bool check_picture_count(int32_t count, char* reason, size_t capacity);

// Checks the dump (`dump_size` bytes) against `mode` and takes the load and
// execution addresses from the INF sidecar's text, or the mode's screen
// start and 0 when `inf` is null. `label` names the dump in the reason;
// the sidecar is named after it with ".inf" appended.
bool prepare_picture(const char* label, int32_t mode, const uint8_t* dump, int64_t dump_size, const char* inf,
                     size_t inf_size, DiscPicture& picture, char* reason, size_t capacity);

// Lays out the whole disc, !BOOT first, then the pictures as $.P1, $.P2,
// ... in `image` (tracks * 2560 bytes, at most kMaxDiscBytes). False when
// they do not fit on `tracks` tracks (40 or 80).
bool build_disc(int32_t tracks, const char* title, const DiscPicture* pictures, int32_t count, uint8_t* image,
                char* reason, size_t capacity);
