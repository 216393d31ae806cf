// What the converter knows about the machine's graphics modes: geometry,
// byte layout, fixed palettes and how an on/off colour triple is matched.
#pragma once

#include <cstdint>

// One palette colour: each channel fully on (1) or off (0).
struct PaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// How the colour numbers of a byte's pixels are laid out in the byte.
enum class Packing : uint8_t {
    kOneBitPerPixel,    // 8 pixels: bit 7 - k is pixel k
    kTwoBitsPerPixel,   // 4 pixels: high bits in bits 7..4, low bits in 3..0
    kThreeBitsPerPixel  // 2 pixels, interleaved in bits 5..0
};

struct ScreenMode {
    int32_t mode;
    int32_t bytes_per_row;    // also the character cells across
    int32_t pixels_per_byte;
    int32_t colours;
    uint32_t screen_start;    // where the mode's screen memory begins
    Packing packing;
    const PaletteEntry* palette;  // `colours` entries, index = colour number
};

inline constexpr PaletteEntry kTwoColourPalette[] = {{0, 0, 0}, {1, 1, 1}};
inline constexpr PaletteEntry kFourColourPalette[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
inline constexpr PaletteEntry kEightColourPalette[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                                       {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};

inline constexpr ScreenMode kScreenModes[] = {
    {0, 80, 8, 2, 0x3000, Packing::kOneBitPerPixel, kTwoColourPalette},
    {1, 80, 4, 4, 0x3000, Packing::kTwoBitsPerPixel, kFourColourPalette},
    {2, 80, 2, 8, 0x3000, Packing::kThreeBitsPerPixel, kEightColourPalette},
    {4, 40, 8, 2, 0x5800, Packing::kOneBitPerPixel, kTwoColourPalette},
    {5, 40, 4, 4, 0x5800, Packing::kTwoBitsPerPixel, kFourColourPalette},
};

// Every mode has 32 character rows of 8 scan lines.
inline constexpr int32_t kScreenLines = 256;
// The largest dump, that of the 80-byte modes.
inline constexpr int32_t kMaxScreenBytes = kScreenLines * 80;

// Checked when compiling: every dump ends at 0x8000, a byte holds as many
// pixels as fit (mode 2 uses six bits), and 8-colour entry i is red = bit 0,
// green = bit 1, blue = bit 2.
constexpr bool mode_table_is_consistent() {
    for (const ScreenMode& row : kScreenModes) {
        if (row.screen_start + static_cast<uint32_t>(kScreenLines * row.bytes_per_row) != 0x8000) return false;
        if (kScreenLines * row.bytes_per_row > kMaxScreenBytes) return false;
        const int32_t bits = row.colours == 2 ? 1 : row.colours == 4 ? 2 : 3;
        if (row.pixels_per_byte != 8 / bits) return false;
    }
    for (int i = 0; i < 8; ++i) {
        const PaletteEntry& e = kEightColourPalette[i];
        if (e.red != (i & 1) || e.green != ((i >> 1) & 1) || e.blue != ((i >> 2) & 1)) return false;
    }
    return true;
}
static_assert(mode_table_is_consistent());

// True for the modes the table has a row for: 0, 1, 2, 4 and 5.
constexpr bool is_screen_mode(int32_t mode) {
    for (const ScreenMode& row : kScreenModes)
        if (row.mode == mode) return true;
    return false;
}

// The row for mode 0, 1, 2, 4 or 5; any other number is a caller's bug and
// gets mode 2, the default.
constexpr const ScreenMode& screen_mode_for(int32_t mode) {
    for (const ScreenMode& row : kScreenModes)
        if (row.mode == mode) return row;
    return kScreenModes[2];
}

// Bytes of screen memory the mode occupies (its dump size).
constexpr int32_t screen_bytes(const ScreenMode& mode) { return kScreenLines * mode.bytes_per_row; }

// Where the byte of character cell `cell` (0 to bytes_per_row - 1) on scan
// line `line` lies in a dump: rows of 8 scan lines, each row's cells in
// turn, each cell's 8 bytes one per line.
constexpr int32_t screen_byte_offset(const ScreenMode& mode, int32_t cell, int32_t line) {
    return (line / 8) * 8 * mode.bytes_per_row + cell * 8 + line % 8;
}

// Pixels across the screen.
constexpr int32_t screen_width(const ScreenMode& mode) { return mode.bytes_per_row * mode.pixels_per_byte; }

// The palette entry for thresholded channels r, g, b (each 0 or 1). An
// entry scores a point for every channel that is not lit in both entry and
// pixel; the lowest score wins and ties go to the lower index.
constexpr int32_t nearest_colour(int32_t mode, int32_t r, int32_t g, int32_t b) {
    const ScreenMode& row = screen_mode_for(mode);
    int32_t best = -1;
    int32_t best_score = 10000;
    for (int32_t i = 0; i < row.colours; ++i) {
        const PaletteEntry& entry = row.palette[i];
        const int32_t score = !(entry.red && r) + !(entry.green && g) + !(entry.blue && b);
        if (score < best_score) {
            best = i;
            best_score = score;
        }
    }
    return best;
}

// One screen byte from the colour numbers of its pixels, leftmost first
// (`pixels_per_byte` of them).
constexpr uint8_t pack_byte(int32_t mode, const int32_t* indices) {
    unsigned byte = 0;
    switch (screen_mode_for(mode).packing) {
    case Packing::kOneBitPerPixel:
        for (int k = 0; k < 8; ++k)
            if (indices[k] != 0) byte |= 0x80u >> k;
        break;
    case Packing::kTwoBitsPerPixel:
        for (int k = 0; k < 4; ++k) {
            const unsigned colour = static_cast<unsigned>(indices[k]);
            byte |= ((colour >> 1) & 1u) << (7 - k);
            byte |= (colour & 1u) << (3 - k);
        }
        break;
    case Packing::kThreeBitsPerPixel: {
        const unsigned left = static_cast<unsigned>(indices[0]);
        const unsigned right = static_cast<unsigned>(indices[1]);
        for (int bit = 2; bit >= 0; --bit) {
            byte |= ((left >> bit) & 1u) << (2 * bit + 1);
            byte |= ((right >> bit) & 1u) << (2 * bit);
        }
        break;
    }
    }
    return static_cast<uint8_t>(byte);
}

// The inverse of pack_byte: the colour numbers of a screen byte's pixels,
// leftmost first, into `indices` (`pixels_per_byte` of them).
constexpr void unpack_byte(int32_t mode, uint8_t byte, int32_t* indices) {
    switch (screen_mode_for(mode).packing) {
    case Packing::kOneBitPerPixel:
        for (int k = 0; k < 8; ++k) indices[k] = (byte >> (7 - k)) & 1;
        break;
    case Packing::kTwoBitsPerPixel:
        for (int k = 0; k < 4; ++k) indices[k] = ((byte >> (7 - k)) & 1) << 1 | ((byte >> (3 - k)) & 1);
        break;
    case Packing::kThreeBitsPerPixel:
        for (int k = 0; k < 2; ++k)
            indices[k] = ((byte >> (5 - k)) & 1) << 2 | ((byte >> (3 - k)) & 1) << 1 | ((byte >> (1 - k)) & 1);
        break;
    }
}
