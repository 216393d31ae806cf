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
#include <iterator>
#include <memory>
#include <new>

#include "console/console.h"
#include "cli/disc/disc_command.h"
#include "driver/driver.h"
#include "lib/tarnvil.h"
#include "cli/fit/fit_command.h"
#include "cli/picture_options.h"
#include "screen/halftone.h"
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

// tarnvil-fit's settings from the page, given as the words of its command
// line.
bool page_settings(int32_t argc, char** argv, FitSettings& settings) {
    PageFiles none{nullptr, 0};
    return read_fit_settings(argc, argv, page_run(none), settings);
}

// A JSON string, quoted and escaped.
void say_json_string(const MessageSink& out, const char* text) {
    say_text(out, "\"", 1);
    for (const char* p = text; *p; ++p) {
        if (*p == '"' || *p == '\\') say(out, "\\%c", *p);
        else if (static_cast<unsigned char>(*p) < 0x20) say(out, "\\u%04x", static_cast<unsigned>(*p));
        else say_text(out, p, 1);
    }
    say_text(out, "\"", 1);
}

PpmBytes fitted;
char fitted_palette[9];
char fitted_nula[64];

// A MODE 7 page's sidecar, which tarnvil-fit writes after the page.
char fitted_sidecar[32];
int32_t fitted_sidecar_size = 0;

bool keep_ppm(void*, const ToolRun&, const char* path, const PpmBytes& ppm) {
    const size_t length = strlen(path);
    if (length > 4 && strcmp(path + length - 4, ".inf") == 0) {
        fitted_sidecar_size = static_cast<int32_t>(ppm.size < sizeof fitted_sidecar ? ppm.size : sizeof fitted_sidecar);
        memcpy(fitted_sidecar, ppm.data.get(), static_cast<size_t>(fitted_sidecar_size));
        return true;
    }
    fitted.data.reset(new (std::nothrow) uint8_t[ppm.size]);
    fitted.size = fitted.data ? ppm.size : 0;
    fitted.palette = ppm.palette;
    fitted_palette[0] = '\0';
    if (ppm.palette.colours > 0) palette_digits(ppm.palette, fitted_palette);
    fitted_nula[0] = '\0';
    if (ppm.nula.colours > 0) format_nula_palette(ppm.nula, fitted_nula);
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
    fitted_nula[0] = '\0';
    fitted_sidecar_size = 0;
    return fit_pictures(argc, argv, page_run(page), {nullptr, keep_ppm}) == 0 && fitted.data;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarnvil_ppm() { return fitted.data.get(); }
// The palette it prepared the picture for, "" for none.
EMSCRIPTEN_KEEPALIVE const char* tarnvil_ppm_palette() { return fitted_palette; }
// For MODE 7, where tarnvil_ppm is the page itself: its sidecar (a size
// of 0 for none).
EMSCRIPTEN_KEEPALIVE const char* tarnvil_ppm_sidecar() { return fitted_sidecar; }
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_ppm_sidecar_size() { return fitted_sidecar_size; }
// The VideoNuLA's colours it prepared the picture for, "" for none.
EMSCRIPTEN_KEEPALIVE const char* tarnvil_ppm_nula() { return fitted_nula; }
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
// while decoding it, for tarnvil-fit's settings as the words of its
// command line (argv[0] included); 0 when they are no settings.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_fit_reduction(int32_t width, int32_t height, int32_t argc, char** argv) {
    FitSettings settings;
    return page_settings(argc, argv, settings) ? decode_reduction(width, height, settings) : 0;
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
// settings (tarnvil-fit's words), in tarnvil_printed; 0 with the mistake
// in tarnvil_complaints.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_option_block(int32_t argc, char** argv) {
    FitSettings settings;
    if (!page_settings(argc, argv, settings)) return 0;
    char block[8];
    format_option_block(conversion_for(settings), block);
    say_text(fresh(printed), block, strlen(block));
    return 1;
}

// The settings (tarnvil-fit's words) as the fewest options that give them,
// in tarnvil_printed as a JSON object of their long names in order, each
// with its value, or true for a flag; 0 with the mistake in
// tarnvil_complaints.
EMSCRIPTEN_KEEPALIVE int32_t tarnvil_picture_options(int32_t argc, char** argv) {
    FitSettings settings;
    if (!page_settings(argc, argv, settings)) return 0;
    struct Words {
        MessageSink out;
        bool first = true;
    } words{fresh(printed)};
    say(words.out, "{");
    say_fit_settings(settings, &words, [](void* context, const char* name, const char* value) {
        Words& w = *static_cast<Words*>(context);
        say(w.out, "%s\"%s\":", w.first ? "" : ",", name);
        if (value) say_json_string(w.out, value);
        else say(w.out, "true");
        w.first = false;
    });
    say(words.out, "}");
    return 1;
}

// `name` as an operand of a command line: behind "./" where it starts with
// '-', in tarnvil_printed.
EMSCRIPTEN_KEEPALIVE void tarnvil_operand(const char* name) {
    say(fresh(printed), "%s%s", operand_prefix(name), name);
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
// tarnvil_printed as JSON: the modes (their pixels across, colours and own
// palette) and each mode's own palette by its number, the physical
// colours' names, the halftones', fills', tones' and dithers' names (with
// what each does), the settings' defaults, tarnvil-fit's options ("value"
// or "flag") and those of them that are for pictures, as tarnvil-view and
// tarnvil-disc take them.
EMSCRIPTEN_KEEPALIVE void tarnvil_facts() {
    const MessageSink out = fresh(printed);
    say(out, "{\"modes\":[");
    for (const ScreenMode& mode : kScreenModes) {
        char digits[9];
        palette_digits(default_palette(mode.mode), digits);
        say(out, "%s{\"mode\":%d,\"width\":%d,\"height\":%d,\"colours\":%d,\"palette\":\"%s\"}",
            &mode == kScreenModes ? "" : ",", static_cast<int>(mode.mode), static_cast<int>(screen_width(mode)),
            static_cast<int>(kScreenLines), static_cast<int>(mode.colours), digits);
    }
    // MODE 7: characters across and down, teletext's eight colours, no palette.
    say(out, ",{\"mode\":%d,\"width\":%d,\"height\":%d,\"colours\":8,\"teletext\":true}", static_cast<int>(kTeletextMode),
        static_cast<int>(kTeletextColumns), static_cast<int>(kTeletextRows));
    say(out, "],\"palettes\":{");
    for (const ScreenMode& mode : kScreenModes) {
        char digits[9];
        palette_digits(default_palette(mode.mode), digits);
        say(out, "%s\"%d\":\"%s\"", &mode == kScreenModes ? "" : ",", static_cast<int>(mode.mode), digits);
    }
    const auto names = [&](const char* key, const char* const* list, size_t count) {
        say(out, "],\"%s\":[", key);
        for (size_t i = 0; i < count; ++i) {
            if (i) say(out, ",");
            say_json_string(out, list[i]);
        }
    };
    say(out, "},\"colours\":[");
    for (size_t i = 0; i < 8; ++i) {
        if (i) say(out, ",");
        say_json_string(out, kColourNames[i]);
    }
    names("halftones", kHalftoneNames, sizeof kHalftoneNames / sizeof kHalftoneNames[0]);
    const auto choices = [&](const char* key, const Choice* list, size_t count) {
        say(out, "],\"%s\":[", key);
        for (size_t i = 0; i < count; ++i) {
            say(out, "%s{\"name\":", i ? "," : "");
            say_json_string(out, list[i].name);
            say(out, ",\"does\":");
            say_json_string(out, list[i].does);
            say(out, "}");
        }
    };
    choices("fills", kFillChoices, std::size(kFillChoices));
    choices("tones", kToneChoices, std::size(kToneChoices));
    choices("dithers", kDitherChoices, std::size(kDitherChoices));
    const FitSettings defaults{};
    say(out, "],\"defaults\":{\"mode\":%d,\"halftone\":%d,\"fill\":\"%s\",\"tone\":\"%s\",\"dither\":\"%s\"}",
        static_cast<int>(defaults.mode), static_cast<int>(defaults.halftone), kFillChoices[static_cast<int>(defaults.fill)].name,
        kToneChoices[static_cast<int>(defaults.tone)].name, kDitherChoices[static_cast<int>(defaults.dither)].name);
    say(out, ",\"fitOptions\":{");
    const ToolCommand& fit = fit_tool();
    bool first = true;
    for (size_t i = 0; i < fit.option_count; ++i) {
        const OptionSpec& option = fit.options[i];
        // The page asks for help and the version in its own way.
        if (option.id == kOptionHelp || option.id == kOptionVersion) continue;
        say(out, "%s\"%s\":\"%s\"", first ? "" : ",", option.long_name, option.value ? "value" : "flag");
        first = false;
    }
    say(out, "},\"pictureOptions\":[");
    first = true;
    for (size_t i = 0; i < fit.option_count; ++i) {
        if (!taken_for_pictures(fit.options[i].id)) continue;
        say(out, "%s\"%s\"", first ? "" : ",", fit.options[i].long_name);
        first = false;
    }
    say(out, "]}");
}

}  // extern "C"
