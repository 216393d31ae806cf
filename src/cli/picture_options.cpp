#include "cli/picture_options.h"

#include <cstdio>
#include <cstring>

#include "lib/lists.h"
#include "screen/halftone.h"

namespace {

// A whole number from -100 to 100.
bool parse_percent(const char* text, int32_t& value) {
    const char* p = text + (text[0] == '-' || text[0] == '+');
    if (*p == '\0' || strlen(p) > 3) return false;
    int32_t magnitude = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        magnitude = magnitude * 10 + (*p - '0');
    }
    if (magnitude > 100) return false;
    value = text[0] == '-' ? -magnitude : magnitude;
    return true;
}

// 0.1 to 10 with at most two decimals, in hundredths.
bool parse_gamma(const char* text, int32_t& hundredths) {
    int32_t value = 0;
    int32_t decimals = -1;
    for (const char* p = text; *p; ++p) {
        if (*p == '.' && decimals < 0) {
            decimals = 0;
        } else if (*p >= '0' && *p <= '9' && decimals < 2 && value <= 100000) {
            value = value * 10 + (*p - '0');
            if (decimals >= 0) ++decimals;
        } else {
            return false;
        }
    }
    if (text[0] == '\0' || (decimals == 0 && text[1] == '\0')) return false;
    for (int32_t d = decimals < 0 ? 0 : decimals; d < 2; ++d) value *= 10;
    if (value < 10 || value > 1000) return false;
    hundredths = value;
    return true;
}

// "#RRGGBB", "RRGGBB", or one of the machine's eight colours by name.
bool parse_colour(const char* text, uint8_t (&rgb)[3]) {
    for (uint8_t i = 0; i < 8; ++i) {
        if (strcmp(text, kColourNames[i]) == 0) {
            physical_rgb(i, rgb);
            return true;
        }
    }
    const char* hex = text + (text[0] == '#');
    if (strlen(hex) != 6) return false;
    uint8_t parsed[3];
    for (int i = 0; i < 6; ++i) {
        const char c = hex[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return false;
        parsed[i / 2] = static_cast<uint8_t>(i % 2 ? parsed[i / 2] | digit : digit << 4);
    }
    memcpy(rgb, parsed, 3);
    return true;
}

}  // namespace

namespace {

// The choice of `choices` named `text`, or -1.
template <size_t kCount>
int32_t find_choice(const Choice (&choices)[kCount], const char* text) {
    for (size_t i = 0; i < kCount; ++i)
        if (strcmp(text, choices[i].name) == 0) return static_cast<int32_t>(i);
    return -1;
}

// "--fill must be crop, fit or stretch", for a choice not among them.
template <size_t kCount>
void refuse_choice(const char* option, const Choice (&choices)[kCount], char* complaint, size_t capacity) {
    const char* names[kCount];
    for (size_t i = 0; i < kCount; ++i) names[i] = choices[i].name;
    const int written = snprintf(complaint, capacity, "--%s must be ", option);
    join_words(names, kCount, " or ", complaint + written, capacity - static_cast<size_t>(written));
}

// Takes a choice into `setting`, an enum in the choices' order.
template <typename Enum, size_t kCount>
bool take_choice(const char* option, const Choice (&choices)[kCount], const char* text, Enum& setting, char* complaint,
                 size_t capacity) {
    const int32_t found = find_choice(choices, text);
    if (found >= 0) {
        setting = static_cast<Enum>(found);
        return true;
    }
    refuse_choice(option, choices, complaint, capacity);
    return false;
}

}  // namespace

bool take_picture_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program) {
    const char* value = argument.value;
    char complaint[192] = "";
    // The three percentages, read alike.
    const struct {
        int id;
        const char* name;
        int32_t FitSettings::*setting;
    } kPercentages[] = {{kOptionBrightness, "brightness", &FitSettings::brightness},
                        {kOptionContrast, "contrast", &FitSettings::contrast},
                        {kOptionSaturation, "saturation", &FitSettings::saturation}};
    for (const auto& percentage : kPercentages) {
        if (argument.id != percentage.id) continue;
        if (parse_percent(value, fit.*percentage.setting)) return true;
        snprintf(complaint, sizeof complaint, "--%s must be a whole number from -100 to 100", percentage.name);
        usage_error(run, program, complaint);
        return false;
    }
    switch (argument.id) {
    case kOptionAspect:
        fit.aspect = true;
        break;
    case kOptionFill:
        take_choice("fill", kFillChoices, value, fit.fill, complaint, sizeof complaint);
        break;
    case kOptionGamma:
        if (!parse_gamma(value, fit.gamma)) snprintf(complaint, sizeof complaint, "--gamma must be a number from 0.1 to 10");
        break;
    case kOptionGrey:
        fit.grey = true;
        break;
    case kOptionBackground:
        if (!parse_colour(value, fit.background)) {
            char colours[96];
            list_in_help("colours", colours, sizeof colours);
            snprintf(complaint, sizeof complaint, "--background must be #RRGGBB or %s", colours);
        }
        break;
    case kOptionTone:
        take_choice("tone", kToneChoices, value, fit.tone, complaint, sizeof complaint);
        break;
    case kOptionDither:
        take_choice("dither", kDitherChoices, value, fit.dither, complaint, sizeof complaint);
        break;
    case kOptionHalftone:
        if (value[0] >= '0' && value[0] <= '0' + kHalftoneDiagonal && value[1] == '\0') {
            fit.halftone = static_cast<HalftoneType>(value[0] - '0');
        } else {
            // "0 (none), 1 (fine), 2 (coarse), 3 (spiral) or 4 (diagonal)"
            char named[kHalftoneDiagonal + 1][16];
            const char* words[kHalftoneDiagonal + 1];
            for (int32_t i = 0; i <= kHalftoneDiagonal; ++i) {
                snprintf(named[i], sizeof named[i], "%d (%s)", static_cast<int>(i), kHalftoneNames[i]);
                words[i] = named[i];
            }
            const int written = snprintf(complaint, sizeof complaint, "--halftone must be ");
            join_words(words, kHalftoneDiagonal + 1, " or ", complaint + written, sizeof complaint - static_cast<size_t>(written));
        }
        break;
    case kOptionStagger:
        fit.stagger = true;
        break;
    default:
        snprintf(complaint, sizeof complaint, "this option is not for pictures");
        break;
    }
    if (complaint[0]) usage_error(run, program, complaint);
    return complaint[0] == '\0';
}

bool take_nula_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program) {
    fit.palette_choice = FitSettings::PaletteChoice::kOwn;
    if (argument.id == kOptionNula) {
        fit.nula_choice = FitSettings::NulaChoice::kBest;
        return true;
    }
    char reason[160];
    // MODE 7 has no palette: refused as a page is named.
    if (fit.mode == kTeletextMode || parse_nula_palette(argument.value, fit.mode, fit.nula, reason, sizeof reason)) {
        fit.nula_choice = FitSettings::NulaChoice::kGiven;
        return true;
    }
    usage_error(run, program, reason);
    return false;
}

bool check_teletext_settings(const FitSettings& fit, const ToolRun& run, const char* program) {
    if (fit.mode != kTeletextMode) return true;
    const FitSettings plain{};
    const char* option = fit.aspect                                            ? "-a"
                         : fit.halftone != plain.halftone                      ? "--halftone"
                         : fit.stagger                                         ? "--stagger"
                         : fit.tone != plain.tone                              ? "--tone"
                         : fit.dither != plain.dither                          ? "--dither"
                         : fit.palette_choice != FitSettings::PaletteChoice::kOwn ? "-p"
                         : fit.nula_choice == FitSettings::NulaChoice::kBest   ? "--nula"
                         : fit.nula_choice == FitSettings::NulaChoice::kGiven  ? "--nula-palette"
                                                                               : nullptr;
    if (!option) return true;
    char complaint[160];
    snprintf(complaint, sizeof complaint, "%s means nothing in MODE 7, whose pages are teletext mosaics: leave it out "
             "before MODE 7 pictures", option);
    usage_error(run, program, complaint);
    return false;
}

void note_picture_option(FollowingOption& following, const OptionSpec* options, size_t count, const Argument& argument) {
    for (size_t i = 0; i < count; ++i) {
        const OptionSpec& option = options[i];
        if (option.id != argument.id) continue;
        char name[24];
        if (option.short_name)
            snprintf(name, sizeof name, "-%c", option.short_name);
        else
            snprintf(name, sizeof name, "--%s", option.long_name);
        note_option(following, name, argument.value);
    }
}
