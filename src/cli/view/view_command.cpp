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

const char kUsageStart[] =
    "Usage: tarnvil-view [-m MODE] [-p PALETTE] [-o FILE] [--native] DUMP...\n"
    "       tarnvil-view [OPTIONS] PICTURE|DUMP...\n"
    "Render BBC Micro screen dumps written by tarnvil as PNG pictures; or show a\n"
    "picture as tarnvil-fit and tarnvil would make it.\n"
    "\n"
    "  -m, --mode MODE    screen mode of the dumps that follow: 0, 1, 2, 4 or 5\n"
    "                     (default 2)\n"
    "  -p, --palette PALETTE\n"
    "                     the physical colour (0 to 7) each logical colour of\n"
    "                     the dumps that follow shows, as VDU 19 sets it: 07,\n"
    "                     0137 or 01234567 by default; -m resets it; for\n"
    "                     pictures also auto, the one that suits each best\n"
    "  -o, --output FILE  write the picture to FILE, - for standard output\n"
    "                     (one DUMP only; default: the name with \".bbc.png\" in\n"
    "                     place of a dump's \".bbc\" or a picture's extension)\n"
    "      --native       one picture pixel per screen pixel, instead of\n"
    "                     the 640 x 512 display with pixels of their true shape\n"
    "      --keep DIR     also write each picture's PPM, dump, sidecar and\n"
    "                     preview into DIR, named as the separate commands name\n"
    "                     them\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
;

const char kUsageEnd[] =
    "A dump does not record its mode: give the -m it was converted with.\n";

enum Option { kMode, kPalette, kOutput, kNative, kKeep, kHelp, kVersion };

constexpr auto kOptions = join_options(
    std::array<OptionSpec, 4>{{{"mode", 'm', true, kMode},
                               {"palette", 'p', true, kPalette},
                               {"output", 'o', true, kOutput},
                               {"native", '\0', false, kNative}}},
    kFitSettingOptions, kConversionOptions,
    std::array<OptionSpec, 3>{{{"keep", '\0', true, kKeep}, {"help", 'h', false, kHelp}, {"version", '\0', false, kVersion}}});

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
    if (!render_dump(dump.mode, screen->dump, viewing.native, screen->palette, image)) {
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
    DumpArguments named{dumps.get(), argc};
    const char* picture = nullptr;
    const char* keep = nullptr;
    bool native = false;
    CommandLine line{kProgram, argc, argv, kOptions.data(), kOptions.size(), run.errors};
    for (Argument argument; (argument = next_argument(line)).kind != ArgumentKind::kEnd;) {
        if (argument.kind == ArgumentKind::kError) return point_to_help(run, kProgram);
        if (argument.kind == ArgumentKind::kOperand) {
            take_dump(named, argument.value);
            continue;
        }
        int32_t mode = 2;
        switch (argument.id) {
        case kMode:
            if (!parse_mode_argument(argument.value, mode)) {
                say(run.errors, "%s: invalid mode '%s' (use 0, 1, 2, 4 or 5)\n", kProgram, argument.value);
                return 2;
            }
            take_mode(named, mode);
            break;
        case kPalette:
            if (!take_palette(named, argument.value, run, kProgram)) return 2;
            break;
        case kOutput:
            picture = argument.value;
            break;
        case kNative:
            native = true;
            break;
        case kKeep:
            keep = argument.value;
            break;
        case kHelp:
            return show_usage_with_pictures(run, kUsageStart, kUsageEnd);
        case kVersion:
            return show_version(run, kProgram);
        default:
            if (!take_picture_option(argument, named.fit, run, kProgram)) return 2;
            note_picture_option(named.following, kOptions.data(), kOptions.size(), argument);
            break;
        }
    }
    const int status = check_dump_arguments(named, run, kProgram);
    if (status >= 0) return status;
    if (picture && named.count > 1) {
        say(run.errors, "%s: -o names one picture, but several dumps were given\n", kProgram);
        return 2;
    }
    if (picture && !output_can_go_to(run, kProgram, picture, "a PNG picture")) return 1;

    Viewing viewing{dumps.get(), named.count, picture, native, keep, {}};
    bool all_done = true;
    for (int32_t i = 0; i < named.count; ++i) all_done = view_one(run, viewing, i, output) && all_done;
    return all_done ? 0 : 1;
}

int run_view(int argc, char** argv) { return view_dumps(argc, argv, shell_run(), {nullptr, write_png}); }

bool view_takes_value(const char* argument) {
    return takes_next_argument(kOptions.data(), kOptions.size(), argument);
}
