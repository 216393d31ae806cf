// How a picture is prepared and converted, as options on a command line:
// tarnvil-fit's settings and tarnvil's halftone and stagger, which the
// samples are prepared for (tarnvil-fit, and tarnvil-view and tarnvil-disc
// for the pictures they are given).
#pragma once

#include <array>
#include <cstddef>

#include "cli/command_line.h"
#include "cli/tool.h"
#include "lib/tarnvil.h"
#include "conversion_records.h"

enum PictureOptionId {
    kOptionAspect = 100,
    kOptionFill,
    kOptionBrightness,
    kOptionContrast,
    kOptionSaturation,
    kOptionGamma,
    kOptionGrey,
    kOptionBackground,
    kOptionTone,
    kOptionDither,
    kOptionHalftone,
    kOptionStagger,
};

inline constexpr std::array<OptionSpec, 10> kFitSettingOptions = {{
    {"aspect", 'a', nullptr, kOptionAspect, "for tarnvil's aspect correction ('a'): 320 pixels across in every mode"},
    {"fill", '\0', "HOW", kOptionFill, "{fills}"},
    {"brightness", '\0', "N", kOptionBrightness, "add N percent of full scale, -100 to 100 (default 0)"},
    {"contrast", '\0', "N", kOptionContrast, "scale the distance from mid-grey by 1 + N/100, -100 to 100 (default 0)"},
    {"saturation", '\0', "N", kOptionSaturation,
     "scale each channel's distance from the pixel's luminance by 1 + N/100, -100 to 100 (default 0; -100 is grey)"},
    {"gamma", '\0', "G", kOptionGamma,
     "raise each sample to the power 1/G, 0.1 to 10 (default 1; above 1 lightens the mid-tones)"},
    {"grey", '\0', nullptr, kOptionGrey, "make the picture grey, which suits 2- and 4-colour modes"},
    {"background", '\0', "COLOUR", kOptionBackground,
     "what shows through transparent pixels: #RRGGBB, or {colours} (default black)"},
    {"tone", '\0', "HOW", kOptionTone, "{tones}"},
    {"dither", '\0', "HOW", kOptionDither, "{dithers}"},
}};

inline constexpr std::array<OptionSpec, 2> kConversionOptions = {{
    {"halftone", '\0', "N", kOptionHalftone, "the halftone tarnvil converts with: {halftones}"},
    {"stagger", '\0', nullptr, kOptionStagger, "tarnvil staggers the halftone between the channels"},
}};

// One option table from several, in their order.
template <size_t... Sizes>
constexpr std::array<OptionSpec, (Sizes + ...)> join_options(const std::array<OptionSpec, Sizes>&... tables) {
    std::array<OptionSpec, (Sizes + ...)> joined{};
    size_t at = 0;
    ((std::copy(tables.begin(), tables.end(), joined.begin() + static_cast<std::ptrdiff_t>(at)), at += Sizes), ...);
    return joined;
}

// A VideoNuLA's colours in place of the machine's palette: for a picture
// chosen (--nula) or given, and for a dump given (tarnvil-view's and
// tarnvil-disc's --nula-palette). Each replaces -p and -p replaces it; -m
// resets both.
enum NulaOptionId { kOptionNula = 120, kOptionNulaPalette };

inline constexpr std::array<OptionSpec, 2> kFitNulaOptions = {{
    {"nula", '\0', nullptr, kOptionNula,
     "colours for a VideoNuLA: any of its 4,096 for each logical colour, chosen for the picture, and the dots "
     "diffused to them"},
    {"nula-palette", '\0', "RGB,...", kOptionNulaPalette,
     "a VideoNuLA's colour for each logical colour, three hex digits each (000 black to FFF white), and the dots "
     "diffused to them"},
}};

inline constexpr std::array<OptionSpec, 2> kDumpNulaOptions = {{
    {"nula", '\0', nullptr, kOptionNula,
     "for pictures: colours for a VideoNuLA, any of its 4,096 for each logical colour, chosen for each"},
    {"nula-palette", '\0', "RGB,...", kOptionNulaPalette,
     "the VideoNuLA colour (three hex digits, 000 black to FFF white) each logical colour of the dumps that follow "
     "shows; for pictures, the colours their dots are diffused to; -m and -p reset it"},
}};

// Takes --nula or --nula-palette into `fit` for its mode, in place of a
// palette. False, after reporting the value as a command-line mistake of
// `program`, when it cannot be taken.
bool take_nula_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program);

// In MODE 7 only the picture's size and tone settings mean anything: a
// teletext page has no halftone, stagger, aspect correction, tone or
// dither of tarnvil's, and no palette. False, after reporting it as a
// command-line mistake, when `fit` is for MODE 7 with one of those away
// from its default; checked as each picture or dump is named.
bool check_teletext_settings(const FitSettings& fit, const ToolRun& run, const char* program);

// Whether `id` is one of the options above.
inline bool is_picture_option(int id) { return id >= kOptionAspect && id <= kOptionStagger; }

// Whether tarnvil-view and tarnvil-disc take tarnvil-fit's option `id`
// for the pictures after it, as tarnvil-fit takes it (-m and -p aside).
inline bool taken_for_pictures(int id) { return is_picture_option(id) || id == kOptionNula || id == kOptionNulaPalette; }

// Takes one of them into `fit`. False, after reporting the
// value as a command-line mistake of `program`, when it cannot be taken.
bool take_picture_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program);

// The option as a message names it ("--gamma 2", "-a"), for the rule that
// options apply to what follows them.
void note_picture_option(FollowingOption& following, const OptionSpec* options, size_t count, const Argument& argument);
