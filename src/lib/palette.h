// The machine's palette: the physical colour each logical colour of a mode
// shows, which VDU 19 changes. Physical colours are 0 black, 1 red, 2
// green, 3 yellow, 4 blue, 5 magenta, 6 cyan, 7 white (bit 0 red, bit 1
// green, bit 2 blue); a palette is written as one digit per logical
// colour: 07 in MODEs 0 and 4, 0137 in MODEs 1 and 5, 01234567 in MODE 2.
#pragma once

#include <cstddef>
#include <cstdint>

// A VideoNuLA's colours: any of 4,096 for each logical colour, four bits
// each of red, green and blue. None (colours 0) where the machine's own
// palette shows the screen.
struct NulaPalette {
    int32_t colours = 0;    // 2, 4, 8 or 16
    uint16_t rgb[16] = {};  // 0xRGB, one hex digit a channel
};

struct Palette {
    int32_t colours = 0;      // 2, 4 or 8 logical colours
    uint8_t physical[8] = {};
};

// The palette a MODE starts with, the one tarnvil's colour matching is for.
Palette default_palette(int32_t mode);

bool is_default_palette(const Palette& palette, int32_t mode);

// Reads a palette for `mode`. False with `reason` (naming the mode's length
// and default) for digits of the wrong number or kind.
bool parse_palette(const char* text, int32_t mode, Palette& palette, char* reason, size_t capacity);

// The palette's digits, NUL-terminated.
void palette_digits(const Palette& palette, char (&text)[9]);

// The physical colours' names, by number: "black", "red", ... "white".
inline constexpr const char* kColourNames[8] = {"black", "red", "green", "yellow", "blue", "magenta", "cyan", "white"};

// Full-intensity RGB of a physical colour.
inline void physical_rgb(uint8_t physical, uint8_t (&rgb)[3]) {
    for (int c = 0; c < 3; ++c) rgb[c] = (physical >> c) & 1 ? 255 : 0;
}
