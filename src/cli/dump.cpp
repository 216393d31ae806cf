#include "cli/dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lib/tarnvil.h"
#include "cli/command_line.h"
#include "cli/picture_options.h"

bool check_dump_size(int32_t mode, int64_t size, char* reason, size_t capacity) {
    const int32_t expected = dump_bytes(mode);
    if (size == expected) return true;
    int32_t fitting[kToolModeCount];
    int count = 0;
    for (int32_t i = 0; i < kToolModeCount; ++i)
        if (dump_bytes(tool_mode(i)) == size) fitting[count++] = tool_mode(i);
    if (count == 0) {
        snprintf(reason, capacity, "%s %lld bytes, but a MODE %d screen dump has %d",
                 size > expected ? "more than" : "only", static_cast<long long>(size > expected ? expected : size),
                 static_cast<int>(mode), static_cast<int>(expected));
        return false;
    }
    // "a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2"
    char modes[64] = "";
    char options[64] = "";
    for (int i = 0; i < count; ++i) {
        const char* joint = i == 0 ? "" : i == count - 1 ? " or " : ", ";
        const size_t m = strlen(modes);
        const size_t o = strlen(options);
        snprintf(modes + m, sizeof modes - m, "%s%d", joint, static_cast<int>(fitting[i]));
        snprintf(options + o, sizeof options - o, "%s-m %d", joint, static_cast<int>(fitting[i]));
    }
    snprintf(reason, capacity, "%lld bytes: a MODE %s dump? Use %s", static_cast<long long>(size), modes, options);
    return false;
}

bool read_screen_dump(const ToolRun& run, const char* program, int32_t index, const char* path, int32_t mode,
                      uint8_t* buffer) {
    // One byte more than the largest dump tells a longer file apart.
    uint8_t first[kMaxScreenBytes + 1];
    const int64_t got = run.read(run.context, index, InputKind::kDump, path, first, sizeof first);
    if (got < 0) {
        say(run.errors, "%s: %s: %s\n", program, path, strerror(errno));
        return false;
    }
    char reason[160];
    if (!check_dump_size(mode, got, reason, sizeof reason)) {
        say(run.errors, "%s: %s: %s\n", program, path, reason);
        return false;
    }
    memcpy(buffer, first, static_cast<size_t>(got));
    return true;
}

bool parse_mode_argument(const char* text, int32_t& mode) {
    if (text[0] == '\0' || text[1] != '\0') return false;
    const int32_t value = text[0] - '0';
    if (!is_tool_mode(value)) return false;
    mode = value;
    return true;
}

const char* mode_complaint(char* out, size_t capacity) {
    char modes[64];
    list_in_help("modes", modes, sizeof modes);
    snprintf(out, capacity, "the mode must be %s", modes);
    return out;
}

void take_mode(DumpArguments& arguments, int32_t mode) {
    arguments.mode = mode;
    arguments.palette = default_palette(mode);
    arguments.fit.mode = mode;
    arguments.fit.palette_choice = FitSettings::PaletteChoice::kOwn;
    arguments.nula = NulaPalette{};
    arguments.fit.nula_choice = FitSettings::NulaChoice::kNone;
    const char digit[2] = {static_cast<char>('0' + mode), '\0'};
    note_option(arguments.following, "-m", digit);
}

bool take_palette(DumpArguments& arguments, const char* text, const ToolRun& run, const char* program) {
    char reason[128];
    arguments.nula = NulaPalette{};
    arguments.fit.nula_choice = FitSettings::NulaChoice::kNone;
    if (strcmp(text, "auto") == 0 || arguments.mode == kTeletextMode) {
        // For pictures alone: a dump is shown in the palette it was made
        // for. MODE 7 has none: any -p there is refused as a page is named.
        arguments.palette = default_palette(arguments.mode);
        arguments.fit.palette_choice = FitSettings::PaletteChoice::kBest;
    } else if (!parse_palette(text, arguments.mode, arguments.palette, reason, sizeof reason)) {
        usage_error(run, program, reason);
        return false;
    } else {
        arguments.fit.palette = arguments.palette;
        arguments.fit.palette_choice = FitSettings::PaletteChoice::kGiven;
    }
    note_option(arguments.following, "-p", text);
    return true;
}

void take_dump(DumpArguments& arguments, const char* path) {
    if (arguments.count < arguments.capacity)
        arguments.dumps[arguments.count] = {path, arguments.mode, arguments.palette, arguments.nula, arguments.fit};
    ++arguments.count;
    note_operand(arguments.following);
}

bool take_nula(DumpArguments& arguments, const Argument& argument, const ToolRun& run, const char* program) {
    if (!take_nula_option(argument, arguments.fit, run, program)) return false;
    arguments.palette = default_palette(arguments.mode);
    arguments.nula = argument.id == kOptionNulaPalette ? arguments.fit.nula : NulaPalette{};
    note_option(arguments.following, argument.id == kOptionNula ? "--nula" : "--nula-palette", argument.value);
    return true;
}

int check_dump_arguments(const DumpArguments& arguments, const ToolRun& run, const char* program) {
    return check_operands(arguments.count, arguments.following, run, program, "no screen dump named", "dump");
}
