#include "cli/screen_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/output.h"
#include "platform/platform.h"

namespace {

// Enough of a file's start to tell a picture's signature.
constexpr size_t kSignatureBytes = 32;

uint32_t little_endian_32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// A picture by its signature. BMP's "BM" and netpbm's "P1" to "P7" are two
// bytes that any screen may start with, so they count only with what
// follows them in such a file: the size of a BMP's second header, the
// white space after netpbm's magic.
bool starts_as_picture(const uint8_t* bytes, size_t size) {
    switch (picture_format(bytes, size)) {
    case PictureFormat::kUnknown: return false;
    case PictureFormat::kBmp: {
        if (size < 18) return false;
        const uint32_t header = little_endian_32(bytes + 14);
        for (const uint32_t known : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u})
            if (header == known) return true;
        return false;
    }
    case PictureFormat::kNetpbm:
        return size >= 3 && (bytes[2] == ' ' || bytes[2] == '\t' || bytes[2] == '\n' || bytes[2] == '\r' || bytes[2] == '#');
    default: return true;
    }
}

// A picture by its name: the extensions of the formats tarnvil-fit reads.
bool named_as_picture(const char* path) {
    const char* extension = platform::extension_of(path);
    char lower[8] = "";
    for (size_t i = 0; extension[i]; ++i) {
        if (i + 1 == sizeof lower) return false;
        lower[i] = static_cast<char>(extension[i] >= 'A' && extension[i] <= 'Z' ? extension[i] - 'A' + 'a' : extension[i]);
        lower[i + 1] = '\0';
    }
    for (const char* known : {".png", ".jpg", ".jpeg", ".jpe", ".jfif", ".gif", ".bmp", ".dib", ".pbm", ".pgm", ".ppm",
                              ".pnm", ".pam"})
        if (strcmp(lower, known) == 0) return true;
    return false;
}

// For a file named as a picture that is in none of the formats read.
void not_a_picture(const char* path, int32_t mode, int64_t size, char* reason, size_t capacity) {
    const int32_t dump = dump_bytes(mode);
    const int written = snprintf(reason, capacity, "not a picture tarnvil reads (PNG, JPEG, GIF, BMP, netpbm)");
    if (written < 0 || static_cast<size_t>(written) >= capacity) return;
    if (size != dump)
        snprintf(reason + written, capacity - static_cast<size_t>(written), ", nor a MODE %d screen dump (%d bytes)",
                 static_cast<int>(mode), static_cast<int>(dump));
    else  // a dump it may be, but named as it is, it is taken for a picture
        snprintf(reason + written, capacity - static_cast<size_t>(written),
                 "; a screen dump named %s is taken for a picture: rename it", platform::extension_of(path));
}

// tarnvil-fit's work on the whole file, then tarnvil's on the PPM.
bool load_picture(const ToolRun& run, int32_t index, const NamedDump& named, LoadedScreen& screen, char* reason,
                  size_t capacity) {
    if (named.fit.palette_choice == FitSettings::PaletteChoice::kGiven &&
        !palette_reachable(named.mode, named.fit.palette, named.fit.dither == Dither::kDiffuse, reason, capacity))
        return false;
    LoadedFile file;
    if (!run.load || !run.load(run.context, index, named.path, file)) {
        if (!run.load) errno = ENOENT;
        snprintf(reason, capacity, "%s", strerror(errno));
        return false;
    }
    // A MODE 7 page, as tarnvil-fit writes it, with its sidecar.
    if (named.mode == kTeletextMode) {
        const bool made = fit_teletext(file.bytes, file.size, named.fit, screen.files.dump, reason, capacity);
        release_file(file);
        if (!made) return false;
        screen.files.dump_size = kTeletextPageBytes;
        screen.files.inf_size = sidecar_line(kTeletextStart, screen.files.inf);
        screen.dump = screen.files.dump;
        screen.from_picture = true;
        return true;
    }
    const bool fitted = fit_file(file.bytes, file.size, named.fit, screen.ppm, reason, capacity);
    release_file(file);
    if (!fitted) return false;
    // Converted as tarnvil-fit's printed argument would convert it.
    if (!convert_prepared(named.fit, screen.ppm, screen.files)) {
        snprintf(reason, capacity, "out of memory");
        return false;
    }
    screen.dump = screen.files.dump;
    screen.palette = screen.ppm.palette.colours > 0 ? screen.ppm.palette : named.palette;
    screen.nula = screen.ppm.nula;
    screen.from_picture = true;
    return true;
}

}  // namespace

bool load_screen(const ToolRun& run, const char* program, int32_t index, const NamedDump& named, LoadedScreen& screen) {
    const int64_t got = run.read(run.context, index, InputKind::kDump, named.path, screen.read, sizeof screen.read);
    if (got < 0) {
        say(run.errors, "%s: %s: %s\n", program, named.path, strerror(errno));
        return false;
    }
    char reason[256];
    const bool by_bytes = starts_as_picture(screen.read, static_cast<size_t>(got));
    if (by_bytes || named_as_picture(named.path)) {
        if (!by_bytes) {
            not_a_picture(named.path, named.mode, got, reason, sizeof reason);
        } else if (load_picture(run, index, named, screen, reason, sizeof reason)) {
            return true;
        }
        say(run.errors, "%s: %s: %s\n", program, named.path, reason);
        return false;
    }
    if (named.fit.palette_choice == FitSettings::PaletteChoice::kBest) {
        say(run.errors, "%s: %s: -p auto is for pictures; show a dump in the palette it was prepared for\n", program,
            named.path);
        return false;
    }
    if (named.fit.nula_choice == FitSettings::NulaChoice::kBest) {
        say(run.errors, "%s: %s: --nula is for pictures; show a dump in the colours it was prepared for with "
            "--nula-palette\n", program, named.path);
        return false;
    }
    if (!check_dump_size(named.mode, got, reason, sizeof reason)) {
        say(run.errors, "%s: %s: %s\n", program, named.path, reason);
        return false;
    }
    screen.from_picture = false;
    screen.dump = screen.read;
    screen.palette = named.palette;
    screen.nula = named.nula;
    return true;
}

bool render_shown(int32_t mode, const LoadedScreen& screen, bool native, IndexedImage& image) {
    if (mode == kTeletextMode) return render_teletext(screen.dump, image);
    if (screen.nula.colours == 0) return render_dump(mode, screen.dump, native, screen.palette, image);
    uint8_t colours[8][3];
    nula_samples(screen.nula, colours);
    return render_dump_in(mode, screen.dump, native, colours, image);
}

bool taken_for_picture(const ToolRun& run, int32_t index, const char* path) {
    uint8_t first[kSignatureBytes];
    const int64_t got = run.read(run.context, index, InputKind::kDump, path, first, sizeof first);
    return (got > 0 && starts_as_picture(first, static_cast<size_t>(got))) || named_as_picture(path);
}

namespace {

// The kept files: the PPM's name, then the others', which add to it, and
// what each is called in a message.
constexpr struct {
    const char* suffix;
    const char* what;
} kKept[] = {{"", "PPM"}, {".bbc", "dump"}, {".bbc.inf", "sidecar"}, {".bbc.png", "preview"}};

}  // namespace

bool choose_kept_names(const ToolRun& run, const char* program, const char* directory, const NamedDump* dumps,
                       int32_t count, int32_t index, ChosenNames& chosen, char* ppm, size_t capacity) {
    const char* path = dumps[index].path;
    const char* base = platform::file_name_of(path);
    // A MODE 7 page has no PPM: its files are named as tarnvil-fit -m 7
    // names them, NAME.bbc and so on.
    const bool teletext = dumps[index].mode == kTeletextMode;
    const auto* const first = kKept + (teletext ? 1 : 0);
    const auto* const last = kKept + sizeof kKept / sizeof kKept[0];
    const size_t length = strlen(directory);
    const char* joint = length > 0 && (directory[length - 1] == '/' || directory[length - 1] == '\\') ? "" : "/";
    char stem[platform::kMaxPath];
    char name[platform::kMaxPath + 32];
    const bool stemmed = name_with_extension(base, "", stem, sizeof stem);
    // Named as the separate commands name them, with -2, -3, ... where
    // another picture of the run (photo.jpg beside photo.png) took that.
    for (int32_t number = 1;; ++number) {
        char numbered[16] = "";
        if (number > 1) snprintf(numbered, sizeof numbered, "-%d", static_cast<int>(number));
        if (!stemmed || snprintf(ppm, capacity, "%s%s%s%s%s", directory, joint, stem, numbered,
                                 teletext ? "" : ".ppm") >= static_cast<int>(capacity)) {
            say(run.errors, "%s: %s%s%s: File name too long\n", program, directory, joint, base);
            return false;
        }
        bool taken = false;
        for (const auto* kept = first; kept != last; ++kept) {
            snprintf(name, sizeof name, "%s%s", ppm, kept->suffix);
            taken = taken || already_chosen(chosen, name);
        }
        if (!taken) break;
    }
    for (const auto* kept = first; kept != last; ++kept) {
        snprintf(name, sizeof name, "%s%s", ppm, kept->suffix);
        for (int32_t i = 0; i < count; ++i) {
            if (!would_overwrite(run, name, dumps[i].path)) continue;
            if (i == index)
                say(run.errors, "%s: %s: the kept %s would overwrite the picture itself; name another folder with --keep\n",
                    program, path, kept->what);
            else
                say(run.errors, "%s: %s: the kept %s would overwrite the %s %s; name another folder with --keep\n",
                    program, path, kept->what, taken_for_picture(run, i, dumps[i].path) ? "picture" : "dump",
                    dumps[i].path);
            return false;
        }
    }
    // Nor a picture of the user's already in DIR under the PPM's or the
    // preview's name; NAME.ppm.bbc and NAME.ppm.bbc.inf are tarnvil's own
    // names, which only tarnvil writes.
    snprintf(name, sizeof name, "%s%s", ppm, kKept[3].suffix);
    const char* theirs = !run.from_shell || teletext || replaceable_ppm(ppm) ? nullptr : ppm;
    if (!theirs && run.from_shell && !replaceable_preview(name)) theirs = name;
    if (theirs) {
        say(run.errors, "%s: %s: the kept %s would overwrite %s, which %s did not write; name another folder with "
            "--keep\n", program, path, theirs == ppm ? "PPM" : "preview", theirs,
            theirs == ppm ? "tarnvil-fit" : "tarnvil-view");
        return false;
    }
    for (const auto* kept = first; kept != last; ++kept) {
        snprintf(name, sizeof name, "%s%s", ppm, kept->suffix);
        if (!choose_name(chosen, name)) {
            say(run.errors, "%s: %s: out of memory\n", program, path);
            return false;
        }
    }
    return true;
}

bool keep_files(const ToolRun& run, const char* program, const char* directory, const char* ppm, const NamedDump& named,
                const LoadedScreen& screen) {
    if (!platform::make_directories(directory)) {
        say(run.errors, "%s: %s: cannot make the --keep folder: %s\n", program, directory, strerror(errno));
        return false;
    }
    IndexedImage preview;
    PngBytes png;
    if (!render_shown(named.mode, screen, false, preview) || !encode_png(preview, png)) {
        say(run.errors, "%s: %s: out of memory\n", program, named.path);
        return false;
    }
    const ScreenFiles& files = screen.files;
    const struct {
        const void* data;
        size_t size;
    } contents[] = {{screen.ppm.data.get(), screen.ppm.size},
                    {files.dump, static_cast<size_t>(files.dump_size)},
                    {files.inf, static_cast<size_t>(files.inf_size)},
                    {png.data.get(), png.size}};
    static_assert(sizeof contents / sizeof contents[0] == sizeof kKept / sizeof kKept[0]);
    // A MODE 7 page has no PPM.
    for (size_t i = named.mode == kTeletextMode ? 1 : 0; i < sizeof kKept / sizeof kKept[0]; ++i) {
        char path[platform::kMaxPath + 32];
        snprintf(path, sizeof path, "%s%s", ppm, kKept[i].suffix);
        if (!write_output_file(run, program, path, contents[i].data, contents[i].size)) return false;
    }
    return true;
}
