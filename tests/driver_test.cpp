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

// The program itself, on real files: each argument in turn with options of
// its own, the dumps and sidecars beside the pictures, a progress line per
// argument with the percentage cut down, and the usage text with none.
TEST(TarnvilProgram, ConvertsEachArgumentInTurn) {
    TempDir dir;
    write_file(dir / "pic.ppm", make_ppm(1, 1, std::string("\xff\x00\x00", 3)));
    // Column 0 white, column 1 black: aspect in mode 4 keeps one column per
    // pixel; mode 2 without aspect shows white then black.
    const std::string pixels("\xff\xff\xff\x00\x00\x00", 6);
    write_file(dir / "a.ppm", make_ppm(2, 1, pixels));
    write_file(dir / "b.ppm", make_ppm(2, 1, pixels));
    const RunResult run = run_tarnvil({"-h02pic.ppm", "-hs0a4a.ppm", "b.ppm", "-h", "-5", "missing.ppm", "gone.ppm"}, dir.path());
    EXPECT_EQ(run.exit_status, 0);
    auto converted = [](const std::string& name, const std::string& size, int mode) {
        return "Attempting to open " + name + "\nThis PPM file has no comment.\n\nFile is " + size + "\nNow analysing file...\n" +
               "Opening output file \"" + name + ".bbc\"...\n" + mode_line(mode) + "Writing Droxa INF file...\nDone!!!\n";
    };
    EXPECT_EQ(run.out, converted("pic.ppm", "1 x 1", 2) + "14% completed.\n" + converted("a.ppm", "2 x 1", 4) +
                           "28% completed.\n" + converted("b.ppm", "2 x 1", 2) + "42% completed.\n" +
                           "Option block \"-h\" is incomplete. Using defaults for the missing options.\n"
                           "Attempting to open \nUnable to open this file.\n57% completed.\n"
                           "Attempting to open \nUnable to open this file.\n71% completed.\n"
                           "Attempting to open missing.ppm\nUnable to open this file.\n85% completed.\n"
                           "Attempting to open gone.ppm\nUnable to open this file.\n100% completed.\n");
    const auto pic = read_file(dir / "pic.ppm.bbc");
    ASSERT_TRUE(pic);
    ASSERT_EQ(pic->size(), 20480u);
    EXPECT_EQ(pic->find_first_not_of('\0', 1), std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>((*pic)[0]), 0x02);
    EXPECT_EQ(read_file(dir / "pic.ppm.bbc.inf"), "$.SCREEN 003000 000000\n");
    const auto a = read_file(dir / "a.ppm.bbc");
    const auto b = read_file(dir / "b.ppm.bbc");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 10240u);
    EXPECT_EQ(static_cast<uint8_t>((*a)[0]), 0x80);
    EXPECT_EQ(read_file(dir / "a.ppm.bbc.inf"), "$.SCREEN 005800 000000\n");
    EXPECT_EQ(b->size(), 20480u);
    // Fine halftoning at (0,0) adds 0 (white stays white), at (1,0) adds -86.
    EXPECT_EQ(static_cast<uint8_t>((*b)[0]), 0x2A);
    EXPECT_FALSE(exists(dir / "missing.ppm.bbc"));
    EXPECT_FALSE(exists(dir / "missing.ppm.bbc.inf"));

    const RunResult usage = run_tarnvil({}, dir.path());
    EXPECT_EQ(usage.out, kUsageText);
    EXPECT_EQ(usage.exit_status, 0);
}

}  // namespace
