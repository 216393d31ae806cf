#include "driver/driver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/ppm.h"
#include "platform/platform.h"
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
const char* report_incomplete_block(const char* argument, const char* end, const MessageSink& sink) {
    say(sink, "Option block \"%s\" is incomplete. Using defaults for the missing options.\n", argument);
    return end;
}

// The cycle of one argument, the `index`th of `count`, whether its file is
// on disk or in memory: the options, the picture through `read`, its
// screen through `write`, and the progress line.
template <typename Read, typename Write>
void convert_argument(const char* argument, int index, int count, const MessageSink& sink, ConversionOptions& options,
                      ImagePlanes& planes, ThresholdMatrix& matrix, Read read, Write write) {
    options = kDefaultOptions;
    const char* name = parse_option_block(argument, options, sink);
    if (read(name, planes)) {
        build_threshold_matrix(options.halftone, matrix);
        write(name, options, planes, matrix);
        release_planes(planes);
    }
    say(sink, "%d%% completed.\n", static_cast<int>(int64_t{100} * index / count));
}

// What the command line would read for `name` if the file there held
// `bytes`: nothing (null) for a name no file can have, empty for the
// folders "." and "..".
const uint8_t* contents_at(const char* name, const uint8_t* bytes, size_t& size) {
    static const uint8_t kFolder[1] = {};
    const char* last = platform::file_name_of(name);
    if (!bytes || *last == '\0') return nullptr;
    if (strcmp(last, ".") != 0 && strcmp(last, "..") != 0) return bytes;
    size = 0;
    return kFolder;
}

}  // namespace

const char* parse_option_block(const char* argument, ConversionOptions& options, const MessageSink& sink) {
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
            return report_incomplete_block(argument, p + 2, sink);
        }
        p += 2;
        const int halftone = digit - '0';
        if (halftone < kHalftoneNone || halftone > kHalftoneDiagonal) {
            say(sink, "Halftoning switch -h%c out of range. Using -h1 as default.\n", digit);
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
        return report_incomplete_block(argument, p + 1, sink);
    }
    const int mode = mode_char - '0';
    if (is_screen_mode(mode)) {
        options.mode = mode;
    } else {
        say(sink, "Invalid MODE %c for %s. Using MODE 2 as default.\n", mode_char, p + 2);
        options.mode = 2;
    }
    return p + 2;
}

void format_option_block(const ConversionOptions& options, char (&block)[8]) {
    size_t at = 0;
    block[at++] = '-';
    if (options.halftone != kHalftoneFine || options.stagger) {
        block[at++] = 'h';
        if (options.stagger) block[at++] = 's';
        block[at++] = static_cast<char>('0' + (options.halftone & 7));
    }
    if (options.aspect) block[at++] = 'a';
    block[at++] = static_cast<char>('0' + (options.mode & 7));
    block[at] = '\0';
}

int run_conversions(int count, char** arguments) {
    if (count <= 1) {
        for (const char* text : kUsage) fputs(text, stdout);
        exit(0);
    }

    ConversionOptions options{};
    ImagePlanes planes{};
    ThresholdMatrix matrix{};
    for (int i = 1; i < count; ++i)
        convert_argument(arguments[i], i, count - 1, standard_output(), options, planes, matrix, read_ppm, write_screen);
    return 0;
}

void convert_picture(const char* argument, const uint8_t* bytes, size_t size, const MessageSink& sink,
                     ConvertedPicture& out) {
    ConversionOptions options{};
    ImagePlanes planes{};
    ThresholdMatrix matrix{};
    out.name = argument;
    out.files.dump_size = out.files.inf_size = 0;
    convert_argument(
        argument, 1, 1, sink, options, planes, matrix,
        [&](const char* name, ImagePlanes& into) {
            out.name = name;
            size_t readable = size;
            const uint8_t* contents = contents_at(name, bytes, readable);
            return read_ppm_bytes(name, contents, readable, into, sink);
        },
        [&](const char* name, const ConversionOptions& chosen, const ImagePlanes& from, const ThresholdMatrix& with) {
            write_screen_to(name, chosen, from, with, screen_files_in_memory(out.files), sink);
        });
}
