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
#include "cli/disc/disc_command.h"
#include "driver/driver.h"
#include "lib/tarnvil.h"
#include "cli/fit/fit_command.h"
#include "cli/tool.h"
#include "cli/view/view_command.h"

namespace {

// What the last call printed on standard output and on standard error.
MessageText printed;
MessageText complaints;

MessageSink fresh(MessageText& text) {
    release_text(text);
    return collect_into(text);
}

// The bytes of the `index`th file a companion tool's arguments name (a
// dump, or tarnvil-fit's picture) and of a dump's sidecar. A size of -1
// means there is no such file.
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

bool load_page_file(void* context, int32_t index, const char*, LoadedFile& file) {
    const PageFiles& page = *static_cast<const PageFiles*>(context);
    if (index < 0 || index >= page.count || page.files[index].dump_size < 0) {
        errno = ENOENT;
        return false;
    }
    file = {page.files[index].dump, static_cast<size_t>(page.files[index].dump_size), nullptr};
    return true;
}

ToolRun page_run(PageFiles& files) {
    return {fresh(printed), fresh(complaints), false, &files, read_page_file, load_page_file};
}

// The last conversion, and the last preview as RGBA.
ConvertedPicture conversion;

struct Preview {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> rgba;
} picture;

bool keep_as_rgba(void*, const ToolRun& run, const char*, const IndexedImage& image) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    picture.rgba.reset(new (std::nothrow) uint8_t[pixels * 4]);
    if (!picture.rgba) {
        say(run.errors, "tarnvil-view: out of memory\n");
        return false;
    }
    for (size_t i = 0; i < pixels; ++i) {
        memcpy(&picture.rgba[4 * i], image.rgb[image.indices[i]], 3);
        picture.rgba[4 * i + 3] = 255;
    }
    picture.width = image.width;
    picture.height = image.height;
    return true;
}

// The last disc image.
struct {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
} disc;

bool keep_disc(void*, const ToolRun& run, const char*, const DiscImage& image) {
    disc.bytes.reset(new (std::nothrow) uint8_t[image.size]);
    disc.size = disc.bytes ? image.size : 0;
    if (!disc.bytes) {
        say(run.errors, "tarnvil-disc: out of memory\n");
        return false;
    }
    memcpy(disc.bytes.get(), image.bytes, image.size);
    return true;
}

PpmBytes fitted;
char fitted_palette[9];

bool keep_ppm(void*, const ToolRun&, const char*, const PpmBytes& ppm) {
    fitted.data.reset(new (std::nothrow) uint8_t[ppm.size]);
    fitted.size = fitted.data ? ppm.size : 0;
    fitted.palette = ppm.palette;
    fitted_palette[0] = '\0';
    if (ppm.palette.colours > 0) palette_digits(ppm.palette, fitted_palette);
    if (fitted.data) memcpy(fitted.data.get(), ppm.data.get(), ppm.size);
    return fitted.data != nullptr;
}

}  // namespace

extern "C" {

// What the last call printed, on standard output and on standard error.
EMSCRIPTEN_KEEPALIVE const char* tarnvil_printed() { return printed.text; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_printed_size() { return static_cast<int32_t>(printed.size); }
EMSCRIPTEN_KEEPALIVE const char* tarnvil_complaints() { return complaints.text; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_complaints_size() { return static_cast<int32_t>(complaints.size); }

// `tarnvil ARGUMENT` on a file of `size` bytes: returns where the
// file-name part of the argument starts; the console is in
// tarnvil_printed, the dump and sidecar below (a size of 0 when not
// written).
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_convert(const char* argument, const uint8_t* bytes, int32_t size) {
    release_text(complaints);
    convert_picture(argument, bytes, static_cast<size_t>(size), fresh(printed), conversion);
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
    picture = Preview{};
    return view_dumps(argc, argv, page_run(page), {nullptr, keep_as_rgba}) == 0 && picture.rgba;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_picture() { return picture.rgba.get(); }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_width() { return picture.width; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_height() { return picture.height; }

// tarnvil-disc with these arguments and files: 1 with the disc image, 0
// with its messages.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_disc(int32_t argc, char** argv, const PageFile* files, int32_t count) {
    PageFiles page{files, count};
    disc.bytes.reset();
    disc.size = 0;
    return make_disc(argc, argv, page_run(page), {nullptr, keep_disc}) == 0 && disc.bytes;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_disc_image() { return disc.bytes.get(); }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_disc_size() { return static_cast<int32_t>(disc.size); }

// tarnvil-fit with these arguments and files: 1 with the PPM of its
// (last) picture, 0 with its messages.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_fit(int32_t argc, char** argv, const PageFile* files, int32_t count) {
    PageFiles page{files, count};
    fitted = PpmBytes{};
    fitted_palette[0] = '\0';
    return fit_pictures(argc, argv, page_run(page), {nullptr, keep_ppm}) == 0 && fitted.data;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_ppm() { return fitted.data.get(); }
// The palette it prepared the picture for, "" for none.
EMSCRIPTEN_KEEPALIVE const char* tarnvil_ppm_palette() { return fitted_palette; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_ppm_size() { return static_cast<int32_t>(fitted.size); }

// Whether tarnvil-fit decodes these bytes itself; the page hands it what
// only a browser reads (JPEG, WebP, ...) as the pixels the browser decoded.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_fit_decodes(const uint8_t* bytes, int32_t size) {
    const PictureFormat format = picture_format(bytes, static_cast<size_t>(size));
    return format != PictureFormat::kUnknown && format != PictureFormat::kJpeg;
}

// The size a picture shows at (a JPEG turned as its EXIF says), read from
// its header: 1 with `size[0]` x `size[1]`, 0 where tarnvil-fit cannot
// read it.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_size(const uint8_t* bytes, int32_t length, int32_t* size) {
    char reason[160];
    return read_picture_size(bytes, static_cast<size_t>(length), size[0], size[1], reason, sizeof reason);
}

// How much the browser may reduce a picture shown `width` x `height`
// while decoding it, for tarnvil-fit's mode, aspect correction, fill (0
// crop, 1 fit, 2 stretch) and dither (1: error diffusion, which works at
// the mode's own pixels whatever the aspect).
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_fit_reduction(int32_t width, int32_t height, int32_t mode, int32_t aspect,
                                                   int32_t fill, int32_t diffuse) {
    FitSettings settings;
    settings.mode = mode;
    settings.aspect = aspect != 0;
    settings.fill = static_cast<Fill>(fill);
    settings.dither = diffuse ? Dither::kDiffuse : Dither::kOrdered;
    return decode_reduction(width, height, settings);
}

// `rgba`, `width` x `height` pixels, at `out_width` x `out_height` in
// `out`, averaged in light: a preview at the size the page shows it. 1
// when done, 0 for a size out of range.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_scale(const uint8_t* rgba, int32_t width, int32_t height, uint8_t* out,
                                           int32_t out_width, int32_t out_height) {
    return scale_in_light(rgba, width, height, out, out_width, out_height);
}

// The words as one command, quoted as `shell` takes them back (0: a POSIX
// shell, 1: Windows' cmd.exe), in tarnvil_printed: the page shows the
// commands the programs print, in their words.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_command(int32_t count, char** words, int32_t shell) {
    size_t capacity = 1;
    for (int32_t i = 0; i < count; ++i) capacity += 4 * strlen(words[i]) + 3;
    std::unique_ptr<char[]> command(new (std::nothrow) char[capacity]);
    const MessageSink out = fresh(printed);
    if (!command || !shell_command(words, static_cast<size_t>(count), shell ? platform::Shell::kCmd : platform::Shell::kPosix,
                                   command.get(), capacity))
        return 0;
    say_text(out, command.get(), strlen(command.get()));
    return 1;
}

// tarnvil's option block for a picture tarnvil-fit prepared with these
// settings, in tarnvil_printed: with error diffusion (`diffuse` 1), no
// halftone and no aspect correction, whatever the others say.
EMSCRIPTEN_KEEPALIVE void tarnvil_option_block(int32_t mode, int32_t halftone, int32_t stagger, int32_t aspect,
                                               int32_t diffuse) {
    FitSettings settings;
    settings.mode = mode;
    settings.halftone = static_cast<HalftoneType>(halftone);
    settings.stagger = stagger != 0;
    settings.aspect = aspect != 0;
    settings.dither = diffuse ? Dither::kDiffuse : Dither::kOrdered;
    const ConversionOptions options = conversion_for(settings);
    char block[8];
    format_option_block(options, block);
    say_text(fresh(printed), block, strlen(block));
}

// Where tarnvil-fit writes the PPM of a picture named `picture` by
// default, in tarnvil_printed; 0 when the name is too long.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_ppm_name(const char* picture) {
    const MessageSink out = fresh(printed);
    const size_t capacity = strlen(picture) + 5;
    std::unique_ptr<char[]> name(new (std::nothrow) char[capacity]);
    if (!name || !ppm_name_for(picture, name.get(), capacity)) return 0;
    say_text(out, name.get(), strlen(name.get()));
    return 1;
}

// What the page shows and passes, as the programs have it, in
// tarnvil_printed as JSON: each mode's own palette, the physical colours'
// names, and tarnvil-fit's options ("value" or "flag").
EMSCRIPTEN_KEEPALIVE void tarnvil_facts() {
    const MessageSink out = fresh(printed);
    say(out, "{\"palettes\":{");
    const int32_t modes[] = {0, 1, 2, 4, 5};
    for (int32_t mode : modes) {
        char digits[9];
        palette_digits(default_palette(mode), digits);
        say(out, "%s\"%d\":\"%s\"", mode ? "," : "", static_cast<int>(mode), digits);
    }
    say(out, "},\"colours\":[");
    for (size_t i = 0; i < 8; ++i) say(out, "%s\"%s\"", i ? "," : "", kColourNames[i]);
    say(out, "],\"fitOptions\":{");
    const size_t count = fit_tool().option_count;
    const OptionSpec* options = fit_tool().options;
    bool first = true;
    for (size_t i = 0; i < count; ++i) {
        // The page asks for help and the version in its own way.
        if (strcmp(options[i].long_name, "help") == 0 || strcmp(options[i].long_name, "version") == 0) continue;
        say(out, "%s\"%s\":\"%s\"", first ? "" : ",", options[i].long_name, options[i].value ? "value" : "flag");
        first = false;
    }
    say(out, "}}");
}

}  // extern "C"
