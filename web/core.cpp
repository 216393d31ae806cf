// The entry points the web page calls, around the same code the command-line
// programs run. The page's script writes the picture into the in-memory file
// system and reads the dump back, so a conversion takes the command line's
// own path from the argument to the files; the previewer and the disc writer
// work on bytes the script copies into the buffers below.
#include <emscripten/emscripten.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "disc/disc.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "records.h"
#include "screen/modes.h"
#include "tools/dump.h"
#include "view/render.h"

namespace {

// One message for the script to read after a call that failed: the lines
// tarnvil-view or tarnvil-disc would print on standard error.
char message[kMaxPictures * (platform::kMaxPath + 200)];

void clear_message() { message[0] = '\0'; }

// Appends "PROGRAM: TEXT\n", cut short (never overrun) if it does not fit.
void add_message(const char* program, const char* text) {
    const size_t used = strlen(message);
    snprintf(message + used, sizeof message - used, "%s: %s\n", program, text);
}

// A dump as the companion tools read it: at most one byte more than the
// largest screen, which is enough to tell a longer file apart.
constexpr size_t kDumpBytes = kMaxScreenBytes + 1;
// A sidecar as tarnvil-disc reads it.
constexpr size_t kInfBytes = 256;

uint8_t preview_dump[kDumpBytes];
uint8_t preview_rgba[640 * 512 * 4];

// What tarnvil-disc would be given on its command line, in the order it
// checks it: --tracks, --title, then -m MODE and the name of each dump.
struct DiscPictureRequest {
    char label[platform::kMaxPath];
    int32_t mode;
    int32_t dump_size;  // -1: no such file
    int32_t inf_size;   // -1: no sidecar
    uint8_t dump[kDumpBytes];
    char inf[kInfBytes];
};

struct DiscRequest {
    const char* tracks_error;
    int32_t tracks;
    char title_error[160];  // empty when the title is fine
    char title[kMaxTitleLength + 1];
    bool mode_error;
    int32_t given;  // every picture named, stored or not
    DiscPictureRequest pictures[kMaxPictures];
};

DiscRequest disc_request;
uint8_t disc_image[kMaxDiscBytes];

}  // namespace

extern "C" {

// The offset of the file-name part of a tarnvil argument. Prints the option
// block's messages as tarnvil does; the script discards them.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_name_offset(const char* argument) {
    ConversionOptions options = kDefaultOptions;
    const char* name = parse_option_block(argument, options);
    fflush(stdout);
    return static_cast<int32_t>(name - argument);
}

// Runs "tarnvil ARGUMENT" on the in-memory file system and flushes what it
// printed. One argument only: with none, tarnvil would print its usage and
// end the process.
EMSCRIPTEN_KEEPALIVE void tarnvil_convert(char* argument) {
    char program[] = "tarnvil";
    char* arguments[] = {program, argument, nullptr};
    run_conversions(2, arguments);
    fflush(stdout);
}

EMSCRIPTEN_KEEPALIVE const char* tarnvil_message() { return message; }

EMSCRIPTEN_KEEPALIVE uint8_t* tarnvil_preview_buffer() { return preview_dump; }

// tarnvil-view's 640 x 512 picture of the `size` bytes in the preview
// buffer, as RGBA. Null when tarnvil-view would refuse them, with its
// message.
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_preview(const char* mode_text, int32_t size) {
    clear_message();
    int32_t mode = 2;
    if (!parse_mode_argument(mode_text, mode)) {
        char reason[platform::kMaxPath + 64];
        snprintf(reason, sizeof reason, "invalid mode '%s' (use 0, 1, 2, 4 or 5)", mode_text);
        add_message("tarnvil-view", reason);
        return nullptr;
    }
    char reason[192];
    char why[160];
    if (!check_dump_size(mode, size, why, sizeof why)) {
        snprintf(reason, sizeof reason, "dump: %s", why);
        add_message("tarnvil-view", reason);
        return nullptr;
    }
    RgbImage image;
    if (!render_dump(mode, preview_dump, false, image)) {
        add_message("tarnvil-view", "out of memory");
        return nullptr;
    }
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    for (size_t i = 0; i < pixels; ++i) {
        preview_rgba[4 * i] = image.pixels[3 * i];
        preview_rgba[4 * i + 1] = image.pixels[3 * i + 1];
        preview_rgba[4 * i + 2] = image.pixels[3 * i + 2];
        preview_rgba[4 * i + 3] = 255;
    }
    return preview_rgba;
}

// A disc is requested in steps: the options, then each picture, then
// tarnvil_disc_build. Null text means the option was not given.
EMSCRIPTEN_KEEPALIVE void tarnvil_disc_start(const char* tracks, const char* title) {
    DiscRequest& request = disc_request;
    request.tracks_error = nullptr;
    request.tracks = 80;
    if (tracks && !parse_tracks(tracks, request.tracks)) request.tracks_error = kTracksMessage;
    request.title_error[0] = '\0';
    if (!title) title = "PICTURES";
    if (check_title(title, request.title_error, sizeof request.title_error))
        snprintf(request.title, sizeof request.title, "%s", title);
    request.mode_error = false;
    request.given = 0;
}

// Names the next picture. Returns where the script copies its dump (the
// first kDumpBytes bytes) and, right after the dump area, its sidecar (the
// first kInfBytes); null once the disc has more pictures than it can hold,
// which tarnvil-disc refuses before it reads any.
EMSCRIPTEN_KEEPALIVE uint8_t* tarnvil_disc_picture(const char* label, const char* mode_text, int32_t dump_size,
                                                   int32_t inf_size) {
    DiscRequest& request = disc_request;
    int32_t mode = 2;
    if (!parse_mode_argument(mode_text, mode)) request.mode_error = true;
    const int32_t index = request.given++;
    if (index >= kMaxPictures) return nullptr;
    DiscPictureRequest& picture = request.pictures[index];
    snprintf(picture.label, sizeof picture.label, "%s", label);
    picture.mode = mode;
    constexpr int32_t kDumpLimit = static_cast<int32_t>(kDumpBytes);
    constexpr int32_t kInfLimit = static_cast<int32_t>(kInfBytes);
    picture.dump_size = dump_size < 0 ? -1 : dump_size < kDumpLimit ? dump_size : kDumpLimit;
    picture.inf_size = inf_size < 0 ? -1 : inf_size < kInfLimit ? inf_size : kInfLimit;
    static_assert(offsetof(DiscPictureRequest, inf) == offsetof(DiscPictureRequest, dump) + kDumpBytes);
    return picture.dump;
}

// The disc image (tracks * 2560 bytes), or null with tarnvil-disc's
// messages, checked in the order tarnvil-disc checks them.
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_disc_build() {
    static const char kProgram[] = "tarnvil-disc";
    DiscRequest& request = disc_request;
    clear_message();
    char reason[platform::kMaxPath + 160];
    if (request.tracks_error) {
        add_message(kProgram, request.tracks_error);
        return nullptr;
    }
    if (request.title_error[0]) {
        add_message(kProgram, request.title_error);
        return nullptr;
    }
    if (request.mode_error) {
        add_message(kProgram, kModeMessage);
        return nullptr;
    }
    if (request.given == 0) {
        add_message(kProgram, kNoDumpMessage);
        return nullptr;
    }
    if (!check_picture_count(request.given, reason, sizeof reason)) {
        add_message(kProgram, reason);
        return nullptr;
    }

    DiscPicture pictures[kMaxPictures];
    bool ready = true;
    for (int32_t i = 0; i < request.given; ++i) {
        const DiscPictureRequest& picture = request.pictures[i];
        if (picture.dump_size < 0) {
            snprintf(reason, sizeof reason, "%s: %s", picture.label, strerror(ENOENT));
            add_message(kProgram, reason);
            ready = false;
            continue;
        }
        const bool has_inf = picture.inf_size >= 0;
        if (!prepare_picture(picture.label, picture.mode, picture.dump, picture.dump_size, has_inf ? picture.inf : nullptr,
                             has_inf ? static_cast<size_t>(picture.inf_size) : 0, pictures[i], reason, sizeof reason)) {
            add_message(kProgram, reason);
            ready = false;
        }
    }
    if (!ready) return nullptr;
    if (!build_disc(request.tracks, request.title, pictures, request.given, disc_image, reason, sizeof reason)) {
        add_message(kProgram, reason);
        return nullptr;
    }
    return disc_image;
}

EMSCRIPTEN_KEEPALIVE int32_t tarnvil_disc_size() { return disc_request.tracks * kSectorsPerTrack * kSectorBytes; }

}  // extern "C"
