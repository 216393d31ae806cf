#include "cli/picture_options.h"

#include <cstdio>
#include <cstring>

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

bool take_picture_option(const Argument& argument, FitSettings& fit, const ToolRun& run, const char* program) {
    const char* value = argument.value;
    const char* complaint = nullptr;
    switch (argument.id) {
    case kOptionAspect:
        fit.aspect = true;
        break;
    case kOptionFill:
        if (strcmp(value, "crop") == 0) fit.fill = Fill::kCrop;
        else if (strcmp(value, "fit") == 0) fit.fill = Fill::kFit;
        else if (strcmp(value, "stretch") == 0) fit.fill = Fill::kStretch;
        else complaint = "--fill must be crop, fit or stretch";
        break;
    case kOptionBrightness:
        if (!parse_percent(value, fit.brightness)) complaint = "--brightness must be a whole number from -100 to 100";
        break;
    case kOptionContrast:
        if (!parse_percent(value, fit.contrast)) complaint = "--contrast must be a whole number from -100 to 100";
        break;
    case kOptionSaturation:
        if (!parse_percent(value, fit.saturation)) complaint = "--saturation must be a whole number from -100 to 100";
        break;
    case kOptionGamma:
        if (!parse_gamma(value, fit.gamma)) complaint = "--gamma must be a number from 0.1 to 10";
        break;
    case kOptionGrey:
        fit.grey = true;
        break;
    case kOptionBackground:
        if (!parse_colour(value, fit.background))
            complaint = "--background must be #RRGGBB or black, red, green, yellow, blue, magenta, cyan or white";
        break;
    case kOptionTone:
        if (strcmp(value, "light") == 0) fit.tone = Tone::kLight;
        else if (strcmp(value, "plain") == 0) fit.tone = Tone::kPlain;
        else complaint = "--tone must be light or plain";
        break;
    case kOptionDither:
        if (strcmp(value, "ordered") == 0) fit.dither = Dither::kOrdered;
        else if (strcmp(value, "diffuse") == 0) fit.dither = Dither::kDiffuse;
        else complaint = "--dither must be ordered or diffuse";
        break;
    case kOptionHalftone:
        if (value[0] >= '0' && value[0] <= '4' && value[1] == '\0')
            fit.halftone = static_cast<HalftoneType>(value[0] - '0');
        else
            complaint = "--halftone must be 0 (none), 1 (fine), 2 (coarse), 3 (spiral) or 4 (diagonal)";
        break;
    case kOptionStagger:
        fit.stagger = true;
        break;
    default:
        complaint = "this option is not for pictures";
        break;
    }
    if (complaint) usage_error(run, program, complaint);
    return complaint == nullptr;
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

int show_usage_with_pictures(const ToolRun& run, const char* start, const char* end) {
    static constexpr char kPictures[] =
        "\n"
        "For pictures, as tarnvil-fit takes them: -a/--aspect, --fill, --brightness,\n"
        "--contrast, --saturation, --gamma, --grey, --background, --tone, --dither,\n"
        "--halftone N (0 none, 1 fine, 2 coarse, 3 spiral, 4 diagonal) and --stagger.\n"
        "Options apply to the dumps and pictures after them.\n";
    for (const char* text : {start, kPictures, end}) say_text(run.out, text, strlen(text));
    return 0;
}
