#include "disc/disc_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "disc/disc.h"
#include "platform/platform.h"
#include "screen/modes.h"
#include "tools/command_line.h"
#include "tools/dump.h"
#include "tools/output.h"

namespace {

const char kProgram[] = "tarnvil-disc";

const char kUsage[] =
    "Usage: tarnvil-disc [-o OUT.ssd] [--tracks 40|80] [--title TEXT] [-m MODE] DUMP [[-m MODE] DUMP ...]\n"
    "Write a bootable single-sided DFS disc image that shows tarnvil's screen dumps.\n"
    "\n"
    "  -o, --output FILE  the disc image to write, - for standard output\n"
    "                     (default pictures.ssd)\n"
    "  -t, --tracks N     40 or 80 tracks (default 80)\n"
    "  -T, --title TEXT   the disc title, at most 12 characters (default PICTURES)\n"
    "  -m, --mode MODE    mode of the dumps that follow: 0, 1, 2, 4 or 5 (default 2)\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "A dump does not record its mode: give each the -m it was converted with.\n"
    "The pictures are stored as $.P1, $.P2, ... Boot the disc with SHIFT+BREAK:\n"
    "each picture stays until a key is pressed, the last one until ESCAPE or BREAK.\n";

enum Option { kOutput, kTracks, kTitle, kMode, kHelp, kVersion };

constexpr OptionSpec kOptions[] = {{"output", 'o', true, kOutput}, {"tracks", 't', true, kTracks},
                                   {"title", 'T', true, kTitle},   {"mode", 'm', true, kMode},
                                   {"help", 'h', false, kHelp},    {"version", '\0', false, kVersion}};

struct Request {
    const char* dumps[kMaxPictures];
    int32_t modes[kMaxPictures];
    int32_t given = 0;
    const char* output = "pictures.ssd";
    const char* title = "PICTURES";
    int32_t tracks = 80;
};

// Fills `request` from the command line. Returns -1 to go on, or the exit
// status to end with.
int parse_command_line(int argc, char** argv, Request& request) {
    CommandLine line{kProgram, argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]};
    int32_t mode = 2;
    bool unused_mode = false;  // a -m that no dump has followed yet
    char reason[160];
    for (;;) {
        const Argument argument = next_argument(line);
        switch (argument.kind) {
        case ArgumentKind::kEnd:
            if (request.given == 0) return usage_error(kProgram, kNoDumpMessage);
            return unused_mode ? unused_mode_error(kProgram, mode) : -1;
        case ArgumentKind::kError:
            fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
            return 2;
        case ArgumentKind::kOperand:
            if (request.given < kMaxPictures) {
                request.dumps[request.given] = argument.value;
                request.modes[request.given] = mode;
            }
            ++request.given;
            unused_mode = false;
            break;
        case ArgumentKind::kOption:
            switch (argument.id) {
            case kOutput:
                request.output = argument.value;
                break;
            case kTracks:
                if (!parse_tracks(argument.value, request.tracks)) return usage_error(kProgram, kTracksMessage);
                break;
            case kTitle:
                if (!check_title(argument.value, reason, sizeof reason)) return usage_error(kProgram, reason);
                request.title = argument.value;
                break;
            case kMode:
                if (!parse_mode_argument(argument.value, mode)) return usage_error(kProgram, kModeMessage);
                unused_mode = true;
                break;
            case kHelp:
                fputs(kUsage, stdout);
                return 0;
            case kVersion:
                printf("tarnvil-disc %s\n", TARNVIL_VERSION);
                return 0;
            }
            break;
        }
    }
}

// The sidecar's text, if the dump has one. False after reporting a sidecar
// that exists but cannot be read.
bool read_sidecar(const char* dump, char (&text)[256], int64_t& size) {
    size = -1;
    char path[platform::kMaxPath + 8];
    if (snprintf(path, sizeof path, "%s.inf", dump) >= static_cast<int>(sizeof path)) return true;
    size = platform::read_file_prefix(path, reinterpret_cast<uint8_t*>(text), sizeof text);
    if (size >= 0 || errno == ENOENT) return true;
    fprintf(stderr, "%s: %s: %s\n", kProgram, path, strerror(errno));
    return false;
}

}  // namespace

int run_disc(int argc, char** argv) {
    Request request;
    const int status = parse_command_line(argc, argv, request);
    if (status >= 0) return status;
    char reason[platform::kMaxPath + 160];
    if (!check_picture_count(request.given, reason, sizeof reason)) {
        fprintf(stderr, "%s: %s\n", kProgram, reason);
        return 1;
    }
    if (!output_can_go_to(kProgram, request.output, "a disc image")) return 1;

    // One byte more than the largest dump tells a longer file apart.
    static uint8_t dumps[kMaxPictures][kMaxScreenBytes + 1];
    DiscPicture pictures[kMaxPictures];
    bool ready = true;
    for (int32_t i = 0; i < request.given; ++i) {
        const char* path = request.dumps[i];
        const int64_t size = platform::read_file_prefix(path, dumps[i], sizeof dumps[i]);
        if (size < 0) {
            fprintf(stderr, "%s: %s: %s\n", kProgram, path, strerror(errno));
            ready = false;
            continue;
        }
        // A dump of the wrong size is reported on its own: its sidecar is
        // read only for a dump that could go on the disc.
        char inf[256];
        int64_t inf_size = -1;
        if (check_dump_size(request.modes[i], size, reason, sizeof reason) && !read_sidecar(path, inf, inf_size)) {
            ready = false;
            continue;
        }
        if (!prepare_picture(path, request.modes[i], dumps[i], size, inf_size >= 0 ? inf : nullptr,
                             inf_size >= 0 ? static_cast<size_t>(inf_size) : 0, pictures[i], reason, sizeof reason)) {
            fprintf(stderr, "%s: %s\n", kProgram, reason);
            ready = false;
        }
    }
    if (!ready) return 1;

    static uint8_t image[kMaxDiscBytes];
    if (!build_disc(request.tracks, request.title, pictures, request.given, image, reason, sizeof reason)) {
        fprintf(stderr, "%s: %s\n", kProgram, reason);
        return 1;
    }
    const size_t size = static_cast<size_t>(request.tracks) * kSectorsPerTrack * kSectorBytes;
    return write_output_file(kProgram, request.output, image, size) ? 0 : 1;
}
