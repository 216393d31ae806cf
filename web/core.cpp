// The entry points the web page calls: the programs' own code, on bytes the
// page holds. The script passes what a command line would (an argument to
// tarnvil, the arguments of tarnvil-view or tarnvil-disc) with the bytes
// of each file it names, and reads back the files the program would write
// and the messages it would print.
#include <emscripten/emscripten.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "console/console.h"
#include "disc/disc_command.h"
#include "driver/driver.h"
#include "tools/tool.h"
#include "view/view_command.h"

namespace {

// What the last call printed: tarnvil's console, or a companion tool's
// errors.
MessageText messages;

MessageSink fresh_messages() {
    release_text(messages);
    return collect_into(messages);
}

// The bytes of the `index`th dump that a companion tool's arguments name,
// and of its sidecar. A size of -1 means there is no such file.
struct PageFile {
    const uint8_t* dump;
    int32_t dump_size;
    const uint8_t* sidecar;
    int32_t sidecar_size;
};

// The script lays these out as four 32-bit words.
static_assert(sizeof(PageFile) == 16 && offsetof(PageFile, sidecar_size) == 12);

struct PageFiles {
    const PageFile* files;
    int32_t count;
};

int64_t read_page_file(void* context, int32_t index, InputKind kind, const char*, uint8_t* buffer,
                       size_t capacity) {
    const PageFiles& page = *static_cast<const PageFiles*>(context);
    const PageFile none{nullptr, -1, nullptr, -1};
    const PageFile& file = index >= 0 && index < page.count ? page.files[index] : none;
    const uint8_t* bytes = kind == InputKind::kDump ? file.dump : file.sidecar;
    const int32_t size = kind == InputKind::kDump ? file.dump_size : file.sidecar_size;
    if (size < 0) {
        errno = ENOENT;
        return -1;
    }
    const size_t taken = static_cast<size_t>(size) < capacity ? static_cast<size_t>(size) : capacity;
    if (taken > 0) memcpy(buffer, bytes, taken);
    return static_cast<int64_t>(taken);
}

ToolRun page_run(PageFiles& files) {
    const MessageSink sink = fresh_messages();
    return {sink, sink, false, &files, read_page_file};
}

// The last conversion, and the last preview as RGBA.
ConvertedPicture conversion;

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> rgba;
} picture;

bool keep_as_rgba(void*, const ToolRun& run, const char*, const RgbImage& image) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    picture.rgba.reset(new (std::nothrow) uint8_t[pixels * 4]);
    if (!picture.rgba) {
        say(run.errors, "tarnvil-view: out of memory\n");
        return false;
    }
    for (size_t i = 0; i < pixels; ++i) {
        memcpy(&picture.rgba[4 * i], &image.pixels[3 * i], 3);
        picture.rgba[4 * i + 3] = 255;
    }
    picture.width = image.width;
    picture.height = image.height;
    return true;
}

DiscImage disc;

}  // namespace

extern "C" {

// The last call's messages.
EMSCRIPTEN_KEEPALIVE const char* tarnvil_messages() { return messages.text; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_messages_size() { return static_cast<int32_t>(messages.size); }

// `tarnvil ARGUMENT` on a file of `size` bytes: returns where the
// file-name part of the argument starts; the console is in
// tarnvil_messages, the dump and sidecar below (a size of 0 when not
// written).
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_convert(const char* argument, const uint8_t* bytes, int32_t size) {
    convert_picture(argument, bytes, static_cast<size_t>(size), fresh_messages(), conversion);
    return static_cast<int32_t>(conversion.name - argument);
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_dump() { return conversion.files.dump; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_dump_size() { return conversion.files.dump_size; }
EMSCRIPTEN_KEEPALIVE const char* tarnvil_inf() { return conversion.files.inf; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_inf_size() { return conversion.files.inf_size; }

// tarnvil-view with these arguments (argv[0] included) and `count` files:
// 1 with the picture of its (last) dump, 0 with its messages.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_view(int32_t argc, char** argv, const PageFile* files, int32_t count) {
    PageFiles page{files, count};
    picture = Picture{};
    return view_dumps(argc, argv, page_run(page), {nullptr, keep_as_rgba}) == 0 && picture.rgba;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_picture() { return picture.rgba.get(); }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_width() { return picture.width; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_height() { return picture.height; }

// tarnvil-disc with these arguments and files: 1 with the disc image, 0
// with its messages.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_disc(int32_t argc, char** argv, const PageFile* files, int32_t count) {
    PageFiles page{files, count};
    disc = DiscImage{};
    return make_disc(argc, argv, page_run(page), disc) < 0;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_disc_image() { return disc.bytes; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_disc_size() { return static_cast<int32_t>(disc.size); }

}  // extern "C"
