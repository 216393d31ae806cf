#include "cli/fit/fit_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "driver/driver.h"
#include "lib/tarnvil.h"
#include "cli/command_line.h"
#include "cli/dump.h"
#include "cli/output.h"
#include "cli/picture_options.h"

namespace {

const char kProgram[] = "tarnvil-fit";

enum Option { kMode, kPalette, kOutput };

constexpr auto kOptions = join_options(
    std::array<OptionSpec, 1>{{{"mode", 'm', "MODE", kMode, "the screen mode: {modes} (default 2)"}}}, kFitSettingOptions,
    kConversionOptions,
    std::array<OptionSpec, 1>{{{"palette", 'p', "PALETTE", kPalette,
                                "prepare the picture for the palette PALETTE (one digit 0 to 7 per logical colour, as "
                                "tarnvil-view -p takes it; any different colours with --dither diffuse), or auto: the "
                                "one whose screen comes closest to it"}}},
    kFitNulaOptions,
    std::array<OptionSpec, 3>{{{"output", 'o', "FILE", kOutput,
                                "write the PPM to FILE, - for standard output (one PICTURE only; default: the "
                                "picture's name with the extension .ppm)"},
                               kHelpOption,
                               kVersionOption}});

constexpr ToolCommand kCommand{
    kProgram, kOptions.data(), kOptions.size(),
    "Usage: tarnvil-fit [OPTIONS] PICTURE...\n"
    "Prepare pictures for tarnvil: a binary PPM at the size that fills the chosen\n"
    "mode's screen, from PNG, JPEG, GIF, BMP, PBM, PGM, PPM or PAM.\n"
    "\n",
    23, false,
    "\n"
    "Options apply to the pictures named after them. A PICTURE of - is standard\n"
    "input, and needs -o. Each PPM written is named on standard output with the\n"
    "tarnvil argument that converts it as intended, then the tarnvil-view and\n"
    "tarnvil-disc commands for its dump, with its mode and palette.\n"};

struct NamedPicture {
    const char* path;
    FitSettings settings;
};

// Reads one setting option into `settings`; false after reporting a value
// it cannot take.
bool take_setting(const Argument& argument, FitSettings& settings, const ToolRun& run) {
    const char* value = argument.value;
    const char* complaint = nullptr;
    char reason[128];
    switch (argument.id) {
    case kMode:
        if (!parse_mode_argument(value, settings.mode)) complaint = mode_complaint(reason, sizeof reason);
        settings.palette_choice = FitSettings::PaletteChoice::kOwn;
        settings.nula_choice = FitSettings::NulaChoice::kNone;
        break;
    case kOptionNula:
    case kOptionNulaPalette:
        return take_nula_option(argument, settings, run, kProgram);
    case kPalette:
        settings.nula_choice = FitSettings::NulaChoice::kNone;
        if (strcmp(value, "auto") == 0 || settings.mode == kTeletextMode) {
            settings.palette_choice = FitSettings::PaletteChoice::kBest;
        } else if (parse_palette(value, settings.mode, settings.palette, reason, sizeof reason)) {
            settings.palette_choice = FitSettings::PaletteChoice::kGiven;
        } else {
            complaint = reason;
        }
        break;
    default:
        return take_picture_option(argument, settings, run, kProgram);
    }
    if (complaint) usage_error(run, kProgram, complaint);
    return complaint == nullptr;
}

// Whether the palette given for the next picture is one its dithering
// reaches; checked when the picture is named, as --dither may follow
// --palette. False after reporting it.
bool palette_fits(const FitSettings& settings, const ToolRun& run) {
    char reason[256];
    if (settings.palette_choice != FitSettings::PaletteChoice::kGiven ||
        palette_reachable(settings.mode, settings.palette, settings.dither == Dither::kDiffuse, reason, sizeof reason))
        return true;
    usage_error(run, kProgram, reason);
    return false;
}

// The dump tarnvil writes for `ppm`, as the next commands name it: behind
// "./" where a leading '-' would make it an option.
void dump_word(const char* ppm, char* out, size_t capacity) {
    snprintf(out, capacity, "%s%s.bbc", operand_prefix(ppm), ppm);
}

// The file's name without `suffix` (".ppm", ".bbc"), with ".ssd": where
// the disc goes.
void disc_word(const char* file, const char* suffix, char* out, size_t capacity) {
    const size_t length = strlen(file);
    const size_t keep = length > 4 && strcmp(file + length - 4, suffix) == 0 ? length - 4 : length;
    snprintf(out, capacity, "%s%.*s.ssd", operand_prefix(file), static_cast<int>(keep), file);
}

// Says which PPM was written and the commands that take it the rest of the
// way, each with the mode and palette it was prepared for, so that none of
// them can be given another by mistake.
void say_next_commands(const ToolRun& run, const FitSettings& settings, const char* target, const PpmBytes& ppm) {
    const platform::Shell shell = platform::native_shell();
    char block[8];
    format_option_block(conversion_for(settings), block);
    char argument[platform::kMaxPath + 16];
    snprintf(argument, sizeof argument, "%s%s", block, target);
    char command[4 * sizeof argument] = "";
    append_shell_word(argument, shell, command, sizeof command);
    say(run.out, "%s: %d x %d; convert with tarnvil %s", target, static_cast<int>(fit_width(settings)),
        static_cast<int>(kScreenLines), command);
    // The colours it was prepared for, as the next commands take them: a
    // palette's digits, or a VideoNuLA's colours.
    char palette[64] = "";
    const char* option = "-p";
    if (ppm.nula.colours > 0) {
        format_nula_palette(ppm.nula, palette);
        option = "--nula-palette";
    } else if (ppm.palette.colours > 0) {
        char digits[9];
        palette_digits(ppm.palette, digits);
        snprintf(palette, sizeof palette, "%s", digits);
    }
    if (palette[0]) say(run.out, "; show with tarnvil-view and tarnvil-disc %s %s", option, palette);
    say_text(run.out, "\n", 1);

    char mode[2] = {static_cast<char>('0' + settings.mode), '\0'};
    char dump[platform::kMaxPath + 16];
    char disc[platform::kMaxPath + 16];
    dump_word(target, dump, sizeof dump);
    disc_word(target, ".ppm", disc, sizeof disc);
    for (const bool to_disc : {false, true}) {
        const char* words[8] = {to_disc ? "tarnvil-disc" : "tarnvil-view", "-m", mode};
        size_t count = 3;
        if (palette[0]) {
            words[count++] = option;
            words[count++] = palette;
        }
        if (to_disc) {
            words[count++] = "-o";
            words[count++] = disc;
        }
        words[count++] = dump;
        if (shell_command(words, count, shell, command, sizeof command)) say(run.out, "  %s\n", command);
    }
}

// False, after saying so, when the PPM of the `index`th picture (its MODE
// 7 page and the page's sidecar) would be written over a picture named,
// or, under the name chosen for it (not -o's), over a file already there
// that tarnvil-fit did not write.
bool spares_the_pictures(const ToolRun& run, const NamedPicture* pictures, int32_t count, int32_t index,
                         const char* target, bool named_by_us) {
    const char* path = pictures[index].path;
    const bool teletext = pictures[index].settings.mode == kTeletextMode;
    const char* what = teletext ? "page" : "PPM";
    char sidecar[platform::kMaxPath + 16];
    snprintf(sidecar, sizeof sidecar, "%s.inf", target);
    for (const char* output : {target, teletext && strcmp(target, "-") != 0 ? static_cast<const char*>(sidecar) : nullptr}) {
        if (!output) continue;
        if (would_overwrite(run, output, path)) {
            say(run.errors, "%s: %s: the %s would overwrite the picture itself; name another file with -o\n", kProgram,
                path, output == target ? what : "sidecar");
            return false;
        }
        for (int32_t i = 0; i < count; ++i) {
            if (i == index || !would_overwrite(run, output, pictures[i].path)) continue;
            say(run.errors, "%s: %s: the %s would overwrite the picture %s; prepare this picture alone with -o\n",
                kProgram, path, output == target ? what : "sidecar", pictures[i].path);
            return false;
        }
        if (!named_by_us || !run.from_shell || (teletext ? replaceable_page(output) : replaceable_ppm(output))) continue;
        say(run.errors, "%s: %s: the %s would overwrite %s, which tarnvil-fit did not write; name another file with -o\n",
            kProgram, path, output == target ? what : "sidecar", output);
        return false;
    }
    return true;
}

// MODE 7: the page and its sidecar, `target` and `target`.inf, and the
// commands that show it and put it on a disc.
bool write_page(const ToolRun& run, const uint8_t* page, const char* target, const PpmOutput& output) {
    PpmBytes dump;
    dump.data.reset(new (std::nothrow) uint8_t[kTeletextPageBytes]);
    if (!dump.data) {
        say(run.errors, "%s: %s: out of memory\n", kProgram, target);
        return false;
    }
    memcpy(dump.data.get(), page, kTeletextPageBytes);
    dump.size = kTeletextPageBytes;
    if (!output.take(output.context, run, target, dump)) return false;
    if (strcmp(target, "-") == 0) return true;
    char line[32];
    PpmBytes inf;
    inf.size = static_cast<size_t>(sidecar_line(kTeletextStart, line));
    inf.data.reset(new (std::nothrow) uint8_t[inf.size]);
    char sidecar[platform::kMaxPath + 16];
    snprintf(sidecar, sizeof sidecar, "%s.inf", target);
    if (!inf.data) {
        say(run.errors, "%s: %s: out of memory\n", kProgram, sidecar);
        return false;
    }
    memcpy(inf.data.get(), line, inf.size);
    if (!output.take(output.context, run, sidecar, inf)) return false;
    say(run.out, "%s: a MODE 7 page, with its sidecar %s\n", target, sidecar);
    const platform::Shell shell = platform::native_shell();
    char operand[platform::kMaxPath + 8];
    char disc[platform::kMaxPath + 16];
    snprintf(operand, sizeof operand, "%s%s", operand_prefix(target), target);
    disc_word(target, ".bbc", disc, sizeof disc);
    char command[4 * sizeof disc];
    for (const bool to_disc : {false, true}) {
        const char* words[6] = {to_disc ? "tarnvil-disc" : "tarnvil-view", "-m", "7"};
        size_t count = 3;
        if (to_disc) {
            words[count++] = "-o";
            words[count++] = disc;
        }
        words[count++] = operand;
        if (shell_command(words, count, shell, command, sizeof command)) say(run.out, "  %s\n", command);
    }
    return true;
}

// Fits one picture; reports and returns false on failure.
bool fit_one(const ToolRun& run, int32_t index, const NamedPicture& picture, const char* target,
             const PpmOutput& output) {
    const bool to_stdout = strcmp(target, "-") == 0;
    LoadedFile file;
    if (!run.load(run.context, index, picture.path, file)) {
        say(run.errors, "%s: %s: %s\n", kProgram, picture.path, strerror(errno));
        return false;
    }
    PpmBytes ppm;
    char reason[256];
    uint8_t page[kTeletextPageBytes];
    const bool teletext = picture.settings.mode == kTeletextMode;
    const bool fitted = teletext ? fit_teletext(file.bytes, file.size, picture.settings, page, reason, sizeof reason)
                                 : fit_file(file.bytes, file.size, picture.settings, ppm, reason, sizeof reason);
    release_file(file);
    if (fitted && teletext) return write_page(run, page, target, output);
    if (!fitted) {
        say(run.errors, "%s: %s: %s\n", kProgram, picture.path, reason);
        return false;
    }
    if (!output.take(output.context, run, target, ppm)) return false;
    if (to_stdout) return true;
    say_next_commands(run, picture.settings, target, ppm);
    return true;
}

bool write_ppm(void*, const ToolRun& run, const char* path, const PpmBytes& ppm) {
    // The line printed for each PPM names it already.
    ToolRun quiet = run;
    quiet.out = no_messages();
    return write_output_file(quiet, kProgram, path, ppm.data.get(), ppm.size);
}

}  // namespace

int fit_pictures(int argc, char** argv, const ToolRun& run, const PpmOutput& output) {
    std::unique_ptr<NamedPicture[]> pictures(new (std::nothrow) NamedPicture[static_cast<size_t>(argc)]);
    if (!pictures) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    struct Reading {
        const ToolRun& run;
        NamedPicture* pictures;
        int32_t count = 0;
        FitSettings settings{};
        FollowingOption following{};
        const char* target = nullptr;
    } reading{run, pictures.get()};
    const int read = read_command_line(kCommand, argc, argv, run, &reading, [](void* context, const Argument& argument) {
        Reading& r = *static_cast<Reading*>(context);
        if (argument.kind == ArgumentKind::kOperand) {
            if (!check_teletext_settings(r.settings, r.run, kProgram) || !palette_fits(r.settings, r.run)) return 2;
            r.pictures[r.count++] = {argument.value, r.settings};
            note_operand(r.following);
        } else if (argument.id == kOutput) {
            r.target = argument.value;
        } else {
            if (!take_setting(argument, r.settings, r.run)) return 2;
            note_picture_option(r.following, kOptions.data(), kOptions.size(), argument);
        }
        return -1;
    });
    if (read >= 0) return read;
    const int32_t count = reading.count;
    const char* target = reading.target;
    const int status = check_operands(count, reading.following, run, kProgram, "no picture named", "picture");
    if (status >= 0) return status;
    if (target && count > 1) {
        say(run.errors, "%s: -o names one PPM, but several pictures were given\n", kProgram);
        return 2;
    }
    for (int32_t i = 0; i < count && !target; ++i)
        if (strcmp(pictures[i].path, "-") == 0)
            return usage_error(run, kProgram, "a picture read from standard input (-) needs -o to name its PPM");
    if (target && !output_can_go_to(run, kProgram, target, "a PPM picture")) return 1;

    bool all_done = true;
    ChosenNames chosen;
    for (int32_t i = 0; i < count; ++i) {
        char path[platform::kMaxPath + 8];
        // Pictures of one name (photo.jpg, photo.png) get photo.ppm, photo-2.ppm, ...
        bool named = target != nullptr;
        // A MODE 7 page is a dump of its own: photo.bbc.
        const char* kind = pictures[i].settings.mode == kTeletextMode ? ".bbc" : ".ppm";
        for (int32_t number = 1; !named; ++number) {
            char extension[24];
            snprintf(extension, sizeof extension, "%s", kind);
            if (number > 1) snprintf(extension, sizeof extension, "-%d%s", static_cast<int>(number), kind);
            if (!name_with_extension(pictures[i].path, extension, path, sizeof path)) break;
            named = !already_chosen(chosen, path);
        }
        if (!named) {
            say(run.errors, "%s: %s: File name too long\n", kProgram, pictures[i].path);
            all_done = false;
            continue;
        }
        if (!spares_the_pictures(run, pictures.get(), count, i, target ? target : path, !target)) {
            all_done = false;
            continue;
        }
        if (!target && !choose_name(chosen, path)) {
            say(run.errors, "%s: out of memory\n", kProgram);
            return 1;
        }
        all_done = fit_one(run, i, pictures[i], target ? target : path, output) && all_done;
    }
    return all_done ? 0 : 1;
}

const ToolCommand& fit_tool() { return kCommand; }

bool read_fit_settings(int argc, char** argv, const ToolRun& run, FitSettings& settings) {
    struct Reading {
        const ToolRun& run;
        FitSettings& settings;
    } reading{run, settings};
    return read_command_line(kCommand, argc, argv, run, &reading, [](void* context, const Argument& argument) {
               Reading& r = *static_cast<Reading*>(context);
               if (argument.kind == ArgumentKind::kOperand || argument.id == kOutput)
                   return usage_error(r.run, kProgram, "settings name no picture and no output");
               return take_setting(argument, r.settings, r.run) ? -1 : 2;
           }) < 0;
}

void say_fit_settings(const FitSettings& settings, void* context,
                      void (*word)(void* context, const char* name, const char* value)) {
    const FitSettings plain{};
    const bool halftoned = uses_tarnvil_halftone(settings);
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(settings.mode));
    word(context, "mode", text);
    if (settings.aspect && halftoned) word(context, "aspect", nullptr);
    if (settings.fill != plain.fill) word(context, "fill", kFillChoices[static_cast<int>(settings.fill)].name);
    const struct {
        const char* name;
        int32_t value;
    } percentages[] = {{"brightness", settings.brightness}, {"contrast", settings.contrast}, {"saturation", settings.saturation}};
    for (const auto& percentage : percentages) {
        if (percentage.value == 0) continue;
        snprintf(text, sizeof text, "%d", static_cast<int>(percentage.value));
        word(context, percentage.name, text);
    }
    if (settings.gamma != plain.gamma) {
        // Hundredths as the fewest decimals: 150 is "1.5".
        const int whole = settings.gamma / 100;
        const int part = settings.gamma % 100;
        if (part == 0) snprintf(text, sizeof text, "%d", whole);
        else if (part % 10 == 0) snprintf(text, sizeof text, "%d.%d", whole, part / 10);
        else snprintf(text, sizeof text, "%d.%02d", whole, part);
        word(context, "gamma", text);
    }
    if (settings.grey) word(context, "grey", nullptr);
    if (memcmp(settings.background, plain.background, 3) != 0) {
        snprintf(text, sizeof text, "#%02x%02x%02x", settings.background[0], settings.background[1], settings.background[2]);
        word(context, "background", text);
    }
    // A MODE 7 page has no tone, dither or palette of tarnvil's.
    if (settings.mode == kTeletextMode) return;
    if (settings.tone != plain.tone) word(context, "tone", kToneChoices[static_cast<int>(settings.tone)].name);
    // A VideoNuLA's colours are diffused to whatever --dither says.
    const bool nula = settings.nula_choice != FitSettings::NulaChoice::kNone;
    if (settings.dither != plain.dither && !nula)
        word(context, "dither", kDitherChoices[static_cast<int>(settings.dither)].name);
    if (halftoned && settings.halftone != plain.halftone) {
        snprintf(text, sizeof text, "%d", static_cast<int>(settings.halftone));
        word(context, "halftone", text);
    }
    if (halftoned && settings.stagger) word(context, "stagger", nullptr);
    char digits[64];
    if (settings.nula_choice == FitSettings::NulaChoice::kBest) {
        word(context, "nula", nullptr);
    } else if (settings.nula_choice == FitSettings::NulaChoice::kGiven) {
        format_nula_palette(settings.nula, digits);
        word(context, "nula-palette", digits);
    } else if (settings.palette_choice == FitSettings::PaletteChoice::kBest) {
        word(context, "palette", "auto");
    } else if (settings.palette_choice == FitSettings::PaletteChoice::kGiven &&
               !is_default_palette(settings.palette, settings.mode)) {
        char palette[9];
        palette_digits(settings.palette, palette);
        word(context, "palette", palette);
    }
}

int run_fit(int argc, char** argv) { return fit_pictures(argc, argv, shell_run(), {nullptr, write_ppm}); }

bool fit_takes_value(const char* argument) {
    return takes_next_argument(kOptions.data(), kOptions.size(), argument);
}
