#include "cli/disc/disc_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "lib/tarnvil.h"
#include "platform/platform.h"
#include "cli/command_line.h"
#include "cli/dump.h"
#include "cli/output.h"
#include "cli/picture_options.h"
#include "cli/screen_source.h"

namespace {

const char kProgram[] = "tarnvil-disc";

enum Option { kOutput, kTracks, kTitle, kMode, kPalette, kRaw, kSeconds, kSplit };

constexpr auto kOptions = join_options(
    std::array<OptionSpec, 5>{{
        {"output", 'o', "FILE", kOutput,
         "the disc image to write, - for standard output (default pictures.ssd); NAME.dsd for both sides"},
        {"tracks", 't', "N", kTracks, "40 or 80 tracks (default 80)"},
        {"title", 'T', "TEXT", kTitle, "the disc title, at most 12 characters (default PICTURES)"},
        {"mode", 'm', "MODE", kMode, "mode of the dumps that follow: {modes} (default 2)"},
        {"palette", 'p', "PALETTE", kPalette,
         "the physical colour (0 to 7) each logical colour of the dumps that follow shows: 07, 0137 or 01234567 by "
         "default; -m resets it; !BOOT sets it with VDU 19; for pictures also auto, the one that suits each best"},
    }},
    kDumpNulaOptions, kFitSettingOptions, kConversionOptions,
    std::array<OptionSpec, 6>{{
        {"raw", '\0', nullptr, kRaw,
         "store the screens as they are, as discs were before 1.1, at most 30 of them; else each is packed, to be "
         "unpacked by the machine, and the disc holds up to 250"},
        {"seconds", '\0', "N", kSeconds,
         "a slideshow: each picture for N seconds (1 to 327) or until a key, then the next, and after the last the "
         "first again"},
        {"split", '\0', nullptr, kSplit,
         "when the pictures do not fit, as many discs as they need, each bootable: NAME-1.ssd, NAME-2.ssd, ...; with "
         "-o NAME.mmb, those discs in one MMB image"},
        kKeepOption,
        kHelpOption,
        kVersionOption,
    }});

constexpr ToolCommand kCommand{
    kProgram, kOptions.data(), kOptions.size(),
    "Usage: tarnvil-disc [-o OUT.ssd] [--tracks 40|80] [--title TEXT] [-m MODE] [-p PALETTE] DUMP\n"
    "                    [[-m MODE] [-p PALETTE] DUMP ...]\n"
    "       tarnvil-disc [OPTIONS] PICTURE|DUMP...\n"
    "Write a bootable single-sided DFS disc image that shows tarnvil's screen dumps,\n"
    "or pictures, prepared and converted as tarnvil-fit and tarnvil would.\n"
    "\n",
    21, true,
    "A dump does not record its mode: give each the -m it was converted with.\n"
    "Dumps are stored as $.P1, $.P2, ... by their place, pictures by their names\n"
    "(seven letters, digits, - or _, upper-cased, made unique with 2, 3, ...).\n"
    "Boot the disc with SHIFT+BREAK: each picture stays until a key is pressed,\n"
    "the last one until ESCAPE or BREAK.\n"};

struct Request {
    Request() = default;
    Request(const Request&) = delete;
    NamedDump dumps[kMaxPictures];
    DumpArguments named{dumps, kMaxPictures};
    const char* output = "pictures.ssd";
    bool output_named = false;  // by -o, not the default
    const char* title = "PICTURES";
    const char* keep = nullptr;
    int32_t tracks = 80;
    bool raw = false;
    int32_t seconds = 0;  // 0: each picture until a key
    bool split = false;
    const ToolRun* run = nullptr;
};

// Takes one argument into the request (a Request). Returns -1 to go on,
// or the exit status to end with.
int take_argument(void* context, const Argument& argument) {
    Request& request = *static_cast<Request*>(context);
    const ToolRun& run = *request.run;
    char reason[160];
    int32_t mode = 2;
    if (argument.kind == ArgumentKind::kOperand) {
        if (!check_teletext_settings(request.named.fit, run, kProgram)) return 2;
        take_dump(request.named, argument.value);
        return -1;
    }
    switch (argument.id) {
    case kOutput:
        request.output = argument.value;
        request.output_named = true;
        break;
    case kTracks:
        if (strcmp(argument.value, "40") != 0 && strcmp(argument.value, "80") != 0)
            return usage_error(run, kProgram, "--tracks must be 40 or 80");
        request.tracks = argument.value[0] == '4' ? 40 : 80;
        break;
    case kTitle:
        if (!check_title(argument.value, reason, sizeof reason)) return usage_error(run, kProgram, reason);
        request.title = argument.value;
        break;
    case kMode:
        if (!parse_mode_argument(argument.value, mode))
            return usage_error(run, kProgram, mode_complaint(reason, sizeof reason));
        take_mode(request.named, mode);
        break;
    case kPalette:
        if (!take_palette(request.named, argument.value, run, kProgram)) return 2;
        break;
    case kOptionKeep:
        request.keep = argument.value;
        break;
    case kOptionNula:
    case kOptionNulaPalette:
        if (!take_nula(request.named, argument, run, kProgram)) return 2;
        break;
    case kRaw:
        request.raw = true;
        break;
    case kSplit:
        request.split = true;
        break;
    case kSeconds: {
        // INKEY$ waits at most 32767 centiseconds.
        char* end = nullptr;
        const long seconds = strtol(argument.value, &end, 10);
        if (argument.value[0] < '0' || argument.value[0] > '9' || *end || seconds < 1 || seconds > kMaxSlideSeconds) {
            snprintf(reason, sizeof reason, "--seconds must be a whole number from 1 to %d",
                     static_cast<int>(kMaxSlideSeconds));
            return usage_error(run, kProgram, reason);
        }
        request.seconds = static_cast<int32_t>(seconds);
        break;
    }
    default:
        if (!take_picture_option(argument, request.named.fit, run, kProgram)) return 2;
        note_picture_option(request.named.following, kOptions.data(), kOptions.size(), argument);
        break;
    }
    return -1;
}

// Longer than any sensible INF line, so not read as one.
constexpr int64_t kMaxSidecarBytes = 4096;

// The sidecar of the `index`th dump, if it has one: its size, or -1 when
// there is none. False after reporting a sidecar that is there but cannot
// be read: unreadable, too long, or no regular file (such as a FIFO, which
// would otherwise be waited on, or a link that leads nowhere).
bool read_sidecar(const ToolRun& run, int32_t index, const char* dump, char (&text)[kMaxSidecarBytes + 1],
                  int64_t& size) {
    size = -1;
    char path[platform::kMaxPath + 8];
    if (snprintf(path, sizeof path, "%s.inf", dump) >= static_cast<int>(sizeof path)) return true;
    const int64_t got =
        run.read(run.context, index, InputKind::kSidecar, path, reinterpret_cast<uint8_t*>(text), sizeof text);
    if (got >= 0 && got <= kMaxSidecarBytes) size = got;
    if (size >= 0 || (got == -1 && errno == ENOENT)) return true;
    if (got > kMaxSidecarBytes)
        say(run.errors, "%s: %s: more than %d bytes, too long for an INF sidecar\n", kProgram, path,
            static_cast<int>(kMaxSidecarBytes));
    else if (got == platform::kNotRegularFile)
        say(run.errors, "%s: %s: not a regular file\n", kProgram, path);
    else if (got == platform::kLinkToNothing)
        say(run.errors, "%s: %s: a link that leads nowhere\n", kProgram, path);
    else
        say(run.errors, "%s: %s: %s\n", kProgram, path, strerror(errno));
    return false;
}

// False, after saying so, when the image would be written over the dump or
// picture, or over the sidecar that would be read beside a dump. A sidecar
// of that name counts even when it is not there: the image would become
// one, and the next run would read it as such.
bool spares_the_inputs(const ToolRun& run, const char* output, const char* dump, bool picture) {
    if (would_overwrite(run, output, dump)) {
        say(run.errors, "%s: %s: the disc image would overwrite this %s; name another file with -o\n", kProgram, dump,
            picture ? "picture" : "dump");
        return false;
    }
    char sidecar[platform::kMaxPath + 8];
    if (picture || snprintf(sidecar, sizeof sidecar, "%s.inf", dump) >= static_cast<int>(sizeof sidecar) ||
        !would_overwrite(run, output, sidecar))
        return true;
    say(run.errors, "%s: %s: the disc image would overwrite this sidecar; name another file with -o\n", kProgram,
        sidecar);
    return false;
}

// --keep: every picture's names chosen and checked, into `names`
// (platform::kMaxPath each), before any file is written; then the files.
bool keep_pictures(const ToolRun& run, const Request& request, const LoadedScreen* screens, char* names) {
    const int32_t given = request.named.count;
    ChosenNames chosen;
    if (!choose_name(chosen, request.output)) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return false;
    }
    for (int32_t i = 0; i < given; ++i)
        if (screens[i].from_picture &&
            !choose_kept_names(run, kProgram, request.keep, request.dumps, given, i, chosen,
                               names + static_cast<size_t>(i) * platform::kMaxPath, platform::kMaxPath))
            return false;
    for (int32_t i = 0; i < given; ++i)
        if (screens[i].from_picture && !keep_files(run, kProgram, request.keep, names + static_cast<size_t>(i) * platform::kMaxPath,
                                                   request.dumps[i], screens[i]))
            return false;
    return true;
}

}  // namespace

int make_disc(int argc, char** argv, const ToolRun& run, const DiscOutput& output) {
    // Not copied: `named` points into it. Too big for some stacks.
    const std::unique_ptr<Request> held(new (std::nothrow) Request);
    if (!held) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    Request& request = *held;
    request.run = &run;
    const int read = read_command_line(kCommand, argc, argv, run, &request, take_argument);
    if (read >= 0) return read;
    const int status = check_dump_arguments(request.named, run, kProgram);
    if (status >= 0) return status;
    const int32_t given = request.named.count;
    if (request.raw && request.seconds > 0)
        return usage_error(run, kProgram, "--seconds shows packed pictures: leave out --raw");
    // NAME.dsd: both sides of the disc, interleaved.
    const size_t output_length = strlen(request.output);
    const char* suffix = request.output + (output_length >= 4 ? output_length - 4 : output_length);
    const int32_t sides = strlen(suffix) == 4 && suffix[0] == '.' && (suffix[1] | 0x20) == 'd' &&
                                  (suffix[2] | 0x20) == 's' && (suffix[3] | 0x20) == 'd'
                              ? 2
                              : 1;
    // Only a packed disc's !BOOT sets a VideoNuLA's colours.
    if (request.raw)
        for (int32_t i = 0; i < given; ++i)
            if (request.dumps[i].fit.nula_choice != FitSettings::NulaChoice::kNone)
                return usage_error(run, kProgram, "a VideoNuLA's colours are set by a packed disc: leave out --raw");
    if (request.raw && sides == 2)
        return usage_error(run, kProgram, "a .dsd disc holds packed pictures: leave out --raw");
    // NAME.mmb: the discs --split would write, in the slots of one MMB
    // image, as SD-card filing systems read them.
    const bool mmb = strlen(suffix) == 4 && suffix[0] == '.' && (suffix[1] | 0x20) == 'm' && (suffix[2] | 0x20) == 'm' &&
                     (suffix[3] | 0x20) == 'b';
    if (mmb) request.split = true;
    if (request.split && strcmp(request.output, "-") == 0)
        return usage_error(run, kProgram, "--split writes a file for each disc: name it with -o");
    if (request.raw && given > kMaxRawPictures && !request.split) {
        say(run.errors, "%s: %d pictures given, but a disc holds at most %d beside !BOOT\n", kProgram,
            static_cast<int>(given), static_cast<int>(kMaxRawPictures));
        return 1;
    }
    if (given > kMaxPictures) {
        say(run.errors, "%s: %d pictures given, but a disc of packed pictures holds at most %d\n", kProgram,
            static_cast<int>(given), static_cast<int>(kMaxPictures));
        return 1;
    }
    if (!output_can_go_to(run, kProgram, request.output, "a disc image")) return 1;
    if (!request.output_named && run.from_shell && !replaceable_disc(request.output)) {
        say(run.errors, "%s: the disc image would overwrite %s, which tarnvil-disc did not write; name another file with -o\n",
            kProgram, request.output);
        return 1;
    }
    // What cannot fit is refused before any picture is read or prepared:
    // each screen's sectors, the catalogue's two and at least one of !BOOT.
    // How far packed screens shrink is known only once they are packed.
    if (request.raw && !request.split) {
        int32_t modes[kMaxRawPictures];
        for (int32_t i = 0; i < given; ++i) modes[i] = request.dumps[i].mode;
        DiscSummary fit{};
        char why[160];
        if (!raw_screens_fit(modes, given, 1, request.tracks, fit, why, sizeof why)) {
            say(run.errors, "%s: %s\n", kProgram, why);
            say(run.errors, "%s: the first %d of the %d fit\n", kProgram, static_cast<int>(fit.pictures),
                static_cast<int>(given));
            return 1;
        }
    }

    // A disc's worth of screens and the disc itself: more than a stack
    // should hold, and not kept between runs, so that the page may run again.
    const std::unique_ptr<LoadedScreen[]> screens(new (std::nothrow) LoadedScreen[static_cast<size_t>(given)]);
    const std::unique_ptr<uint8_t[]> disc(new (std::nothrow) uint8_t[static_cast<size_t>(kMaxDiscBytes) * 2]);
    if ((given > 0 && !screens) || !disc) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    const std::unique_ptr<DiscPicture[]> pictures(new (std::nothrow) DiscPicture[kMaxPictures]);
    if (!pictures) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    char reason[platform::kMaxPath + 160];
    bool ready = true;
    for (int32_t i = 0; i < given; ++i) {
        const NamedDump& named = request.dumps[i];
        LoadedScreen& screen = screens[static_cast<size_t>(i)];
        if (!load_screen(run, kProgram, i, named, screen) ||
            !spares_the_inputs(run, request.output, named.path, screen.from_picture)) {
            ready = false;
            continue;
        }
        // A sidecar is read only for a dump that could go on the disc; a
        // picture's is the one tarnvil writes, with the mode's own address.
        char inf[kMaxSidecarBytes + 1];
        int64_t inf_size = -1;
        if (!screen.from_picture && !read_sidecar(run, i, named.path, inf, inf_size)) {
            ready = false;
            continue;
        }
        ready = prepare_picture(named.path, named.mode, screen.palette, screen.dump, inf_size >= 0 ? inf : nullptr,
                                inf_size >= 0 ? static_cast<size_t>(inf_size) : 0, pictures[i], reason,
                                sizeof reason) &&
                ready;
        if (reason[0]) say(run.errors, "%s: %s\n", kProgram, reason);
        if (screen.from_picture) disc_name_for(named.path, pictures[i].name);
        pictures[i].nula = screen.nula;
    }
    if (!ready) return 1;
    // Only a run whose every picture could go on the disc leaves files.
    if (request.keep) {
        const std::unique_ptr<char[]> names(new (std::nothrow) char[static_cast<size_t>(given) * platform::kMaxPath]);
        if (!names) {
            say(run.errors, "%s: out of memory\n", kProgram);
            return 1;
        }
        if (!keep_pictures(run, request, screens.get(), names.get())) return 1;
    }

    // One disc, or with --split as many as the pictures need, each taking
    // as many of those left as fit: first how many each takes, so that
    // every name is checked before any disc is written.
    const DiscSettings settings{request.tracks, sides, !request.raw, request.seconds};
    const size_t image_size =
        static_cast<size_t>(request.tracks) * kSectorsPerTrack * kSectorBytes * static_cast<size_t>(sides);
    const std::unique_ptr<int32_t[]> takes(new (std::nothrow) int32_t[static_cast<size_t>(given) + 1]);
    if (!takes) {
        say(run.errors, "%s: out of memory\n", kProgram);
        return 1;
    }
    DiscSummary summary{};
    int32_t discs = 0;
    for (int32_t start = 0; start < given; start += takes[discs++]) {
        int32_t count = given - start;
        if (request.raw && count > kMaxRawPictures) count = kMaxRawPictures;
        bool built = build_disc(settings, request.title, pictures.get() + start, count, disc.get(), summary, reason,
                                sizeof reason);
        if (!built && request.split && summary.pictures > 0) {
            count = summary.pictures;
            built = build_disc(settings, request.title, pictures.get() + start, count, disc.get(), summary, reason,
                               sizeof reason);
        }
        if (!built) {
            say(run.errors, "%s: %s\n", kProgram, reason);
            if (summary.total > 0)
                say(run.errors, "%s: the first %d of the %d fit\n", kProgram, static_cast<int>(summary.pictures),
                    static_cast<int>(given));
            return 1;
        }
        takes[discs] = count;
    }
    char name[platform::kMaxPath + 16];
    auto disc_name = [&](int32_t number) {
        if (discs == 1) return request.output;
        // NAME-1.ssd: the number before the extension of the file's name.
        const size_t stem = static_cast<size_t>(platform::extension_of(request.output) - request.output);
        snprintf(name, sizeof name, "%.*s-%d%s", static_cast<int>(stem), request.output, static_cast<int>(number),
                 request.output + stem);
        return static_cast<const char*>(name);
    };
    std::unique_ptr<uint8_t[]> slots;
    const size_t slots_size = kMmbIndexBytes + static_cast<size_t>(discs) * kMmbSlotBytes;
    if (mmb) {
        slots.reset(new (std::nothrow) uint8_t[slots_size]);
        if (!slots) {
            say(run.errors, "%s: out of memory\n", kProgram);
            return 1;
        }
        start_mmb(slots.get(), discs);
    }
    for (int32_t number = 1; number <= discs && discs > 1 && !mmb; ++number) {
        const char* path = disc_name(number);
        if (!output_can_go_to(run, kProgram, path, "a disc image")) return 1;
        for (int32_t i = 0; i < given; ++i)
            if (!spares_the_inputs(run, path, request.dumps[i].path, screens[static_cast<size_t>(i)].from_picture))
                return 1;
        // The numbered names are the tool's choice, not the user's: like the
        // default pictures.ssd, each replaces only a disc it could have written.
        if (run.from_shell && !replaceable_disc(path)) {
            say(run.errors, "%s: the disc image would overwrite %s, which tarnvil-disc did not write; name another file with -o\n",
                kProgram, path);
            return 1;
        }
    }
    for (int32_t number = 1, start = 0; number <= discs; start += takes[number - 1], ++number) {
        if (discs > 1 && !build_disc(settings, request.title, pictures.get() + start, takes[number - 1], disc.get(), summary,
                                     reason, sizeof reason)) {
            say(run.errors, "%s: %s\n", kProgram, reason);
            return 1;
        }
        if (mmb) {
            put_mmb_slot(slots.get(), number - 1, request.title, disc.get(), image_size);
            continue;
        }
        const char* path = disc_name(number);
        if (!output.take(output.context, run, path, {disc.get(), image_size})) return 1;
        // Standard output may be the image itself.
        if (strcmp(path, "-") != 0)
            say(run.out, "%s holds %d picture%s in %d of its %d sectors; %d more of their size would fit\n", path,
                static_cast<int>(summary.pictures), summary.pictures == 1 ? "" : "s",
                static_cast<int>(summary.sectors), static_cast<int>(summary.total), static_cast<int>(summary.more));
    }
    if (mmb) {
        if (!output.take(output.context, run, request.output, {slots.get(), slots_size})) return 1;
        if (strcmp(request.output, "-") != 0)
            say(run.out, "%s holds %d picture%s on %d disc%s\n", request.output, static_cast<int>(given),
                given == 1 ? "" : "s", static_cast<int>(discs), discs == 1 ? "" : "s");
    }
    return 0;
}

const ToolCommand& disc_tool() { return kCommand; }

int run_disc(int argc, char** argv) {
    return make_disc(argc, argv, shell_run(),
                     {nullptr, [](void*, const ToolRun& run, const char* path, const DiscImage& image) {
                          return write_output_file(run, kProgram, path, image.bytes, image.size);
                      }});
}

bool disc_takes_value(const char* argument) {
    return takes_next_argument(kOptions.data(), kOptions.size(), argument);
}
