#include "view/view_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "screen/modes.h"
#include "tools/command_line.h"
#include "tools/dump.h"
#include "tools/output.h"
#include "view/png.h"
#include "view/render.h"

namespace {

const char kProgram[] = "tarnvil-view";

const char kUsage[] =
    "Usage: tarnvil-view [-m MODE] [-o FILE] [--native] DUMP...\n"
    "Render BBC Micro screen dumps written by tarnvil as PNG pictures.\n"
    "\n"
    "  -m, --mode MODE    screen mode of the dumps that follow: 0, 1, 2, 4 or 5\n"
    "                     (default 2)\n"
    "  -o, --output FILE  write the picture to FILE, - for standard output\n"
    "                     (one DUMP only; default: the dump's name with \".png\"\n"
    "                     appended)\n"
    "      --native       one picture pixel per screen pixel, instead of\n"
    "                     the 640 x 512 display with pixels of their true shape\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "A dump does not record its mode: give the -m it was converted with.\n";

enum Option { kMode, kOutput, kNative, kHelp, kVersion };

constexpr OptionSpec kOptions[] = {{"mode", 'm', true, kMode},     {"output", 'o', true, kOutput},
                                   {"native", '\0', false, kNative}, {"help", 'h', false, kHelp},
                                   {"version", '\0', false, kVersion}};

struct Dump {
    const char* path;
    int32_t mode;
};

// Renders one dump; prints the reason and returns false on failure.
bool view_dump(const Dump& dump, const char* png_path, bool native) {
    uint8_t screen[kMaxScreenBytes];
    if (!read_screen_dump(kProgram, dump.path, dump.mode, screen)) return false;
    RgbImage image;
    PngBytes png;
    if (!render_dump(dump.mode, screen, native, image) || !encode_png(image, png)) {
        fprintf(stderr, "%s: %s: out of memory\n", kProgram, png_path);
        return false;
    }
    return write_output_file(kProgram, png_path, png.data.get(), png.size);
}

}  // namespace

int run_view(int argc, char** argv) {
    // Each dump takes the mode of the last -m before it.
    std::unique_ptr<Dump[]> dumps(new (std::nothrow) Dump[static_cast<size_t>(argc)]);
    if (!dumps) {
        fprintf(stderr, "%s: out of memory\n", kProgram);
        return 1;
    }
    int count = 0;
    int32_t mode = 2;
    bool unused_mode = false;  // a -m that no dump has followed yet
    const char* output = nullptr;
    bool native = false;
    CommandLine line{kProgram, argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]};
    for (Argument argument; (argument = next_argument(line)).kind != ArgumentKind::kEnd;) {
        if (argument.kind == ArgumentKind::kError) {
            fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
            return 2;
        }
        if (argument.kind == ArgumentKind::kOperand) {
            dumps[count++] = {argument.value, mode};
            unused_mode = false;
            continue;
        }
        switch (argument.id) {
        case kMode:
            if (!parse_mode_argument(argument.value, mode)) {
                fprintf(stderr, "%s: invalid mode '%s' (use 0, 1, 2, 4 or 5)\n", kProgram, argument.value);
                return 2;
            }
            unused_mode = true;
            break;
        case kOutput:
            output = argument.value;
            break;
        case kNative:
            native = true;
            break;
        case kHelp:
            fputs(kUsage, stdout);
            return 0;
        case kVersion:
            printf("tarnvil-view %s\n", TARNVIL_VERSION);
            return 0;
        }
    }
    if (count == 0) return usage_error(kProgram, kNoDumpMessage);
    if (unused_mode) return unused_mode_error(kProgram, mode);
    if (output && count > 1) {
        fprintf(stderr, "%s: -o names one picture, but several dumps were given\n", kProgram);
        return 2;
    }
    if (output && !output_can_go_to(kProgram, output, "a PNG picture")) return 1;

    bool all_done = true;
    for (int i = 0; i < count; ++i) {
        char png_path[platform::kMaxPath + 8];
        if (!output &&
            snprintf(png_path, sizeof png_path, "%s.png", dumps[i].path) >= static_cast<int>(sizeof png_path)) {
            fprintf(stderr, "%s: %s.png: File name too long\n", kProgram, dumps[i].path);
            all_done = false;
            continue;
        }
        all_done = view_dump(dumps[i], output ? output : png_path, native) && all_done;
    }
    return all_done ? 0 : 1;
}
