// Options in the GNU style for the companion tools: -m 2, -m2, --mode 2,
// --mode=2, unique abbreviations of long names, "--" to end the options;
// on Windows also "/?" for --help.
// Errors name the program by its short name, the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "cli/tool.h"

// One option of a tool, and what its --help says of it: the one place
// each option is described, from which --help is printed and against
// which the manual pages are checked.
struct OptionSpec {
    const char* long_name;  // without the leading "--"; nullptr for none
    char short_name;        // '\0' for none
    const char* value;      // the name of its value in --help ("MODE"); nullptr for an option that takes none
    int id;
    // What --help says of it, in words the manual page's entry starts with.
    // Lists that other tables hold stand as {modes}, {halftones}, {fills},
    // {tones} and {dithers} (list_in_help). nullptr: not listed on its own.
    const char* help = nullptr;
};

// Options every tool has, by these ids.
enum CommonOptionId { kOptionHelp = 1000, kOptionVersion, kOptionKeep };
inline constexpr OptionSpec kHelpOption{"help", 'h', nullptr, kOptionHelp, "show this help and exit"};
inline constexpr OptionSpec kVersionOption{"version", '\0', nullptr, kOptionVersion, "show the version and exit"};
// tarnvil-view's and tarnvil-disc's.
inline constexpr OptionSpec kKeepOption{
    "keep", '\0', "DIR", kOptionKeep,
    "also write each picture's PPM, dump, sidecar and preview into DIR, named as the separate commands name them"};

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

// A tool's command line: its options, and the words of its --help around
// them.
struct ToolCommand {
    const char* program;
    const OptionSpec* options;
    size_t option_count;
    const char* usage;  // before the options: the usage lines and what the tool does
    int32_t column;     // where the options' words start
    // After them: the picture options in one paragraph (tarnvil-view's and
    // tarnvil-disc's, which take them as tarnvil-fit does; tarnvil-fit
    // lists each), then the rest.
    bool picture_paragraph;
    const char* after;
};

// Reads the tool's command line in order, answering --help and --version
// itself and reporting mistakes (with the pointer to --help from a shell),
// and hands every other option and every operand (kOperand) to `take`,
// which returns -1 to go on or the status to end with after reporting.
// Returns -1 once every argument is taken, or the status to end with.
int read_command_line(const ToolCommand& tool, int argc, char** argv, const ToolRun& run, void* context,
                      int (*take)(void* context, const Argument& argument));

// --help's text for the tool.
void say_help(const ToolCommand& tool, const MessageSink& sink);

// An option's help with each {list} in it spelt out, into `out`.
void expand_help(const char* text, char* out, size_t capacity);

// The list named `name` ("modes", "halftones", "fills", "tones",
// "dithers") as --help and the messages give it, into `out`: "0, 1, 2, 4
// or 5". False for a name that is no list.
bool list_in_help(const char* name, char* out, size_t capacity);

// --version: the text on standard output. Returns 0, the status to end with.
int show_version(const ToolRun& run, const char* program);

// After a command-line mistake has been reported: from a shell, the
// pointer to --help. Returns 2, the status of such a mistake.
int point_to_help(const ToolRun& run, const char* program);

// What an operand named `name` needs before it so that no command line
// takes it for an option: "./" before a name that starts with '-', else "".
inline const char* operand_prefix(const char* name) { return name[0] == '-' ? "./" : ""; }

// Reports "PROGRAM: MESSAGE" as a command-line mistake; returns 2.
int usage_error(const ToolRun& run, const char* program, const char* message);
