// Arbitrary bytes as a picture for tarnvil-fit, through decoding, scaling
// and the tone, colour, palette and dither settings. Input layout: one
// byte of settings (mode, aspect, fill, grey, tone, dither and palette),
// then the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/fit/decode.h"
#include "lib/fit/fit.h"
#include "lib/fit/reach.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return -1;
    const uint8_t choice = data[0];
    const uint8_t* file = data + 1;
    const size_t file_size = size - 1;
    // A small header can declare a picture larger than the fuzzer's memory
    // limit allows; those are refused by the memory check, tested apart.
    int32_t width = 0;
    int32_t height = 0;
    char reason[256] = "";
    if (read_picture_size(file, file_size, width, height, reason, sizeof reason) &&
        int64_t{width} * height > (int64_t{1} << 22))
        return -1;

    static const int32_t kModes[] = {0, 1, 2, 4, 5};
    FitSettings settings;
    settings.mode = kModes[choice % 5];
    settings.aspect = choice & 8;
    settings.fill = static_cast<Fill>((choice >> 4) % 3);
    settings.grey = choice & 64;
    // Bits 1 and 2 also play into the mode; any mix is fine for coverage.
    settings.tone = choice & 2 ? Tone::kPlain : Tone::kLight;
    settings.dither = choice & 4 ? Dither::kDiffuse : Dither::kOrdered;
    if (choice & 128) {
        settings.brightness = -30;
        settings.contrast = 40;
        settings.saturation = 50;
        settings.gamma = 180;
        // One of the palettes the mode can reach.
        Palette candidates[kMaxCandidates];
        settings.palette =
            candidates[choice % palette_candidates(settings.mode, settings.dither == Dither::kDiffuse, candidates)];
        settings.palette_choice = FitSettings::PaletteChoice::kGiven;
    }
    PpmBytes ppm;
    if (!fit_file(file, file_size, settings, ppm, reason, sizeof reason)) {
        // Every refusal says why: never nothing, never empty brackets.
        if (reason[0] == '\0' || strstr(reason, "()") || ppm.data) abort();
        return 0;
    }
    char header[32];
    const int header_size = snprintf(header, sizeof header, "P6\n%d 256\n255\n", static_cast<int>(fit_width(settings)));
    if (ppm.size != static_cast<size_t>(header_size) + static_cast<size_t>(fit_width(settings)) * 256 * 3 ||
        memcmp(ppm.data.get(), header, static_cast<size_t>(header_size)) != 0)
        abort();
    return 0;
}
