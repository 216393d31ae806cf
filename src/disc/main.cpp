// tarnvil-disc: puts screen dumps on a bootable DFS disc image that shows
// them one after another.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/dump.h"
#include "common/file_io.h"
#include "disc/dfs.h"
#include "screen/modes.h"

namespace {

const char kProgram[] = "tarnvil-disc";

const char kUsage[] =
    "Usage: tarnvil-disc [-o OUT.ssd] [--tracks 40|80] [--title TEXT] [-m MODE] DUMP [[-m MODE] DUMP ...]\n"
    "Write a bootable single-sided DFS disc image that shows tarnvil's screen dumps.\n"
    "\n"
    "  -o, --output FILE  the disc image to write (default pictures.ssd)\n"
    "  -t, --tracks N     40 or 80 tracks (default 80)\n"
    "  -T, --title TEXT   the disc title, at most 12 characters (default PICTURES)\n"
    "  -m, --mode MODE    mode of the dumps that follow: 0, 1, 2, 4 or 5 (default 2)\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "The pictures are stored as $.P1, $.P2, ... Boot the disc with SHIFT+BREAK:\n"
    "each picture stays until a key is pressed, the last one until ESCAPE or BREAK.\n";

constexpr int32_t kMaxPictures = kMaxDiscFiles - 1;  // beside !BOOT

struct Picture {
    const char* path;
    int32_t mode;
};

int usage_error(const char* message) {
    fprintf(stderr, "%s: %s\nTry 'tarnvil-disc --help' for more information.\n", kProgram, message);
    return 2;
}

bool parse_hex(const char*& p, uint32_t& value) {
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    uint64_t parsed = 0;
    for (;; ++p) {
        const char c = *p;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) break;
        parsed = (parsed << 4 | static_cast<uint64_t>(digit)) & 0xFFFFFFFFu;
    }
    value = static_cast<uint32_t>(parsed);
    return p > start && p - start <= 8;
}

// Load and execution addresses from DUMP.inf ("NAME LOAD EXEC ..."), or
// the mode's screen start and 0 when there is no sidecar.
bool read_addresses(const Picture& picture, uint32_t& load, uint32_t& exec) {
    load = screen_mode_for(picture.mode).screen_start;
    exec = 0;
    char inf_path[4096];
    if (snprintf(inf_path, sizeof inf_path, "%s.inf", picture.path) >= static_cast<int>(sizeof inf_path)) return true;
    uint8_t line[256] = {};
    const ssize_t got = read_file_prefix(inf_path, line, sizeof line - 1);
    if (got < 0) {
        if (errno == ENOENT) return true;
        fprintf(stderr, "%s: %s: %s\n", kProgram, inf_path, strerror(errno));
        return false;
    }
    const char* p = reinterpret_cast<const char*>(line);
    while (*p == ' ' || *p == '\t') ++p;
    const char* name = p;
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') ++p;
    if (p == name || !parse_hex(p, load) || !parse_hex(p, exec) ||
        !(*p == '\0' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
        fprintf(stderr, "%s: %s: not an INF line (NAME LOAD EXEC)\n", kProgram, inf_path);
        return false;
    }
    return true;
}

bool valid_title(const char* title) {
    if (strlen(title) > static_cast<size_t>(kMaxTitleLength)) return false;
    for (const char* c = title; *c; ++c)
        if (*c < ' ' || *c > '~') return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    static const option kOptions[] = {{"output", required_argument, nullptr, 'o'},
                                      {"tracks", required_argument, nullptr, 't'},
                                      {"title", required_argument, nullptr, 'T'},
                                      {"mode", required_argument, nullptr, 'm'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    const char* output = "pictures.ssd";
    const char* title = "PICTURES";
    int32_t tracks = 80;
    int32_t mode = 2;
    Picture pictures[kMaxPictures];
    int32_t count = 0;
    int32_t given = 0;
    // A leading '-' in the option string hands over dump names in order,
    // so each -m applies to the dumps after it.
    for (int c; (c = getopt_long(argc, argv, "-o:t:T:m:h", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 1:
            if (count < kMaxPictures) pictures[count++] = {optarg, mode};
            ++given;
            break;
        case 'o':
            output = optarg;
            break;
        case 't':
            if (strcmp(optarg, "40") != 0 && strcmp(optarg, "80") != 0) return usage_error("--tracks must be 40 or 80");
            tracks = atoi(optarg);
            break;
        case 'T':
            title = optarg;
            if (!valid_title(title)) return usage_error("the title must be at most 12 printable characters");
            break;
        case 'm':
            if (!parse_mode_argument(optarg, mode)) return usage_error("the mode must be 0, 1, 2, 4 or 5");
            break;
        case 'h':
            fputs(kUsage, stdout);
            return 0;
        case 'V':
            printf("tarnvil-disc %s\n", TARNVIL_VERSION);
            return 0;
        default:
            fputs("Try 'tarnvil-disc --help' for more information.\n", stderr);
            return 2;
        }
    }
    if (given == 0) return usage_error("no screen dump named");
    if (given > kMaxPictures) {
        fprintf(stderr, "%s: %d pictures given, but a disc holds at most %d beside !BOOT\n", kProgram,
                static_cast<int>(given), static_cast<int>(kMaxPictures));
        return 1;
    }

    static uint8_t dumps[kMaxPictures][kMaxScreenBytes];
    DiscFile files[kMaxDiscFiles];
    int32_t modes[kMaxPictures];
    bool readable = true;
    for (int32_t i = 0; i < count; ++i) {
        DiscFile& file = files[i + 1];
        if (!read_screen_dump(kProgram, pictures[i].path, pictures[i].mode, dumps[i]) ||
            !read_addresses(pictures[i], file.load, file.exec)) {
            readable = false;
            continue;
        }
        // "P1" .. "P30"
        const int32_t number = i + 1;
        char* name = file.name;
        *name++ = 'P';
        if (number >= 10) *name++ = static_cast<char>('0' + number / 10);
        *name++ = static_cast<char>('0' + number % 10);
        *name = '\0';
        file.data = dumps[i];
        file.length = static_cast<uint32_t>(screen_bytes(screen_mode_for(pictures[i].mode)));
        modes[i] = pictures[i].mode;
    }
    if (!readable) return 1;

    char boot[512];
    const size_t boot_length = write_boot_program(modes, count, boot, sizeof boot);
    files[0] = {"!BOOT", 0, 0, reinterpret_cast<const uint8_t*>(boot), static_cast<uint32_t>(boot_length)};

    const int32_t total = tracks * kSectorsPerTrack;
    const int32_t needed = sectors_needed(files, count + 1);
    if (needed > total) {
        fprintf(stderr, "%s: the pictures need %d sectors, but a %d-track disc has %d; nothing written\n", kProgram,
                static_cast<int>(needed), static_cast<int>(tracks), static_cast<int>(total));
        return 1;
    }
    static uint8_t image[kMaxDiscBytes];
    write_ssd(tracks, title, 3, files, count + 1, image);
    return write_output_file(kProgram, output, image, static_cast<size_t>(total) * kSectorBytes) ? 0 : 1;
}
