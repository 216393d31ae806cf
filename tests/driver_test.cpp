#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/driver.h"
#include "support.h"

using namespace testing_support;

namespace {

const char kUsageText[] =
    "Usage:-\n  tarnvil [<opts>]<ppm-file> [ [<opts>]<ppm-file>... ]\n"
    "<opts> are -0,-1,-2,-4,-5 to set BBC MODE. -2 is default.\n"
    "-a2,-a0 for aspect-correction, -hX1,-hsXa2 for halftoning:-\n"
    "\tX=0 for no halftoning,\n\tX=1 for fine halftoning (default),\n"
    "\tX=2 for coarse halftoning,\n\tX=3 for spiral halftoning,\n"
    "\tX=4 for diagonal halftoning.\n"
    "\t's' between the -h and the X value staggers the RGB values.\n"
    "\tStaggering often works well for MODE 2, but not for 2-colour modes.\n"
    "\nLeave no spaces between the options and the filename.\neg. tarnvil -a2house.ppm -hs4a0picture.ppm\n"
    "\nTip: Use GNU bash if you want to use wildcards with this program...\n";

TEST(Usage, NoArgumentPrintsTheUsageTextAndExitsZero) {
    TempDir dir;
    const RunResult run = run_tarnvil({}, dir.path());
    EXPECT_EQ(run.out, kUsageText);
    EXPECT_EQ(run.exit_status, 0);
}

struct BlockCase {
    const char* argument;
    const char* name;
    int mode;
    int halftone;
    bool stagger;
    bool aspect;
    const char* message;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << '"' << c.argument << '"'; }

const char* const kIncomplete = "\" is incomplete. Using defaults for the missing options.\n";

std::string incomplete(const char* argument) { return std::string("Option block \"") + argument + kIncomplete; }

class OptionBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(OptionBlock, GivesNameOptionsAndMessages) {
    const BlockCase& c = GetParam();
    ConversionOptions options = kDefaultOptions;
    const char* name = nullptr;
    Messages messages;
    name = parse_option_block(c.argument, options, messages.sink());
    const std::string out = messages.text();
    EXPECT_STREQ(name, c.name);
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.halftone, c.halftone);
    EXPECT_EQ(options.stagger, c.stagger);
    EXPECT_EQ(options.aspect, c.aspect);
    const std::string expected = c.message == kIncomplete ? incomplete(c.argument) : c.message;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.find('\0'), std::string::npos);
    // The name always lies inside the argument, at or before its end.
    EXPECT_LE(name, c.argument + strlen(c.argument));
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, OptionBlock,
    ::testing::Values(
        BlockCase{"house.ppm", "house.ppm", 2, 1, false, false, ""},
        BlockCase{"-5pic.ppm", "pic.ppm", 5, 1, false, false, ""},
        BlockCase{"-0a", "a", 0, 1, false, false, ""},
        BlockCase{"-4x", "x", 4, 1, false, false, ""},
        BlockCase{"-1x", "x", 1, 1, false, false, ""},
        BlockCase{"-a2house.ppm", "house.ppm", 2, 1, false, true, ""},
        BlockCase{"-hs4a0picture.ppm", "picture.ppm", 0, 4, true, true, ""},
        BlockCase{"-h31x.ppm", "x.ppm", 1, 3, false, false, ""},
        BlockCase{"-h05y", "y", 5, 0, false, false, ""},
        BlockCase{"-hs0a4a.ppm", "a.ppm", 4, 0, true, true, ""},
        BlockCase{"-2-x.ppm", "-x.ppm", 2, 1, false, false, ""},
        BlockCase{"-5", "", 5, 1, false, false, ""},
        BlockCase{"-3pic.ppm", "pic.ppm", 2, 1, false, false, "Invalid MODE 3 for pic.ppm. Using MODE 2 as default.\n"},
        BlockCase{"-6pic.ppm", "pic.ppm", 2, 1, false, false, "Invalid MODE 6 for pic.ppm. Using MODE 2 as default.\n"},
        BlockCase{"-/pic.ppm", "pic.ppm", 2, 1, false, false, "Invalid MODE / for pic.ppm. Using MODE 2 as default.\n"},
        BlockCase{"-x", "", 2, 1, false, false, "Invalid MODE x for . Using MODE 2 as default.\n"},
        BlockCase{"-h7a1pic.ppm", "pic.ppm", 1, 1, false, true,
                  "Halftoning switch -h7 out of range. Using -h1 as default.\n"},
        BlockCase{"-hs9a1x.ppm", "x.ppm", 1, 1, true, true,
                  "Halftoning switch -h9 out of range. Using -h1 as default.\n"},
        BlockCase{"-h/0x", "x", 0, 1, false, false, "Halftoning switch -h/ out of range. Using -h1 as default.\n"},
        BlockCase{"-h2pic.ppm", "ic.ppm", 2, 2, false, false, "Invalid MODE p for ic.ppm. Using MODE 2 as default.\n"},
        BlockCase{"-ah31pic.ppm", "31pic.ppm", 2, 1, false, true,
                  "Invalid MODE h for 31pic.ppm. Using MODE 2 as default.\n"},
        BlockCase{"-sh1x", "h1x", 2, 1, false, false, "Invalid MODE s for h1x. Using MODE 2 as default.\n"},
        BlockCase{"-a-h1x", "h1x", 2, 1, false, true, "Invalid MODE - for h1x. Using MODE 2 as default.\n"},
        BlockCase{"-hs", "", 2, 1, true, false, kIncomplete},
        BlockCase{"-", "", 2, 1, false, false, kIncomplete},
        BlockCase{"-h", "", 2, 1, false, false, kIncomplete},
        BlockCase{"-h1", "", 2, 1, false, false, kIncomplete},
        BlockCase{"-hs3", "", 2, 3, true, false, kIncomplete},
        BlockCase{"-hs4a", "", 2, 4, true, true, kIncomplete},
        BlockCase{"-hs4a0", "", 0, 4, true, true, ""},
        BlockCase{"-a", "", 2, 1, false, true, kIncomplete},
        BlockCase{"-h2a", "", 2, 2, false, true, kIncomplete},
        BlockCase{"-hsa", "", 2, 1, true, false,
                  "Halftoning switch -ha out of range. Using -h1 as default.\nOption block \"-hsa\" is incomplete. "
                  "Using defaults for the missing options.\n"}));

TEST(OptionBlock, NonAsciiCharactersCountAsOutOfRange) {
    ConversionOptions options = kDefaultOptions;
    const char argument[] = {'-', 'h', '\xE9', '\xFF', 'x', '\0'};
    Messages messages;
    EXPECT_STREQ(parse_option_block(argument, options, messages.sink()), "x");
    const std::string out = messages.text();
    EXPECT_EQ(out, std::string("Halftoning switch -h\xE9 out of range. Using -h1 as default.\n") +
                       "Invalid MODE \xFF for x. Using MODE 2 as default.\n");
    EXPECT_EQ(options.halftone, kHalftoneFine);
    EXPECT_EQ(options.mode, 2);
}

TEST(Progress, OneLinePerArgumentWithTruncatedPercentages) {
    TempDir dir;
    const struct {
        int files;
        std::vector<int> percentages;
    } cases[] = {{1, {100}}, {3, {33, 66, 100}}, {4, {25, 50, 75, 100}}, {7, {14, 28, 42, 57, 71, 85, 100}}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments;
        std::string expected;
        for (int i = 0; i < c.files; ++i) {
            arguments.push_back("missing" + std::to_string(i) + ".ppm");
            expected += "Attempting to open " + arguments.back() + "\nUnable to open this file.\n" +
                        std::to_string(c.percentages[static_cast<size_t>(i)]) + "% completed.\n";
        }
        const RunResult run = run_tarnvil(arguments, dir.path());
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.exit_status, 0);
    }
}

TEST(Progress, IncompleteBlockStillReportsAndGoesOn) {
    TempDir dir;
    const RunResult run = run_tarnvil({"-h", "-5"}, dir.path());
    EXPECT_EQ(run.out,
              "Option block \"-h\" is incomplete. Using defaults for the missing options.\n"
              "Attempting to open \nUnable to open this file.\n50% completed.\n"
              "Attempting to open \nUnable to open this file.\n100% completed.\n");
    EXPECT_EQ(run.exit_status, 0);
}

}  // namespace
