#include "lib/palette.h"

#include <cstdio>
#include <cstring>

#include "screen/modes.h"

Palette default_palette(int32_t mode) {
    const ScreenMode& row = screen_mode_for(mode);
    Palette palette;
    palette.colours = row.colours;
    for (int32_t i = 0; i < row.colours; ++i) {
        const PaletteEntry& entry = row.palette[i];
        palette.physical[i] = static_cast<uint8_t>(entry.red | entry.green << 1 | entry.blue << 2);
    }
    return palette;
}

bool is_default_palette(const Palette& palette, int32_t mode) {
    const Palette standard = default_palette(mode);
    return palette.colours == standard.colours &&
           memcmp(palette.physical, standard.physical, static_cast<size_t>(standard.colours)) == 0;
}

bool parse_palette(const char* text, int32_t mode, Palette& palette, char* reason, size_t capacity) {
    const Palette standard = default_palette(mode);
    bool digits = strlen(text) == static_cast<size_t>(standard.colours);
    for (const char* p = text; digits && *p; ++p) digits = *p >= '0' && *p <= '7';
    if (!digits) {
        char shown[9];
        palette_digits(standard, shown);
        snprintf(reason, capacity, "a MODE %d palette is %d digits from 0 to 7, one for each logical colour (default %s)",
                 static_cast<int>(mode), static_cast<int>(standard.colours), shown);
        return false;
    }
    palette.colours = standard.colours;
    // The text has exactly that many digits; the bound also lets the compiler see they fit.
    for (size_t i = 0; i < sizeof palette.physical && text[i]; ++i) palette.physical[i] = static_cast<uint8_t>(text[i] - '0');
    return true;
}

void palette_digits(const Palette& palette, char (&text)[9]) {
    for (int32_t i = 0; i < palette.colours; ++i) text[i] = static_cast<char>('0' + palette.physical[i]);
    text[palette.colours] = '\0';
}
