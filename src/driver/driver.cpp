#include "driver/driver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/ppm.h"
#include "screen/modes.h"
#include "screen/halftone.h"
#include "screen/writer.h"

namespace {

constexpr const char* kUsage[] = {
    "Usage:-\n  tarnvil [<opts>]<ppm-file> [ [<opts>]<ppm-file>... ]\n",
    "<opts> are -0,-1,-2,-4,-5 to set BBC MODE. -2 is default.\n",
    "-a2,-a0 for aspect-correction, -hX1,-hsXa2 for halftoning:-\n",
    "\tX=0 for no halftoning,\n\tX=1 for fine halftoning (default),\n",
    "\tX=2 for coarse halftoning,\n\tX=3 for spiral halftoning,\n",
    "\tX=4 for diagonal halftoning.\n",
    "\t's' between the -h and the X value staggers the RGB values.\n",
    "\tStaggering often works well for MODE 2, but not for 2-colour modes.\n",
    "\nLeave no spaces between the options and the filename.\neg. tarnvil -a2house.ppm -hs4a0picture.ppm\n",
    "\nTip: Use GNU bash if you want to use wildcards with this program...\n",
};

// An argument such as "-", "-h1" or "-a" stops before its mode character;
// whatever is missing keeps its default and the (empty) rest is the name.
const char* report_incomplete_block(const char* argument, const char* end) {
    printf("Option block \"%s\" is incomplete. Using defaults for the missing options.\n", argument);
    return end;
}

}  // namespace

const char* parse_option_block(const char* argument, ConversionOptions& options) {
    if (argument[0] != '-') return argument;

    // p stands on the last character consumed; every look-ahead is one
    // character past a character known not to end the string.
    const char* p = argument;
    if (p[1] == 'h') {
        if (p[2] == 's') {
            options.stagger = true;
            ++p;
        }
        const char digit = p[2];
        if (digit == '\0') {
            options.halftone = kHalftoneFine;
            options.mode = 2;
            return report_incomplete_block(argument, p + 2);
        }
        p += 2;
        const int halftone = digit - '0';
        if (halftone < kHalftoneNone || halftone > kHalftoneDiagonal) {
            printf("Halftoning switch -h%c out of range. Using -h1 as default.\n", digit);
            options.halftone = kHalftoneFine;
        } else {
            options.halftone = static_cast<HalftoneType>(halftone);
        }
    }
    if (p[1] == 'a') {
        options.aspect = true;
        ++p;
    }
    const char mode_char = p[1];
    if (mode_char == '\0') {
        options.mode = 2;
        return report_incomplete_block(argument, p + 1);
    }
    const int mode = mode_char - '0';
    if (is_screen_mode(mode)) {
        options.mode = mode;
    } else {
        printf("Invalid MODE %c for %s. Using MODE 2 as default.\n", mode_char, p + 2);
        options.mode = 2;
    }
    return p + 2;
}

int run_conversions(int count, char** arguments) {
    if (count <= 1) {
        for (const char* text : kUsage) fputs(text, stdout);
        exit(0);
    }

    ConversionOptions options{};
    ImagePlanes planes{};
    ThresholdMatrix matrix{};
    for (int i = 1; i < count; ++i) {
        options = kDefaultOptions;
        const char* name = parse_option_block(arguments[i], options);
        if (read_ppm(name, planes)) {
            build_threshold_matrix(options.halftone, matrix);
            write_screen(name, options, planes, matrix);
            release_planes(planes);
        }
        printf("%d%% completed.\n", static_cast<int>(int64_t{100} * i / (count - 1)));
    }
    return 0;
}
