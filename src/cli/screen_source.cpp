#include "cli/screen_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/output.h"
#include "platform/platform.h"

namespace {

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
    // Converted as tarnvil-fit's printed argument would convert it; the
    // name is only reported, and nothing is.
    const bool fitted = fit_file(file.bytes, file.size, named.fit, screen.ppm, reason, capacity);
    release_file(file);
    if (!fitted) return false;
    const ConversionOptions options = conversion_for(named.fit);
    char block[8];
    format_option_block(options, block);
    char argument[16];
    snprintf(argument, sizeof argument, "%sp.ppm", block);
    convert_picture(argument, screen.ppm.data.get(), screen.ppm.size, no_messages(), screen.converted);
    if (screen.converted.files.dump_size == 0) {
        snprintf(reason, capacity, "out of memory");
        return false;
    }
    screen.dump = screen.converted.files.dump;
    screen.palette = named.palette;
    if (screen.ppm.palette[0]) parse_palette(screen.ppm.palette, named.mode, screen.palette, reason, capacity);
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
    const bool dump_sized = got == screen_bytes(screen_mode_for(named.mode));
    if (picture_format(screen.read, static_cast<size_t>(got)) != PictureFormat::kUnknown) {
        if (load_picture(run, index, named, screen, reason, sizeof reason)) return true;
        if (!dump_sized) {
            say(run.errors, "%s: %s: %s\n", program, named.path, reason);
            return false;
        }
    }
    if (named.fit.palette_choice == FitSettings::PaletteChoice::kBest) {
        say(run.errors, "%s: %s: -p auto is for pictures; show a dump in the palette it was prepared for\n", program,
            named.path);
        return false;
    }
    if (!check_dump_size(named.mode, got, reason, sizeof reason)) {
        say(run.errors, "%s: %s: %s\n", program, named.path, reason);
        return false;
    }
    screen.from_picture = false;
    screen.dump = screen.read;
    screen.palette = named.palette;
    return true;
}

bool keep_files(const ToolRun& run, const char* program, const char* directory, const NamedDump& named,
                const LoadedScreen& screen) {
    const char* base = named.path;
    for (const char* p = named.path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    char ppm[platform::kMaxPath];
    char stem[platform::kMaxPath];
    if (!ppm_name_for(base, stem, sizeof stem) ||
        snprintf(ppm, sizeof ppm, "%s/%s", directory, stem) >= static_cast<int>(sizeof ppm)) {
        say(run.errors, "%s: %s/%s: File name too long\n", program, directory, base);
        return false;
    }
    if (!platform::make_directory(directory)) {
        say(run.errors, "%s: %s: %s\n", program, directory, strerror(errno));
        return false;
    }
    IndexedImage preview;
    PngBytes png;
    if (!render_dump(named.mode, screen.dump, false, screen.palette, preview) || !encode_png(preview, png)) {
        say(run.errors, "%s: %s: out of memory\n", program, named.path);
        return false;
    }
    const ScreenFiles& files = screen.converted.files;
    const struct {
        const char* suffix;
        const void* data;
        size_t size;
    } kept[] = {{"", screen.ppm.data.get(), screen.ppm.size},
                {".bbc", files.dump, static_cast<size_t>(files.dump_size)},
                {".bbc.inf", files.inf, static_cast<size_t>(files.inf_size)},
                {".bbc.png", png.data.get(), png.size}};
    for (const auto& file : kept) {
        char path[platform::kMaxPath + 16];
        snprintf(path, sizeof path, "%s%s", ppm, file.suffix);
        if (!write_output_file(run, program, path, file.data, file.size)) return false;
    }
    return true;
}
