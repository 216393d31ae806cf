// Options in the GNU style for the companion tools: -m 2, -m2, --mode 2,
// --mode=2, unique abbreviations of long names, "--" to end the options;
// on Windows also "/?" for --help.
// Errors name the program by its short name, the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "cli/tool.h"

struct OptionSpec {
    const char* long_name;  // without the leading "--"; nullptr for none
    char short_name;        // '\0' for none
    bool takes_value;
    int id;
};

struct CommandLine {
    const char* program;
    int argc;
    char** argv;
    const OptionSpec* options;
    size_t option_count;
    MessageSink errors;
    int next = 1;                    // the argument to read next
    const char* cluster = nullptr;   // the rest of "-ab" after "-a"
    bool options_ended = false;      // after "--"
};

enum class ArgumentKind { kOption, kOperand, kEnd, kError };

struct Argument {
    ArgumentKind kind;
    int id;             // the option's id
    const char* value;  // the option's value, or the operand
};

// The next option or operand, in command-line order. On kError the reason
// has been written to the line's error sink.
Argument next_argument(CommandLine& line);

// Whether `argument` is one of `options` that takes the next argument as
// its value, as next_argument reads it: "-o", "-ao", "--output", "--out";
// not "-ofile" or "--output=file".
bool takes_next_argument(const OptionSpec* options, size_t count, const char* argument);

// Options that apply to the operands after them, such as -m MODE: the last
// one given while no operand has followed it yet.
struct FollowingOption {
    char text[96] = "";  // as the message names it, "-m 5"
};

void note_option(FollowingOption& following, const char* option, const char* value);
void note_operand(FollowingOption& following);

// After the last argument: a command line with no operand, or whose last
// such option applies to nothing, is a mistake, reported with status 2
// ("no NOUN named" is `none`). Returns -1 when neither is the case.
int check_operands(int32_t count, const FollowingOption& following, const ToolRun& run, const char* program,
                   const char* none, const char* noun);

// --help and --version: the text on standard output. Return 0, the
// status to end with.
int show_usage(const ToolRun& run, const char* usage);
int show_version(const ToolRun& run, const char* program);

// After a command-line mistake has been reported: from a shell, the
// pointer to --help. Returns 2, the status of such a mistake.
int point_to_help(const ToolRun& run, const char* program);

// Reports "PROGRAM: MESSAGE" as a command-line mistake; returns 2.
int usage_error(const ToolRun& run, const char* program, const char* message);
