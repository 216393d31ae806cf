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
    {"aspect", 'a', false, kOptionAspect},       {"fill", '\0', true, kOptionFill},
    {"brightness", '\0', true, kOptionBrightness}, {"contrast", '\0', true, kOptionContrast},
    {"saturation", '\0', true, kOptionSaturation}, {"gamma", '\0', true, kOptionGamma},
    {"grey", '\0', false, kOptionGrey},            {"background", '\0', true, kOptionBackground},
    {"tone", '\0', true, kOptionTone},            {"dither", '\0', true, kOptionDither},
}};

inline constexpr std::array<OptionSpec, 2> kConversionOptions = {{
    {"halftone", '\0', true, kOptionHalftone}, {"stagger", '\0', false, kOptionStagger},
}};

// One option table from several, in their order.
template <size_t... Sizes>
constexpr std::array<OptionSpec, (Sizes + ...)> join_options(const std::array<OptionSpec, Sizes>&... tables) {
    std::array<OptionSpec, (Sizes + ...)> joined{};
    size_t at = 0;
    ((std::copy(tables.begin(), tables.end(), joined.begin() + static_cast<std::ptrdiff_t>(at)), at += Sizes), ...);
    return joined;
}

// --help for a tool that takes pictures: its own options (`start`), what
// the options above do, then the rest of its help (`end`). Returns 0.
int show_usage_with_pictures(const ToolRun& run, const char* start, const char* end);

// Whether `id` is one of the options above.
inline bool is_picture_option(int id) { return id >= kOptionAspect && id <= kOptionStagger; }

// Takes one of them into `fit`. False, after reporting the
// value as a command-line mistake of `program`, when it cannot be taken.
bool take_picture_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program);

// The option as a message names it ("--gamma 2", "-a"), for the rule that
// options apply to what follows them.
void note_picture_option(FollowingOption& following, const OptionSpec* options, size_t count, const Argument& argument);
