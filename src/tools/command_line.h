// Options in the GNU style for the companion tools: -m 2, -m2, --mode 2,
// --mode=2, unique abbreviations of long names, "--" to end the options.
// Errors name the program by its short name, the same on every system.
#pragma once

#include <cstddef>

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
// has been printed on standard error.
Argument next_argument(CommandLine& line);

// Prints "PROGRAM: MESSAGE" and the pointer to --help on standard error
// and returns 2, the status of a command-line mistake.
int usage_error(const char* program, const char* message);
