// The companion tools' option parser, in memory: what each command line
// reads as, in order, and the message of a mistake, word for word.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "support.h"

using namespace testing_support;

namespace {

const OptionSpec kOptions[] = {
    {"all", 'a', nullptr, 'a'},      {"mode", 'm', "MODE", 'm'},      {"modes", '\0', nullptr, 'M'},
    {"output", 'o', "FILE", 'o'},    {"outline", '\0', nullptr, 'l'}, {nullptr, 'q', nullptr, 'q'},
};

// The arguments as read, up to the end or the first mistake: "a" for an
// option without a value, "m=2" for one with, "<x>" for an operand, "!"
// for a mistake; and what was said about it.
std::string read_all(std::vector<std::string> words, std::string& errors) {
    std::vector<char*> argv = {const_cast<char*>("prog")};
    for (std::string& word : words) argv.push_back(word.data());
    Messages said;
    CommandLine line{"prog", static_cast<int>(argv.size()), argv.data(), kOptions, std::size(kOptions), said.sink()};
    std::string read;
    for (Argument argument; (argument = next_argument(line)).kind != ArgumentKind::kEnd;) {
        if (!read.empty()) read += ' ';
        if (argument.kind == ArgumentKind::kError) {
            read += '!';
            break;
        }
        if (argument.kind == ArgumentKind::kOperand) {
            read.append("<").append(argument.value).append(">");
        } else {
            read += static_cast<char>(argument.id);
            if (argument.value) read.append("=").append(argument.value);
        }
    }
    errors = said.text();
    return read;
}

TEST(CommandLine, ReadsOptionsOperandsAndMistakes) {
    const struct {
        std::vector<std::string> words;
        const char* read;
        const char* errors;
    } cases[] = {
        // Values attached, separate, after "=", and taken as written.
        {{"-am2", "x"}, "a m=2 <x>", ""},
        {{"-a", "-m", "2", "-ofile", "-qo", "f"}, "a m=2 o=file q o=f", ""},
        {{"--mode=4", "--mode", "5", "--mode="}, "m=4 m=5 m=", ""},
        {{"-m", "-a", "--output", "--", "--mode", "-x"}, "m=-a o=-- m=-x", ""},
        // "-" is an operand; "--" ends the options, once.
        {{"-", "x", "--", "-a", "--all", "--", "-"}, "<-> <x> <-a> <--all> <--> <->", ""},
        // Unique abbreviations, and an exact name that starts another.
        {{"--al", "--outp=f", "--outl", "--mode", "2", "--modes"}, "a o=f l m=2 M", ""},
        {{"--mod=3"}, "!", "prog: option '--mod' is ambiguous; possibilities: '--mode' '--modes'\n"},
        {{"--out"}, "!", "prog: option '--out' is ambiguous; possibilities: '--output' '--outline'\n"},
        {{"--ou=f"}, "!", "prog: option '--ou' is ambiguous; possibilities: '--output' '--outline'\n"},
        // A value missing at the end of the line.
        {{"--mode"}, "!", "prog: option '--mode' requires an argument\n"},
        {{"-a", "--outp"}, "a !", "prog: option '--output' requires an argument\n"},
        {{"-m"}, "!", "prog: option requires an argument -- 'm'\n"},
        {{"-qam"}, "q a !", "prog: option requires an argument -- 'm'\n"},
        // Options the program does not have.
        {{"-x"}, "!", "prog: invalid option -- 'x'\n"},
        {{"-ax"}, "a !", "prog: invalid option -- 'x'\n"},
        {{"-a-"}, "a !", "prog: invalid option -- '-'\n"},
        {{"--bogus"}, "!", "prog: unrecognized option '--bogus'\n"},
        {{"--bogus=1"}, "!", "prog: unrecognized option '--bogus=1'\n"},
        {{"--q"}, "!", "prog: unrecognized option '--q'\n"},
        {{"--all=1"}, "!", "prog: option '--all' doesn't allow an argument\n"},
        {{"--outl=1"}, "!", "prog: option '--outline' doesn't allow an argument\n"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& word : c.words) line += " " + word;
        SCOPED_TRACE("prog" + line);
        std::string errors;
        EXPECT_EQ(read_all(c.words, errors), c.read);
        EXPECT_EQ(errors, c.errors);
    }
}

TEST(CommandLine, TellsWhetherAnOptionTakesTheNextArgument) {
    const struct {
        const char* argument;
        bool takes;
    } cases[] = {{"-o", true},      {"-ao", true},     {"-qam", true},      {"--output", true}, {"--outp", true},
                 {"-ofile", false}, {"-oa", false},    {"-a", false},       {"-x", false},      {"-xo", false},
                 {"--out", false},  {"--all", false},  {"--output=f", false}, {"--", false},    {"-", false},
                 {"o", false},      {"--bogus", false}};
    for (const auto& c : cases)
        EXPECT_EQ(takes_next_argument(kOptions, std::size(kOptions), c.argument), c.takes) << c.argument;
}

}  // namespace
