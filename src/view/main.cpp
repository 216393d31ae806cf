// tarnvil-view: renders screen dumps into PNG pictures of what the machine
// shows, so a conversion can be checked without an emulator.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>

#include "common/dump.h"
#include "common/file_io.h"
#include "screen/modes.h"
#include "view/view.h"

namespace {

const char kUsage[] =
    "Usage: tarnvil-view [-m MODE] [-o FILE] [--native] DUMP...\n"
    "Render BBC Micro screen dumps written by tarnvil as PNG pictures.\n"
    "\n"
    "  -m, --mode MODE    screen mode of the dumps: 0, 1, 2, 4 or 5 (default 2)\n"
    "  -o, --output FILE  write the picture to FILE (one DUMP only;\n"
    "                     default: the dump's name with \".png\" appended)\n"
    "      --native       one picture pixel per screen pixel, instead of\n"
    "                     the 640 x 512 display with pixels of their true shape\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n";

// Renders one dump; prints the reason and returns false on failure.
bool view_dump(const char* dump_path, const char* png_path, int32_t mode, bool native) {
    uint8_t dump[kMaxScreenBytes];
    if (!read_screen_dump("tarnvil-view", dump_path, mode, dump)) return false;
    RgbImage image;
    PngBytes png;
    if (!render_dump(mode, dump, native, image) || !encode_png(image, png)) {
        fprintf(stderr, "tarnvil-view: %s: out of memory\n", png_path);
        return false;
    }
    const bool saved = write_output_file("tarnvil-view", png_path, png.data, png.size);
    free(png.data);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    static const option kOptions[] = {{"mode", required_argument, nullptr, 'm'},
                                      {"output", required_argument, nullptr, 'o'},
                                      {"native", no_argument, nullptr, 'n'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    int32_t mode = 2;
    const char* output = nullptr;
    bool native = false;
    for (int c; (c = getopt_long(argc, argv, "m:o:h", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'm':
            if (!parse_mode_argument(optarg, mode)) {
                fprintf(stderr, "tarnvil-view: invalid mode '%s' (use 0, 1, 2, 4 or 5)\n", optarg);
                return 2;
            }
            break;
        case 'o':
            output = optarg;
            break;
        case 'n':
            native = true;
            break;
        case 'h':
            fputs(kUsage, stdout);
            return 0;
        case 'V':
            printf("tarnvil-view %s\n", TARNVIL_VERSION);
            return 0;
        default:
            fputs("Try 'tarnvil-view --help' for more information.\n", stderr);
            return 2;
        }
    }
    const int dumps = argc - optind;
    if (dumps == 0) {
        fputs("tarnvil-view: no screen dump named\nTry 'tarnvil-view --help' for more information.\n", stderr);
        return 2;
    }
    if (output && dumps > 1) {
        fputs("tarnvil-view: -o names one picture, but several dumps were given\n", stderr);
        return 2;
    }
    bool all_done = true;
    for (int i = optind; i < argc; ++i) {
        char png_path[PATH_MAX + 8];
        if (!output && snprintf(png_path, sizeof png_path, "%s.png", argv[i]) >= static_cast<int>(sizeof png_path)) {
            fprintf(stderr, "tarnvil-view: %s.png: File name too long\n", argv[i]);
            all_done = false;
            continue;
        }
        all_done = view_dump(argv[i], output ? output : png_path, mode, native) && all_done;
    }
    return all_done ? 0 : 1;
}
