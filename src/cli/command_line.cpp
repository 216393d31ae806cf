#include "cli/command_line.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

Argument error() { return {ArgumentKind::kError, 0, nullptr}; }

Argument take_value(CommandLine& line, const OptionSpec& option, const char* attached) {
    if (!option.value) return {ArgumentKind::kOption, option.id, nullptr};
    if (attached && *attached) return {ArgumentKind::kOption, option.id, attached};
    if (line.next < line.argc) return {ArgumentKind::kOption, option.id, line.argv[line.next++]};
    if (option.long_name && !attached)
        say(line.errors, "%s: option '--%s' requires an argument\n", line.program, option.long_name);
    else
        say(line.errors, "%s: option requires an argument -- '%c'\n", line.program, option.short_name);
    return error();
}

// The long option whose name is the first `length` characters of `text`,
// or starts with them; `prefixes` counts the options that could be meant.
const OptionSpec* find_long_option(const OptionSpec* options, size_t count, const char* text, size_t length,
                                   int& prefixes) {
    const OptionSpec* found = nullptr;
    prefixes = 0;
    for (size_t i = 0; i < count; ++i) {
        const OptionSpec& option = options[i];
        if (!option.long_name || strncmp(option.long_name, text, length) != 0) continue;
        if (option.long_name[length] == '\0') {
            prefixes = 1;
            return &option;
        }
        found = &option;
        ++prefixes;
    }
    return found;
}

const OptionSpec* find_short_option(const OptionSpec* options, size_t count, char letter) {
    for (size_t i = 0; i < count; ++i)
        if (options[i].short_name == letter && letter != '\0') return &options[i];
    return nullptr;
}

Argument long_option(CommandLine& line, const char* text) {
    const char* equals = strchr(text, '=');
    const size_t length = equals ? static_cast<size_t>(equals - text) : strlen(text);
    int prefixes = 0;
    const OptionSpec* found = find_long_option(line.options, line.option_count, text, length, prefixes);
    if (prefixes == 0) {
        say(line.errors, "%s: unrecognized option '--%s'\n", line.program, text);
        return error();
    }
    if (prefixes > 1) {
        say(line.errors, "%s: option '--%.*s' is ambiguous; possibilities:", line.program, static_cast<int>(length),
                text);
        for (size_t i = 0; i < line.option_count; ++i)
            if (line.options[i].long_name && strncmp(line.options[i].long_name, text, length) == 0)
                say(line.errors, " '--%s'", line.options[i].long_name);
        say_text(line.errors, "\n", 1);
        return error();
    }
    if (equals && !found->value) {
        say(line.errors, "%s: option '--%s' doesn't allow an argument\n", line.program, found->long_name);
        return error();
    }
    if (equals) return {ArgumentKind::kOption, found->id, equals + 1};
    return take_value(line, *found, nullptr);
}

Argument short_option(CommandLine& line) {
    const char letter = *line.cluster++;
    if (const OptionSpec* option = find_short_option(line.options, line.option_count, letter)) {
        if (!option->value) {
            if (*line.cluster == '\0') line.cluster = nullptr;
            return {ArgumentKind::kOption, option->id, nullptr};
        }
        const char* attached = *line.cluster ? line.cluster : nullptr;
        line.cluster = nullptr;
        if (attached) return {ArgumentKind::kOption, option->id, attached};
        return take_value(line, *option, "");
    }
    line.cluster = nullptr;
    say(line.errors, "%s: invalid option -- '%c'\n", line.program, letter);
    return error();
}

}  // namespace

Argument next_argument(CommandLine& line) {
    if (line.cluster) return short_option(line);
    if (line.next >= line.argc) return {ArgumentKind::kEnd, 0, nullptr};
    const char* text = line.argv[line.next++];
    if (!line.options_ended && platform::asks_for_help(text)) {
        for (size_t i = 0; i < line.option_count; ++i)
            if (line.options[i].long_name && strcmp(line.options[i].long_name, "help") == 0)
                return {ArgumentKind::kOption, line.options[i].id, nullptr};
    }
    if (line.options_ended || text[0] != '-' || text[1] == '\0') return {ArgumentKind::kOperand, 0, text};
    if (text[1] == '-') {
        if (text[2] == '\0') {
            line.options_ended = true;
            return next_argument(line);
        }
        return long_option(line, text + 2);
    }
    line.cluster = text + 1;
    return short_option(line);
}

bool takes_next_argument(const OptionSpec* options, size_t count, const char* argument) {
    if (argument[0] != '-' || argument[1] == '\0') return false;
    if (argument[1] == '-') {
        const char* name = argument + 2;
        if (*name == '\0' || strchr(name, '=')) return false;
        int prefixes = 0;
        const OptionSpec* option = find_long_option(options, count, name, strlen(name), prefixes);
        return prefixes == 1 && option->value;
    }
    for (const char* letter = argument + 1; *letter != '\0'; ++letter) {
        const OptionSpec* option = find_short_option(options, count, *letter);
        if (!option) return false;
        if (option->value) return letter[1] == '\0';
    }
    return false;
}

void note_option(FollowingOption& following, const char* option, const char* value) {
    snprintf(following.text, sizeof following.text, "%s%s%s", option, value ? " " : "", value ? value : "");
}

void note_operand(FollowingOption& following) { following.text[0] = '\0'; }

int check_operands(int32_t count, const FollowingOption& following, const ToolRun& run, const char* program,
                   const char* none, const char* noun) {
    if (count == 0) return usage_error(run, program, none);
    if (following.text[0] == '\0') return -1;
    char reason[sizeof following.text + 96];
    snprintf(reason, sizeof reason, "%s comes after the last %s; put it before the %ss it is for", following.text, noun,
             noun);
    return usage_error(run, program, reason);
}

int show_version(const ToolRun& run, const char* program) {
    say(run.out, "%s %s\n", program, TARNVIL_VERSION);
    return 0;
}

int point_to_help(const ToolRun& run, const char* program) {
    if (run.from_shell) say(run.errors, "Try '%s --help' for more information.\n", program);
    return 2;
}

int usage_error(const ToolRun& run, const char* program, const char* message) {
    say(run.errors, "%s: %s\n", program, message);
    return point_to_help(run, program);
}

int read_command_line(const ToolCommand& tool, int argc, char** argv, const ToolRun& run, void* context,
                      int (*take)(void* context, const Argument& argument)) {
    CommandLine line{tool.program, argc, argv, tool.options, tool.option_count, run.errors};
    for (Argument argument; (argument = next_argument(line)).kind != ArgumentKind::kEnd;) {
        if (argument.kind == ArgumentKind::kError) return point_to_help(run, tool.program);
        if (argument.kind == ArgumentKind::kOption && argument.id == kOptionHelp) {
            say_help(tool, run.out);
            return 0;
        }
        if (argument.kind == ArgumentKind::kOption && argument.id == kOptionVersion)
            return show_version(run, tool.program);
        const int status = take(context, argument);
        if (status >= 0) return status;
    }
    return -1;
}
