#include "cli/view/view_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "lib/tarnvil.h"
#include "cli/command_line.h"
#include "cli/dump.h"
#include "cli/output.h"
#include "cli/picture_options.h"
#include "cli/screen_source.h"

namespace {

const char kProgram[] = "tarnvil-view";

enum Option { kMode, kPalette, kOutput, kNative };

constexpr auto kOptions = join_options(
    std::array<OptionSpec, 2>{{
        {"mode", 'm', "MODE", kMode, "screen mode of the dumps that follow: {modes} (default 2)"},
        {"palette", 'p', "PALETTE", kPalette,
         "the physical colour (0 to 7) each logical colour of the dumps that follow shows, as VDU 19 sets it: 07, "
         "0137 or 01234567 by default; -m resets it; for pictures also auto, the one that suits each best"},
    }},
    kDumpNulaOptions,
    std::array<OptionSpec, 2>{{
        {"output", 'o', "FILE", kOutput,
         "write the picture to FILE, - for standard output (one DUMP only; default: the name with \".bbc.png\" in "
         "place of a dump's \".bbc\" or a picture's extension)"},
        {"native", '\0', nullptr, kNative,
         "one picture pixel per screen pixel, instead of the 640 x 512 display with pixels of their true shape"},
    }},
    kFitSettingOptions, kConversionOptions, std::array<OptionSpec, 3>{{kKeepOption, kHelpOption, kVersionOption}});

constexpr ToolCommand kCommand{
    kProgram, kOptions.data(), kOptions.size(),
    "Usage: tarnvil-view [-m MODE] [-p PALETTE] [-o FILE] [--native] DUMP...\n"
    "       tarnvil-view [OPTIONS] PICTURE|DUMP...\n"
    "Render BBC Micro screen dumps written by tarnvil as PNG pictures; or show a\n"
    "picture as tarnvil-fit and tarnvil would make it.\n"
    "\n",
    21, true, "A dump does not record its mode: give the -m it was converted with.\n"};

void report_out_of_memory(const ToolRun& run, const char* path) {
    say(run.errors, "%s: %s: out of memory\n", kProgram, path);
}

// What a run of tarnvil-view is given, and the names it has chosen.
struct Viewing {
    const NamedDump* dumps;
    int32_t count;
    const char* picture;  // -o's file, if given
    bool native;
    const char* keep;     // --keep's folder, if given
    ChosenNames chosen;
};

// Where a preview goes when -o does not say: the name with ".bbc.png" in
// place of a dump's ".bbc" or a picture's extension (photo.ppm.bbc.png,
// photo.bbc.png; a dump named otherwise gets ".bbc.png" added). Names in
// tarnvil's own family, which no photo of the user's has: photo.png is
// never replaced by tea.png's preview. With -2, -3, ... before ".bbc.png"
// where the run chose that name already (photo.jpg beside photo.png).
bool preview_name(const NamedDump& dump, bool from_picture, const ChosenNames& chosen, char* out, size_t capacity) {
    char base[platform::kMaxPath];
    if (from_picture) {
        if (!name_with_extension(dump.path, "", base, sizeof base)) return false;
    } else {
        const size_t length = strlen(dump.path);
        const size_t kept = length > 4 && strcmp(dump.path + length - 4, ".bbc") == 0 ? length - 4 : length;
        if (snprintf(base, sizeof base, "%.*s", static_cast<int>(kept), dump.path) >= static_cast<int>(sizeof base))
            return false;
    }
    for (int32_t number = 1;; ++number) {
        char numbered[16] = "";
        if (number > 1) snprintf(numbered, sizeof numbered, "-%d", static_cast<int>(number));
        if (snprintf(out, capacity, "%s%s.bbc.png", base, numbered) >= static_cast<int>(capacity)) return false;
        if (!already_chosen(chosen, out)) return true;
    }
}

// False, after saying so, when the picture of the `index`th dump would be
// written over a file named: its own (through -o or a link), or another
// that its name leads to. Every one counts, those already rendered too:
// they are the user's files, not this run's. What is written is a dump's
// "picture" or a picture's "preview".
bool spares_the_dumps(const ToolRun& run, const Viewing& viewing, int32_t index, bool from_picture,
                      const char* target) {
    const char* path = viewing.dumps[index].path;
    if (would_overwrite(run, target, path)) {
        say(run.errors, "%s: %s: the %s would overwrite the %s itself; name another file with -o\n", kProgram, path,
            from_picture ? "preview" : "picture", from_picture ? "picture" : "dump");
        return false;
    }
    for (int32_t i = 0; i < viewing.count; ++i) {
        if (i == index || !would_overwrite(run, target, viewing.dumps[i].path)) continue;
        const bool other_picture = taken_for_picture(run, i, viewing.dumps[i].path);
        // -o takes one dump only, so this one has to be viewed on its own.
        say(run.errors, "%s: %s: the %s would overwrite the %s %s; view this %s alone with -o\n", kProgram, path,
            from_picture || other_picture ? "preview" : "picture", other_picture ? "picture" : "dump",
            viewing.dumps[i].path, from_picture ? "picture" : "dump");
        return false;
    }
    return true;
}

// Renders one dump, or picture; reports the reason and returns false on
// failure. Its picture goes to -o's file, else beside it (preview_name).
bool view_one(const ToolRun& run, Viewing& viewing, int32_t index, const PictureOutput& output) {
    const NamedDump& dump = viewing.dumps[index];
    const std::unique_ptr<LoadedScreen> screen(new (std::nothrow) LoadedScreen);
    if (!screen) {
        report_out_of_memory(run, dump.path);
        return false;
    }
    if (!load_screen(run, kProgram, index, dump, *screen)) return false;
    char png_path[platform::kMaxPath + 32];
    if (!viewing.picture && !preview_name(dump, screen->from_picture, viewing.chosen, png_path, sizeof png_path)) {
        say(run.errors, "%s: %s.png: File name too long\n", kProgram, dump.path);
        return false;
    }
    const char* target = viewing.picture ? viewing.picture : png_path;
    if (!spares_the_dumps(run, viewing, index, screen->from_picture, target)) return false;
    // A name of tarnvil's own family, and still never over a user's picture.
    if (!viewing.picture && run.from_shell && !replaceable_preview(target)) {
        say(run.errors, "%s: %s: the %s would overwrite %s, which tarnvil-view did not write; name another file with -o\n",
            kProgram, dump.path, screen->from_picture ? "preview" : "picture", target);
        return false;
    }
    // Every name checked before any file of this picture is written.
    const bool keeps = viewing.keep && screen->from_picture;
    char ppm[platform::kMaxPath];
    if (keeps && !choose_kept_names(run, kProgram, viewing.keep, viewing.dumps, viewing.count, index, viewing.chosen,
                                    ppm, sizeof ppm))
        return false;
    if (!choose_name(viewing.chosen, target)) {
        report_out_of_memory(run, dump.path);
        return false;
    }
    if (keeps && !keep_files(run, kProgram, viewing.keep, ppm, dump, *screen)) return false;
    IndexedImage image;
    if (!render_shown(dump.mode, *screen, viewing.native, image)) {
        report_out_of_memory(run, target);
        return false;
    }
    return output.take(output.context, run, target, image);
}

bool write_png(void*, const ToolRun& run, const char* path, const IndexedImage& picture) {
    PngBytes png;
    if (!encode_png(picture, png)) {
        report_out_of_memory(run, path);
        return false;
    }
    return write_output_file(run, kProgram, path, png.data.get(), png.size);
}

}  // namespace

int view_dumps(int argc, char** argv, const ToolRun& run, const PictureOutput& output) {
    std::unique_ptr<NamedDump[]> dumps(new (std::nothrow) NamedDump[static_cast<size_t>(argc)]);
    if (!dumps) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    struct Reading {
        const ToolRun& run;
        DumpArguments named;
        const char* picture = nullptr;
        const char* keep = nullptr;
        bool native = false;
    } reading{run, {dumps.get(), argc}};
    const int read = read_command_line(kCommand, argc, argv, run, &reading, [](void* context, const Argument& argument) {
        Reading& r = *static_cast<Reading*>(context);
        int32_t mode = 2;
        if (argument.kind == ArgumentKind::kOperand) {
            if (!check_teletext_settings(r.named.fit, r.run, kProgram)) return 2;
            take_dump(r.named, argument.value);
            return -1;
        }
        switch (argument.id) {
        case kMode:
            if (!parse_mode_argument(argument.value, mode)) {
                char modes[64];
                list_in_help("modes", modes, sizeof modes);
                say(r.run.errors, "%s: invalid mode '%s' (use %s)\n", kProgram, argument.value, modes);
                return 2;
            }
            take_mode(r.named, mode);
            break;
        case kPalette:
            if (!take_palette(r.named, argument.value, r.run, kProgram)) return 2;
            break;
        case kOutput:
            r.picture = argument.value;
            break;
        case kNative:
            r.native = true;
            break;
        case kOptionKeep:
            r.keep = argument.value;
            break;
        case kOptionNula:
        case kOptionNulaPalette:
            if (!take_nula(r.named, argument, r.run, kProgram)) return 2;
            break;
        default:
            if (!take_picture_option(argument, r.named.fit, r.run, kProgram)) return 2;
            note_picture_option(r.named.following, kOptions.data(), kOptions.size(), argument);
            break;
        }
        return -1;
    });
    if (read >= 0) return read;
    const DumpArguments& named = reading.named;
    const char* picture = reading.picture;
    const int status = check_dump_arguments(named, run, kProgram);
    if (status >= 0) return status;
    if (picture && named.count > 1) {
        say(run.errors, "%s: -o names one picture, but several dumps were given\n", kProgram);
        return 2;
    }
    if (picture && !output_can_go_to(run, kProgram, picture, "a PNG picture")) return 1;

    Viewing viewing{dumps.get(), named.count, picture, reading.native, reading.keep, {}};
    bool all_done = true;
    for (int32_t i = 0; i < named.count; ++i) all_done = view_one(run, viewing, i, output) && all_done;
    return all_done ? 0 : 1;
}

const ToolCommand& view_tool() { return kCommand; }

int run_view(int argc, char** argv) { return view_dumps(argc, argv, shell_run(), {nullptr, write_png}); }

bool view_takes_value(const char* argument) {
    return takes_next_argument(kOptions.data(), kOptions.size(), argument);
}
