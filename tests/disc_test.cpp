// tarnvil-disc's images, read back with a DFS catalogue reader of the
// test's own. The cases run the request path in memory; what concerns
// files runs the built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "cli/disc/disc_command.h"
#include "driver/driver.h"
#include "lib/disc/compress.h"
#include "lib/disc/dfs.h"
#include "lib/disc/disc.h"
#include "pictures.h"
#include "lib/disc/unpack.h"
#include "boot_data.h"
#include "support.h"

using namespace testing_support;

namespace {

struct CatalogueEntry {
    std::string name;  // "$.NAME"
    bool locked;
    uint32_t load, exec, length, start;
};

struct Disc {
    std::string title;
    int boot_option;
    uint32_t sectors;
    int cycle;
    std::vector<CatalogueEntry> entries;  // in catalogue order
    std::string bytes;

    std::string contents(const CatalogueEntry& e) const { return bytes.substr(e.start * 256, e.length); }
};

Disc read_disc(const std::string& bytes) {
    auto byte = [&](size_t at) { return static_cast<uint8_t>(bytes.at(at)); };
    Disc disc;
    disc.bytes = bytes;
    disc.title = bytes.substr(0, 8) + bytes.substr(256, 4);
    disc.title.erase(disc.title.find_last_not_of(std::string(" \0", 2)) + 1);
    disc.cycle = byte(256 + 4);
    disc.boot_option = (byte(256 + 6) >> 4) & 3;
    disc.sectors = static_cast<uint32_t>((byte(256 + 6) & 3) << 8 | byte(256 + 7));
    const int files = byte(256 + 5) / 8;
    for (int i = 0; i < files; ++i) {
        const size_t n = 8 + 8 * static_cast<size_t>(i);
        const size_t d = 256 + n;
        std::string name = bytes.substr(n, 7);
        name.erase(name.find_last_not_of(' ') + 1);
        const uint8_t high = byte(d + 6);
        CatalogueEntry e;
        e.name.assign(1, static_cast<char>(byte(n + 7) & 0x7F)).append(".").append(name);
        e.locked = byte(n + 7) & 0x80;
        e.load = static_cast<uint32_t>(byte(d) | byte(d + 1) << 8 | ((high >> 2) & 3) << 16);
        e.exec = static_cast<uint32_t>(byte(d + 2) | byte(d + 3) << 8 | ((high >> 6) & 3) << 16);
        e.length = static_cast<uint32_t>(byte(d + 4) | byte(d + 5) << 8 | ((high >> 4) & 3) << 16);
        e.start = static_cast<uint32_t>(byte(d + 7) | (high & 3) << 8);
        disc.entries.push_back(e);
    }
    return disc;
}

// Most cases check the layout of the discs that --raw still writes, as
// they always were; packed_disc_tool makes the discs of packed screens.
std::vector<std::string> raw(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "--raw");
    return arguments;
}

RunResult disc_program(const TempDir& dir, const std::vector<std::string>& arguments) {
    return run_program(program("tarnvil-disc"), raw(arguments), dir.path());
}

// tarnvil-disc in memory on `files`.
ToolCall packed_disc_tool(const Files& files, const std::vector<std::string>& arguments, bool from_shell = false) {
    return call_tool(Tool::kDisc, arguments, files, from_shell);
}

ToolCall disc_tool(const Files& files, const std::vector<std::string>& arguments, bool from_shell = false) {
    return packed_disc_tool(files, raw(arguments), from_shell);
}

// The image of a run that went well, bound for `path`.
std::string image_of(const ToolCall& call, const std::string& path = "pictures.ssd") {
    EXPECT_EQ(call.status, 0) << call.err;
    EXPECT_EQ(call.out.rfind(path + " holds ", 0), 0u) << call.out;
    if (call.results.size() != 1 || call.results[0].first != path) {
        ADD_FAILURE() << "no image bound for " << path << ": " << call.err;
        return std::string(256 * 2, '\0');  // an empty catalogue
    }
    return call.results[0].second;
}

// A dump whose bytes differ from every other dump's.
std::string dump(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + static_cast<char>(i * 7 + i / 251));
    return bytes;
}

std::string boot_text(const std::string& modes) {
    std::string text = "NEW\r10 M$=\"";
    text.append(modes).append("\":FOR I%=1 TO ").append(std::to_string(modes.size()));
    text.append(":MODE VAL MID$(M$,I%,1):VDU 23,1,0;0;0;0;:OSCLI \"LOAD P\"+STR$ I%:A$=GET$:NEXT:REPEAT UNTIL FALSE\rRUN\r");
    return text;
}

TEST(Disc, SeveralPicturesInTheirModesOnFortyTracks) {
    const std::string two = dump(20480, 2), five = dump(10240, 5), four = dump(10240, 4), one = dump(20480, 9);
    const Files files = {{"two.bbc", two}, {"five.bbc", five}, {"four.bbc", four}, {"one.bbc", one}};
    const std::string bytes = image_of(disc_tool(files, {"--tracks", "40", "--title", "ABCDEFGHIJKL", "-o", "out.ssd", "two.bbc",
                                                         "-m", "5", "five.bbc", "--mode=4", "four.bbc", "-m1", "one.bbc"}),
                                       "out.ssd");
    ASSERT_EQ(bytes.size(), 102400u);
    EXPECT_EQ(bytes.substr(0, 8), "ABCDEFGH");
    EXPECT_EQ(bytes.substr(256, 4), "IJKL");
    const Disc disc = read_disc(bytes);
    EXPECT_EQ(disc.title, "ABCDEFGHIJKL");
    EXPECT_EQ(disc.sectors, 400u);
    EXPECT_EQ(disc.boot_option, 3);
    // Listed from the last start sector down; no sidecars, so the load
    // address is the mode's screen start.
    const struct {
        const char* name;
        uint32_t load, length, start;
        const std::string* data;
    } expected[] = {{"$.P4", 0x3000, 20480, 163, &one},
                    {"$.P3", 0x5800, 10240, 123, &four},
                    {"$.P2", 0x5800, 10240, 83, &five},
                    {"$.P1", 0x3000, 20480, 3, &two}};
    ASSERT_EQ(disc.entries.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        const CatalogueEntry& e = disc.entries[i];
        EXPECT_EQ(e.name, expected[i].name);
        EXPECT_EQ(e.load, expected[i].load) << e.name;
        EXPECT_EQ(e.exec, 0u) << e.name;
        EXPECT_EQ(e.length, expected[i].length) << e.name;
        EXPECT_EQ(e.start, expected[i].start) << e.name;
        EXPECT_TRUE(disc.contents(e) == *expected[i].data) << e.name;
    }
    EXPECT_EQ(disc.contents(disc.entries[4]), boot_text("2541"));
    // Long and short options, glued or not, ask for the same disc.
    EXPECT_TRUE(image_of(disc_tool(files, {"--tracks=40", "--title=ABC", "-m4", "four.bbc"})) ==
                image_of(disc_tool(files, {"-t", "40", "-T", "ABC", "-m", "4", "four.bbc"})));
}

// A picture is named after its file as DFS takes names, its letters read
// without their marks so that the name still reads; each name is made
// unique against every file on the disc, those after it as well: dumps
// keep their places' names.
TEST(Disc, NamesOfPictures) {
    const struct {
        const char* path;
        const char* name;
    } files[] = {
        {"photos/Zo\xC3\xAB.png", "ZOE"},
        {"Plage d'\xC3\xA9t\xC3\xA9.jpg", "PLAGEDE"},
        {"C:\\Stra\xC3\x9F" "e.gif", "STRASSE"},
        {"\xC3\x86gir \xC3\xBEor \xC5\x81\xC3\xB3" "d\xC5\xBA.png", "AEGIRTH"},
        {"\xC5\x92il \xC4\xB3s \xC3\xB0.png", "OEILIJS"},
        {"Zoe\xCC\x88 \xC5\xBF\xC3\xBF.png", "ZOESY"},  // decomposed, as macOS spells it; long s, y with diaeresis
        {"1\xC3\x97" "2\xC3\xB7" "3.bmp", "123"},         // the signs are no letters
        {"\xE6\x9D\xB1\xE4\xBA\xAC.png", ""},            // nothing Latin left: named by its place
        {"caf\xC3.png", "CAF"},                              // a sequence cut short
        {"x\xC3\xA9\x80y", "XEY"},                          // a stray continuation byte
    };
    for (const auto& f : files) {
        char name[8];
        disc_name_for(f.path, name);
        EXPECT_STREQ(name, f.name) << f.path;
    }
    const struct {
        std::vector<const char*> wanted;  // "" for a dump
        std::vector<const char*> given;
    } discs[] = {
        {{"P5", "", "", "", ""}, {"P52", "P2", "P3", "P4", "P5"}},
        {{"P2", "", "P2", "P1"}, {"P22", "P2", "P23", "P1"}},
    };
    for (const auto& d : discs) {
        std::vector<std::string> dumps;
        std::vector<DiscPicture> pictures(d.wanted.size());
        for (size_t i = 0; i < pictures.size(); ++i) {
            dumps.push_back(dump(20480, static_cast<char>(i)));
            pictures[i] = {2, default_palette(2), reinterpret_cast<const uint8_t*>(dumps[i].data()), 0x3000, 0};
            snprintf(pictures[i].name, sizeof pictures[i].name, "%s", d.wanted[i]);
        }
        std::string image(204800, '\0');
        char reason[200];
        DiscSummary summary{};
        ASSERT_TRUE(build_disc(DiscSettings{80, 1, false, 0}, "", pictures.data(), static_cast<int32_t>(pictures.size()),
                               reinterpret_cast<uint8_t*>(image.data()), summary, reason, sizeof reason))
            << reason;
        const Disc disc = read_disc(image);
        ASSERT_EQ(disc.entries.size(), pictures.size() + 1);
        for (size_t i = 0; i < pictures.size(); ++i) {
            const auto entry = std::find_if(disc.entries.begin(), disc.entries.end(),
                                            [&](const CatalogueEntry& e) { return e.name == std::string("$.") + d.given[i]; });
            ASSERT_NE(entry, disc.entries.end()) << d.given[i];
            EXPECT_TRUE(disc.contents(*entry) == dumps[i]) << d.given[i];
        }
    }
}

TEST(Disc, AddressesAboveSixteenBitsFromTheSidecar) {
    const Disc disc = read_disc(image_of(disc_tool({{"a.bbc", dump(20480, 3)}, {"a.bbc.inf", "$.SCREEN 033000 012345\r\n"}}, {"a.bbc"})));
    ASSERT_EQ(disc.entries.size(), 2u);
    EXPECT_EQ(disc.entries[0].load, 0x33000u);
    EXPECT_EQ(disc.entries[0].exec, 0x12345u);
    EXPECT_EQ(static_cast<uint8_t>(disc.bytes[256 + 8 + 6]), (1 << 6) | (3 << 2));
}

// Palettes reach the machine through !BOOT: VDU 19 for each logical colour
// that differs from the mode's own, read from DATA after the picture's
// MODE and before its load; a disc without them keeps the plain program.
TEST(Disc, PalettesInTheBootProgram) {
    const Files files = {{"w.bbc", dump(20480, 1)}, {"n.bbc", dump(10240, 2)}};
    const Disc disc = read_disc(image_of(disc_tool(files, {"-o", "p.ssd", "-m", "1", "-p", "0457", "w.bbc", "-m", "2", "w.bbc", "-m",
                                                           "4", "-p", "70", "n.bbc", "-m", "2", "-p", "01234576", "w.bbc"}),
                                         "p.ssd"));
    ASSERT_EQ(disc.entries.size(), 5u);
    EXPECT_EQ(disc.contents(disc.entries[4]),
              "NEW\r10 M$=\"1242\":FOR I%=1 TO 4:MODE VAL MID$(M$,I%,1):VDU 23,1,0;0;0;0;:READ P$"
              ":FOR J%=1 TO LEN P$ STEP 2:VDU 19,VAL MID$(P$,J%,1),VAL MID$(P$,J%+1,1);0;:NEXT"
              ":OSCLI \"LOAD P\"+STR$ I%:A$=GET$:NEXT:REPEAT UNTIL FALSE\r"
              "20 DATA 1425,00,0710,6776\rRUN\r");
    // The mode's own palette, given, changes nothing.
    const Disc plain = read_disc(image_of(disc_tool(files, {"-o", "plain.ssd", "-m", "1", "-p", "0137", "w.bbc"}), "plain.ssd"));
    ASSERT_EQ(plain.entries.size(), 2u);
    EXPECT_EQ(plain.contents(plain.entries[1]), boot_text("1"));
    // Thirty pictures with eight changes each, more than a disc holds,
    // would take several DATA lines, none longer than BASIC takes.
    const int32_t modes[30] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    const char* changes[30];
    std::fill(std::begin(changes), std::end(changes), "0716253443526170");
    char text[2048];
    const std::string boot(text, write_boot_program(modes, changes, nullptr, 30, text, sizeof text));
    EXPECT_NE(boot.find("\r20 DATA 0716253443526170,"), std::string::npos) << boot;
    EXPECT_NE(boot.find("\r30 DATA 0716253443526170,"), std::string::npos) << boot;
    EXPECT_EQ(boot.substr(boot.size() - 5), "\rRUN\r");
    size_t items = 0;
    for (size_t start = 0, end; (end = boot.find('\r', start)) != std::string::npos; start = end + 1) {
        EXPECT_LE(end - start, 238u) << "a line longer than BASIC takes";
        if (boot.compare(start + 3, 5, "DATA ") == 0) items += 1 + std::count(boot.begin() + static_cast<long>(start), boot.begin() + static_cast<long>(end), ',');
    }
    EXPECT_EQ(items, 30u);
}

// The whole first line of a sidecar counts, however long; what the
// catalogue cannot hold is refused; a load address beside the screen is
// written with a warning.
TEST(Disc, SidecarLines) {
    const std::string names(244, 'N');
    const std::string cannot_hold = " does not fit in a DFS catalogue, which holds 18 bits "
                                    "(up to &3FFFF; &FFxxxx or &FFFFxxxx for the I/O processor)\n";
    const std::string not_inf = "tarnvil-disc: a.bbc.inf: not an INF line (NAME LOAD EXEC)\n";
    struct Case {
        std::string inf;
        int mode;
        std::string err;  // "" for a disc written without a word
        uint32_t load = 0, exec = 0;
    };
    const std::vector<Case> cases = {
        {"$." + names + " 3000 1234\n", 2, "", 0x3000, 0x1234},
        {"$." + names + " 3000 123Z\n", 2, not_inf},
        {"$." + std::string(250, 'N') + " 3000 0", 2, "", 0x3000, 0},
        {"$." + std::string(4087, 'N') + " 3000 0", 2, "", 0x3000, 0},  // 4096 bytes
        {"$.A 3000 0\n" + std::string(4086, ' '), 2,
         "tarnvil-disc: a.bbc.inf: more than 4096 bytes, too long for an INF sidecar\n"},
        {"  $.SCREEN\t5800 E00 00002800 Locked CRC=1A2B\r\n$.OTHER junk\n", 5, "", 0x5800, 0xE00},
        {"$.P FFFF3000 FFFF8023 5000 L\n", 2, "", 0x33000, 0x38023},
        {"$.P FF5800 0 19\n", 4, "", 0x35800, 0},
        {"$.P 033000 012345\n", 1, "", 0x33000, 0x12345},
        {"$.SCREEN 00043000 000000\n", 2, "tarnvil-disc: a.bbc.inf: load address &43000" + cannot_hold},
        {"$.SCREEN 3000 12345678\n", 2, "tarnvil-disc: a.bbc.inf: execution address &12345678" + cannot_hold},
        {"$.SCREEN FF003000 0\n", 2, "tarnvil-disc: a.bbc.inf: load address &FF003000" + cannot_hold},
        {"$.SCREEN 005800 000000\n", 2,
         "tarnvil-disc: a.bbc.inf: warning: load address &5800 puts the MODE 2 dump outside screen memory "
         "(&3000-&7FFF)\n", 0x5800, 0},
        {"$.SCREEN 13000 0\n", 0,
         "tarnvil-disc: a.bbc.inf: warning: load address &13000 puts the MODE 0 dump outside screen memory "
         "(&3000-&7FFF)\n", 0x13000, 0},
        {"$.A 3000 0 5000 L x\n", 2, not_inf},
        {"$.A 3000 0 =x\n", 2, not_inf},
        {std::string("$.A 3000 0\0\n", 12), 2, not_inf},
        {"$.A 3000 123456789\n", 2, not_inf},
        {"\n$.A 3000 0\n", 2, not_inf},
        {"", 2, not_inf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inf.substr(0, 40));
        const std::string picture = dump(c.mode >= 4 ? 10240 : 20480, 5);
        const ToolCall run = disc_tool({{"a.bbc", picture}, {"a.bbc.inf", c.inf}}, {"-m", std::to_string(c.mode), "a.bbc"});
        EXPECT_EQ(run.err, c.err);
        const bool written = c.err.empty() || c.err.find(": warning: ") != std::string::npos;
        EXPECT_EQ(run.status, written ? 0 : 1);
        ASSERT_EQ(run.results.size(), written ? 1u : 0u);
        if (!written) continue;
        EXPECT_EQ(run.results[0].first, "pictures.ssd");
        const Disc disc = read_disc(run.results[0].second);
        ASSERT_EQ(disc.entries.size(), 2u);
        EXPECT_EQ(disc.entries[0].load, c.load);
        EXPECT_EQ(disc.entries[0].exec, c.exec);
        EXPECT_TRUE(disc.contents(disc.entries[0]) == picture);
    }
}

TEST(Disc, FullestDiscAndOneTooMany) {
    Files files;
    std::vector<std::string> arguments = {"-m", "5"};
    for (int i = 0; i < 20; ++i) {
        const std::string name = std::to_string(i).append(".bbc");
        files[name] = dump(10240, static_cast<char>(i));
        arguments.push_back(name);
    }
    // 19 pictures of 40 sectors, !BOOT and the catalogue: 763 of 800 sectors.
    std::vector<std::string> nineteen(arguments.begin(), arguments.end() - 1);
    const Disc disc = read_disc(image_of(disc_tool(files, nineteen)));
    ASSERT_EQ(disc.entries.size(), 20u);
    for (size_t i = 0; i + 1 < disc.entries.size(); ++i) {
        EXPECT_GT(disc.entries[i].start, disc.entries[i + 1].start);
        EXPECT_EQ(disc.entries[i].name, "$.P" + std::to_string(19 - i));
    }
    EXPECT_EQ(disc.entries[0].start, 723u);
    EXPECT_TRUE(disc.contents(disc.entries[0]) == dump(10240, 18));

    const ToolCall full = disc_tool(files, arguments);
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "tarnvil-disc: the pictures need 803 sectors, but an 80-track disc has 800; nothing written\n"
                        "tarnvil-disc: the first 19 of the 20 fit\n");
    EXPECT_TRUE(full.results.empty());
}

TEST(Disc, BadInputsWriteNothing) {
    const Files files = {{"big.bbc", dump(20480, 1)},
                         {"small.bbc", dump(10240, 1)},
                         {"odd.bbc", dump(20480, 1)},
                         {"odd.bbc.inf", "$.SCREEN 3000\n"},
                         {"short.bbc", dump(100, 1)},
                         {"good.bbc", dump(20480, 2)},
                         {"good.bbc.inf", "$.SCREEN 003000 000000\n"},
                         {"notes.jpg", "shopping list\n"},
                         {"empty.JPG", ""},
                         {"screen.gif", dump(20480, 3)},
                         {"rocket.png", png_file({1, 1, 1, {255}}, 8, 0)}};
    const std::string not_read = "not a picture tarnvil reads (PNG, JPEG, GIF, BMP, netpbm)";
    std::vector<std::string> many;
    for (int i = 0; i < 31; ++i) many.push_back("big.bbc");
    const std::string try_help = "Try 'tarnvil-disc --help' for more information.\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    } cases[] = {
        {{"absent.bbc"}, 1, "tarnvil-disc: absent.bbc: No such file or directory\n"},
        {{"short.bbc"}, 1, "tarnvil-disc: short.bbc: only 100 bytes, but a MODE 2 screen dump has 20480\n"},
        {{"small.bbc"}, 1, "tarnvil-disc: small.bbc: 10240 bytes: a MODE 4 or 5 dump? Use -m 4 or -m 5\n"},
        {{"-m", "4", "big.bbc"}, 1, "tarnvil-disc: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"},
        {{"odd.bbc", "absent.bbc"}, 1,
         "tarnvil-disc: odd.bbc.inf: not an INF line (NAME LOAD EXEC)\n"
         "tarnvil-disc: absent.bbc: No such file or directory\n"},
        {many, 1, "tarnvil-disc: 31 pictures given, but a disc holds at most 30 beside !BOOT\n"},
        {{"--title", "ABCDEFGHIJKLM", "big.bbc"}, 2,
         "tarnvil-disc: the title has 13 characters, but a disc title holds at most 12\n" + try_help},
        {{"--title", "Gr\xc3\xb6\xc3\x9f" "e", "big.bbc"}, 2,
         "tarnvil-disc: the title may only use printable ASCII characters, from space to '~'\n" + try_help},
        {{"--tracks", "41", "big.bbc"}, 2, "tarnvil-disc: --tracks must be 40 or 80\n" + try_help},
        {{"--seconds", "0", "big.bbc"}, 2, "tarnvil-disc: --seconds must be a whole number from 1 to 327\n" + try_help},
        {{"--seconds", "328", "big.bbc"}, 2, "tarnvil-disc: --seconds must be a whole number from 1 to 327\n" + try_help},
        {{"--seconds", "5s", "big.bbc"}, 2, "tarnvil-disc: --seconds must be a whole number from 1 to 327\n" + try_help},
        {{"--seconds", "3", "big.bbc"}, 2, "tarnvil-disc: --seconds shows packed pictures: leave out --raw\n" + try_help},
        {{"-m", "3", "big.bbc"}, 2, "tarnvil-disc: the mode must be 0, 1, 2, 4, 5 or 7\n" + try_help},
        {{"big.bbc", "-m", "5"}, 2,
         "tarnvil-disc: -m 5 comes after the last dump; put it before the dumps it is for\n" + try_help},
        {{"--colour", "big.bbc"}, 2, "tarnvil-disc: unrecognized option '--colour'\n" + try_help},
        {{"-x", "big.bbc"}, 2, "tarnvil-disc: invalid option -- 'x'\n" + try_help},
        {{"big.bbc", "-m"}, 2, "tarnvil-disc: option requires an argument -- 'm'\n" + try_help},
        {{}, 2, "tarnvil-disc: no screen dump named\n" + try_help},
        {{"-o", "good.bbc.inf", "big.bbc", "good.bbc"}, 1,
         "tarnvil-disc: good.bbc.inf: the disc image would overwrite this sidecar; name another file with -o\n"},
        {{"-o", "big.bbc", "good.bbc", "big.bbc"}, 1,
         "tarnvil-disc: big.bbc: the disc image would overwrite this dump; name another file with -o\n"},
        // Told as what they were taken for: a picture, by name or bytes.
        {{"-m", "1", "notes.jpg"}, 1, "tarnvil-disc: notes.jpg: " + not_read + ", nor a MODE 1 screen dump (20480 bytes)\n"},
        {{"empty.JPG"}, 1, "tarnvil-disc: empty.JPG: " + not_read + ", nor a MODE 2 screen dump (20480 bytes)\n"},
        {{"screen.gif"}, 1,
         "tarnvil-disc: screen.gif: " + not_read + "; a screen dump named .gif is taken for a picture: rename it\n"},
        {{"-o", "rocket.png", "rocket.png"}, 1,
         "tarnvil-disc: rocket.png: the disc image would overwrite this picture; name another file with -o\n"},
        {{"-t", "40", "big.bbc", "big.bbc", "big.bbc", "big.bbc", "big.bbc"}, 1,
         "tarnvil-disc: the pictures need 403 sectors, but a 40-track disc has 400; nothing written\n"
         "tarnvil-disc: the first 4 of the 5 fit\n"},
    };
    for (const auto& c : cases) {
        // Only a run from a shell points to --help.
        const ToolCall run = disc_tool(files, c.arguments, c.err.ends_with(try_help));
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.results.empty()) << c.err;
        // Packed, as many fit as the screens shrink to.
        if (c.err.find("pictures given") == std::string::npos && c.err.find("sectors") == std::string::npos &&
            c.err.find("--raw") == std::string::npos) {
            const ToolCall packed = packed_disc_tool(files, c.arguments, c.err.ends_with(try_help));
            EXPECT_EQ(packed.status, c.status);
            EXPECT_EQ(packed.err, c.err);
        }
    }
    // A picture cut short at a dump's size is a damaged picture, not noise.
    std::string bmp = "BM" + std::string(12, '\0') + std::string("\x28\0\0\0", 4);
    for (const std::string& start : {std::string("\xFF\xD8\xFF\xE0", 4), std::string("\x89PNG\r\n\x1a\n"), bmp, std::string("P6\n")}) {
        const std::string cut = start + dump(20480 - start.size(), 4);
        const ToolCall run = disc_tool({{"cut", cut}}, {"-m", "1", "cut"});
        EXPECT_EQ(run.status, 1) << start;
        EXPECT_EQ(run.err.rfind("tarnvil-disc: cut: ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.find("dump"), std::string::npos) << run.err;
    }
}

TEST(Disc, ConvertedSampleBootsFromItsOwnSidecar) {
    const std::string ppm = make_ppm(2, 1, std::string("\xff\x00\x00\x00\x00\xff", 6));
    ConvertedPicture converted;
    convert_picture("-h04pic.ppm", reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), no_messages(), converted);
    const Files files = {
        {"pic.ppm.bbc", std::string(reinterpret_cast<const char*>(converted.files.dump), static_cast<size_t>(converted.files.dump_size))},
        {"pic.ppm.bbc.inf", std::string(converted.files.inf, static_cast<size_t>(converted.files.inf_size))}};
    const Disc disc = read_disc(image_of(disc_tool(files, {"-m", "4", "pic.ppm.bbc"})));
    ASSERT_EQ(disc.entries.size(), 2u);
    EXPECT_EQ(disc.entries[0].load, 0x5800u);
    EXPECT_EQ(disc.entries[0].length, 10240u);
    EXPECT_EQ(static_cast<uint8_t>(disc.contents(disc.entries[0])[0]), 0xC0);  // two lit pixels
    EXPECT_EQ(disc.contents(disc.entries[1]), boot_text("4"));
}

// The program itself, on real files: the sidecar beside the dump, the
// image written and to standard output, and what only the file system can
// refuse or tell apart.
TEST(DiscProgram, OnePictureWithItsSidecar) {
    TempDir dir;
    const std::string picture = dump(20480, 1);
    write_file(dir / "a.bbc", picture);
    write_file(dir / "a.bbc.inf", "$.SCREEN 003000 000000\n");
    const RunResult run = disc_program(dir, {"a.bbc"});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Wrote pictures.ssd\npictures.ssd holds 1 picture in 83 of its 800 sectors; 8 more of their size "
                       "would fit\n");
    const auto bytes = read_file(dir / "pictures.ssd");
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 204800u);
    const Disc disc = read_disc(*bytes);
    EXPECT_EQ(disc.title, "PICTURES");
    EXPECT_EQ(disc.boot_option, 3);
    EXPECT_EQ(disc.sectors, 800u);
    EXPECT_EQ(disc.cycle, 0);
    ASSERT_EQ(disc.entries.size(), 2u);
    const CatalogueEntry& p1 = disc.entries[0];
    EXPECT_EQ(p1.name, "$.P1");
    EXPECT_FALSE(p1.locked);
    EXPECT_EQ(p1.load, 0x3000u);
    EXPECT_EQ(p1.exec, 0u);
    EXPECT_EQ(p1.length, 20480u);
    EXPECT_EQ(p1.start, 3u);
    EXPECT_TRUE(disc.contents(p1) == picture);
    const CatalogueEntry& boot = disc.entries[1];
    EXPECT_EQ(boot.name, "$.!BOOT");
    EXPECT_EQ(boot.start, 2u);
    EXPECT_EQ(disc.contents(boot), boot_text("2"));
    // Nothing but the catalogue and the files: the rest is zero.
    EXPECT_EQ(bytes->find_first_not_of('\0', 83 * 256), std::string::npos);

    const RunResult piped = disc_program(dir, {"-o", "-", "a.bbc"});
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_TRUE(piped.raw_out == *bytes);  // no line ends translated
    EXPECT_FALSE(exists(dir / "-"));
    ASSERT_TRUE(std::filesystem::remove(dir / "pictures.ssd"));

    write_file(dir / "big.bbc", dump(20480, 1));
    make_directory(dir / "folder.ssd");
    // Sidecars that are no regular file are reported, never waited on.
    write_file(dir / "folder.bbc", dump(20480, 1));
    make_directory(dir / "folder.bbc.inf");
    write_file(dir / "fifo.bbc", dump(20480, 1));
    write_file(dir / "nowhere.bbc", dump(20480, 1));
    make_directory(dir / "sub");
    std::error_code no_link;
    std::filesystem::create_hard_link(dir / "big.bbc", dir / "twin.ssd", no_link);
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"-o", "folder.ssd", "big.bbc"}, "tarnvil-disc: folder.ssd: Is a directory\n"},
        {{"-o", "sub/../a.bbc.inf", "big.bbc", "a.bbc"},
         "tarnvil-disc: a.bbc.inf: the disc image would overwrite this sidecar; name another file with -o\n"},
        {{"folder.bbc"}, "tarnvil-disc: folder.bbc.inf: not a regular file\n"},
    };
    if (unavailable(Need::kDevFull).empty())
        cases.push_back({{"-o", "/dev/full", "big.bbc"}, "tarnvil-disc: /dev/full: No space left on device\n"});
    if (!no_link)
        cases.push_back({{"-o", "twin.ssd", "a.bbc", "big.bbc"},
                         "tarnvil-disc: big.bbc: the disc image would overwrite this dump; name another file with -o\n"});
    if (unavailable(Need::kFifos).empty()) {
        make_fifo(dir / "fifo.bbc.inf");
        cases.push_back({{"fifo.bbc"}, "tarnvil-disc: fifo.bbc.inf: not a regular file\n"});
    }
    if (unavailable(Need::kSymbolicLinks).empty()) {
        make_link("gone.inf", dir / "nowhere.bbc.inf");
        cases.push_back({{"nowhere.bbc"}, "tarnvil-disc: nowhere.bbc.inf: a link that leads nowhere\n"});
    }
    for (const Case& c : cases) {
        const RunResult refused = disc_program(dir, c.arguments);
        EXPECT_EQ(refused.exit_status, 1) << c.err;
        EXPECT_EQ(refused.err, c.err);
        EXPECT_EQ(refused.out, "");
        EXPECT_FALSE(exists(dir / "pictures.ssd")) << c.err;
    }
    EXPECT_TRUE(read_file(dir / "big.bbc") == dump(20480, 1)) << "a refused run wrote over its dump";
    EXPECT_EQ(read_file(dir / "a.bbc.inf"), "$.SCREEN 003000 000000\n");
    if (unavailable(Need::kDevFull).empty()) {
        EXPECT_TRUE(exists("/dev/full"));
    }
}

// --keep's files never replace a picture the disc is made from, by any
// name; pictures sharing a name keep a set each.
TEST(DiscProgram, KeptFilesSpareThePictures) {
    TempDir dir;
    const std::string sunset = make_ppm(2, 1, "abcdef");
    write_file(dir / "sunset.ppm", sunset);
    write_file(dir / "x.ppm", sunset);
    write_file(dir / "x.png", png_file({1, 1, 3, {200, 100, 50}}, 8, 2));
    make_directory(dir / "sub");
    const std::string itself = "the kept PPM would overwrite the picture itself; name another folder with --keep\n";
    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } cases[] = {
        {{"-m", "2", "--keep", ".", "-o", "s.ssd", "sunset.ppm"}, "tarnvil-disc: sunset.ppm: " + itself},
        {{"--keep", "sub/..", "-o", "s.ssd", "sunset.ppm"}, "tarnvil-disc: sunset.ppm: " + itself},
        {{"-m", "1", "--keep", ".", "-o", "s.ssd", "x.png", "x.ppm"},
         "tarnvil-disc: x.png: the kept PPM would overwrite the picture x.ppm; name another folder with --keep\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = disc_program(dir, c.arguments);
        EXPECT_EQ(run.exit_status, 1) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(read_file(dir / "sunset.ppm") == sunset && read_file(dir / "x.ppm") == sunset);
    EXPECT_FALSE(exists(dir / "s.ssd"));
    const RunResult kept = disc_program(dir, {"-m", "1", "--keep", "kept", "-o", "s.ssd", "x.png", "x.ppm"});
    EXPECT_EQ(kept.exit_status, 0) << kept.err;
    EXPECT_EQ(kept.out, "Wrote kept/x.ppm\nWrote kept/x.ppm.bbc\nWrote kept/x.ppm.bbc.inf\nWrote kept/x.ppm.bbc.png\n"
                        "Wrote kept/x-2.ppm\nWrote kept/x-2.ppm.bbc\nWrote kept/x-2.ppm.bbc.inf\nWrote kept/x-2.ppm.bbc.png\n"
                        "Wrote s.ssd\ns.ssd holds 2 pictures in 163 of its 800 sectors; 7 more of their size would fit\n");
    // The default image replaces only one of its own.
    write_file(dir / "pictures.ssd", sunset);
    EXPECT_EQ(disc_program(dir, {"x.png"}).err, "tarnvil-disc: the disc image would overwrite pictures.ssd, which "
                                                "tarnvil-disc did not write; name another file with -o\n");
    ASSERT_TRUE(std::filesystem::remove(dir / "pictures.ssd"));
    // So do the numbered discs of --split.
    write_file(dir / "s-1.ssd", sunset);
    EXPECT_EQ(disc_program(dir, {"--split", "-t", "40", "-o", "s.ssd", "x.png", "x.png", "x.png", "x.png", "x.png"}).err,
              "tarnvil-disc: the disc image would overwrite s-1.ssd, which tarnvil-disc did not write; name another file "
              "with -o\n");
    EXPECT_TRUE(read_file(dir / "s-1.ssd") == sunset);
    for (int again = 0; again < 2; ++again)
        EXPECT_EQ(disc_program(dir, {"-t", "40", "x.png"}).out,
                  "Wrote pictures.ssd\npictures.ssd holds 1 picture in 83 of its 400 sectors; 3 more of their size would fit\n");
    // Named as tarnvil-fit names them, which spares the pictures alike.
    const std::string fit = program("tarnvil-fit");
    const RunResult refused = run_program(fit, {"-m", "1", "x.png", "x.ppm"}, dir.path());
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.err, "tarnvil-fit: x.png: the PPM would overwrite the picture x.ppm; prepare this picture alone with -o\n"
                           "tarnvil-fit: x.ppm: the PPM would overwrite the picture itself; name another file with -o\n");
    EXPECT_EQ(run_program(fit, {"x.png"}, dir.path()).err,
              "tarnvil-fit: x.png: the PPM would overwrite x.ppm, which tarnvil-fit did not write; name another file with -o\n");
    EXPECT_TRUE(read_file(dir / "x.ppm") == sunset);
    // Pictures of one name get a PPM each, and a second run replaces them.
    write_file(dir / "sub/y.png", *read_file(dir / "x.png"));
    write_file(dir / "sub/y.gif", *read_file(dir / "x.png"));
    for (int again = 0; again < 2; ++again) {
        const RunResult both = run_program(fit, {"-m", "1", "sub/y.png", "sub/y.gif"}, dir.path());
        EXPECT_EQ(both.exit_status, 0) << both.err;
        EXPECT_NE(both.out.find("\nsub/y-2.ppm: 320 x 256; "), std::string::npos) << both.out;
        EXPECT_EQ(file_size(dir / "sub/y-2.ppm"), 15 + 320 * 256 * 3);
    }
}

}  // namespace

namespace {

// A screen that packs well: stripes of a few patterns, as halftones give.
std::string patterned(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(((i / 8 + i / 640 * static_cast<size_t>(seed)) % 3) * 0x11 << (i & 1));
    return bytes;
}

std::string noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return bytes;
}

}  // namespace

// Discs of packed screens: !BOOT, the unpacker, then a file for each
// picture while the catalogue has the names, else all in $.!PICS; each
// picture whole sectors where !BOOT's DATA says, unpacking to its dump.
// Each follows the one before or, a track or more, leaves at most four
// sectors empty (any, for whole tracks) to end a track, or to start one
// where it would span a track more than it must.
TEST(PackedDisc, LayoutsAndScreens) {
    Files files;
    std::vector<std::string> forty = {"-m", "5"};
    for (int i = 0; i < 40; ++i) {
        files[std::to_string(i) + ".bbc"] = patterned(10240, i);
        forty.push_back(std::to_string(i) + ".bbc");
    }
    files["noise.bbc"] = noise(20480, 7);
    files["half.bbc"] = patterned(20480, 3).substr(0, 10240) + noise(10240, 9);
    const struct {
        std::vector<std::string> arguments;
        bool one_file;
        std::string out;  // the summary, where checked
    } cases[] = {
        {{"-m", "1", "noise.bbc", "half.bbc", "-m", "5", "1.bbc", "2.bbc", "-m", "1", "half.bbc"}, false,
         "pictures.ssd holds 5 pictures in 174 of its 800 sectors; 18 more of their size would fit\n"},
        {{"-m", "5", "3.bbc", "--tracks", "40"}, false,
         "pictures.ssd holds 1 picture in 7 of its 400 sectors; 249 more of their size would fit\n"},
        {forty, true, ""},
        {[&] {
             auto more = forty;
             more.insert(more.end(), {"-m", "2", "noise.bbc", "noise.bbc"});
             return more;
         }(),
         true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.size());
        const ToolCall call = packed_disc_tool(files, c.arguments);
        const Disc disc = read_disc(image_of(call));
        if (!c.out.empty()) {
            EXPECT_EQ(call.out, c.out);
        }
        // The screens named, in order, with their modes.
        std::vector<std::pair<int, std::string>> screens;
        int mode = 2;
        for (size_t i = 0; i < c.arguments.size(); ++i) {
            if (c.arguments[i] == "-m") {
                mode = std::stoi(c.arguments[++i]);
            } else if (c.arguments[i] == "--tracks") {
                ++i;
            } else {
                screens.emplace_back(mode, files.at(c.arguments[i]));
            }
        }
        ASSERT_EQ(disc.entries.size(), c.one_file ? 3u : screens.size() + 2);
        const CatalogueEntry& boot = disc.entries.back();
        const CatalogueEntry& unpacker = disc.entries[disc.entries.size() - 2];
        EXPECT_EQ(boot.name, "$.!BOOT");
        EXPECT_EQ(unpacker.name, "$.!UNPACK");
        EXPECT_EQ(unpacker.load, 0x0900u);
        EXPECT_EQ(disc.contents(unpacker), std::string(reinterpret_cast<const char*>(kUnpackCode), kUnpackCodeSize));
        const std::vector<std::string> items = boot_data_items(disc.contents(boot));
        ASSERT_EQ(items.size(), screens.size() * 5);
        size_t free = unpacker.start + 2;
        for (size_t i = 0; i < screens.size(); ++i) {
            const std::string* item = &items[i * 5];
            EXPECT_EQ(item[0], std::to_string(screens[i].first));
            EXPECT_EQ(item[1], screens[i].first == 1 ? "0137" : screens[i].first == 5 ? "0137" : "01234567");
            const size_t sectors = std::stoul(item[2]);
            const size_t sector = std::stoul(item[3]) * 10 + std::stoul(item[4]);  // track, sector
            const bool spans_more = (free % 10 + sectors + 9) / 10 > (sectors + 9) / 10;
            EXPECT_TRUE(sector == free ||
                        (sectors >= 10 && sector - free < 10 && (sector - free <= 4 || sectors % 10 == 0) &&
                         ((sector + sectors) % 10 == 0 || (spans_more && sector % 10 == 0))))
                << i << ": " << sectors << " sectors at " << sector << ", " << free << " free";
            free = sector + sectors;
            const std::string packed = disc.bytes.substr(sector * 256, sectors * 256);
            if (!c.one_file) {
                const CatalogueEntry& file = disc.entries[screens.size() - 1 - i];
                EXPECT_EQ(file.name, "$.P" + std::to_string(i + 1));
                EXPECT_EQ(file.load, 0x8000 - sectors * 256);
                EXPECT_EQ(file.start, sector);
                EXPECT_TRUE(disc.contents(file) == packed);
            }
            std::string screen(screens[i].second.size(), '\0');
            EXPECT_TRUE(unpack_screen(reinterpret_cast<const uint8_t*>(packed.data()), static_cast<int32_t>(packed.size()),
                                      reinterpret_cast<uint8_t*>(screen.data()), static_cast<int32_t>(screen.size())));
            EXPECT_TRUE(screen == screens[i].second) << i;
            // Noise is stored as it is.
            if (screens[i].second == files["noise.bbc"]) {
                EXPECT_EQ(packed, screen);
            }
        }
    }
}

// NAME.dsd: both sides, their tracks interleaved; side 0 holds !BOOT, the
// unpacker and the first pictures in $.!PICS, side 1 the rest in its own;
// !BOOT's DATA gives each picture's drive (0 or 2) and first sector.
TEST(PackedDisc, BothSides) {
    const Files files = {{"noise.bbc", noise(20480, 5)}, {"a.bbc", patterned(20480, 2)}};
    const std::vector<std::string> order = {"a.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "a.bbc"};
    std::vector<std::string> arguments = {"--tracks", "40", "-o", "two.dsd", "-m", "1"};
    arguments.insert(arguments.end(), order.begin(), order.end());
    const std::string image = image_of(packed_disc_tool(files, arguments), "two.dsd");
    ASSERT_EQ(image.size(), 204800u);
    std::string sides[2];
    for (size_t track = 0; track < 40; ++track)
        for (size_t side = 0; side < 2; ++side) sides[side] += image.substr((track * 2 + side) * 2560, 2560);
    const Disc front = read_disc(sides[0]);
    const Disc back = read_disc(sides[1]);
    ASSERT_EQ(front.entries.size(), 3u);
    ASSERT_EQ(back.entries.size(), 1u);
    EXPECT_EQ(front.entries[0].name, "$.!PICS");
    EXPECT_EQ(back.entries[0].name, "$.!PICS");
    const std::vector<std::string> items = boot_data_items(front.contents(front.entries.back()));
    ASSERT_EQ(items.size(), order.size() * 6);
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t sectors = std::stoul(items[i * 6 + 2]);
        const int drive = std::stoi(items[i * 6 + 3]);
        const size_t sector = std::stoul(items[i * 6 + 4]) * 10 + std::stoul(items[i * 6 + 5]);  // track, sector
        if (i == 5) {
            EXPECT_EQ(back.entries[0].start, sector);  // side 1's first picture
        }
        EXPECT_EQ(drive, i < 5 ? 0 : 2) << i;  // four noises and the first fill side 0
        const std::string& side = sides[drive / 2];
        std::string screen(20480, '\0');
        ASSERT_LE((sector + sectors) * 256, side.size());
        EXPECT_TRUE(unpack_screen(reinterpret_cast<const uint8_t*>(side.data() + sector * 256),
                                  static_cast<int32_t>(sectors * 256), reinterpret_cast<uint8_t*>(screen.data()), 20480));
        EXPECT_TRUE(screen == files.at(order[i])) << i;
    }
    const ToolCall raw_dsd = packed_disc_tool(files, {"--raw", "-o", "x.dsd", "-m", "1", "a.bbc"});
    EXPECT_EQ(raw_dsd.err, "tarnvil-disc: a .dsd disc holds packed pictures: leave out --raw\n");
}

// Packed screens that do not fit: as many as do are told.
TEST(PackedDisc, TooMany) {
    const ToolCall call = packed_disc_tool({{"noise.bbc", noise(20480, 3)}},
                                           {"--tracks", "40", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc"});
    EXPECT_EQ(call.status, 1);
    EXPECT_EQ(call.err, "tarnvil-disc: the pictures need 410 sectors, but a 40-track disc has 400; nothing written\n"
                        "tarnvil-disc: the first 4 of the 5 fit\n");
    EXPECT_TRUE(call.results.empty());
}

// --split: as many discs as the pictures need, each taking as many of
// those left as fit, each bootable on its own; packed or raw.
TEST(PackedDisc, Split) {
    const Files files = {{"noise.bbc", noise(20480, 3)}, {"a.bbc", patterned(20480, 4)}};
    for (const bool raw : {false, true}) {
        std::vector<std::string> arguments = {"--split", "--tracks", "40", "-o", "out/trip.ssd"};
        if (raw) arguments.insert(arguments.begin(), "--raw");
        for (const char* name : {"a.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "noise.bbc", "a.bbc"})
            arguments.push_back(name);
        const ToolCall call = packed_disc_tool(files, arguments);
        EXPECT_EQ(call.status, 0) << call.err;
        EXPECT_EQ(call.out, raw ? "out/trip-1.ssd holds 4 pictures in 323 of its 400 sectors; 0 more of their size would fit\n"
                                  "out/trip-2.ssd holds 3 pictures in 243 of its 400 sectors; 1 more of their size would fit\n"
                                : "out/trip-1.ssd holds 5 pictures in 330 of its 400 sectors; 1 more of their size would fit\n"
                                  "out/trip-2.ssd holds 2 pictures in 92 of its 400 sectors; 7 more of their size would fit\n");
        ASSERT_EQ(call.results.size(), 2u);
        EXPECT_EQ(call.results[0].first, "out/trip-1.ssd");
        EXPECT_EQ(call.results[1].first, "out/trip-2.ssd");
        const Disc second = read_disc(call.results[1].second);
        ASSERT_EQ(second.entries.size(), 4u);
        // The second disc goes on with the next picture, noise, as its P1.
        const auto first = std::find_if(second.entries.begin(), second.entries.end(),
                                        [](const CatalogueEntry& e) { return e.name == "$.P1"; });
        ASSERT_NE(first, second.entries.end());
        const std::string p1 = second.contents(*first);
        std::string screen(20480, '\0');
        if (!raw) {
            ASSERT_TRUE(unpack_screen(reinterpret_cast<const uint8_t*>(p1.data()), static_cast<int32_t>(p1.size()),
                                      reinterpret_cast<uint8_t*>(screen.data()), 20480));
        }
        EXPECT_TRUE((raw ? p1 : screen) == files.at("noise.bbc"));
        // -o NAME.mmb: the same discs, slot by slot, after an index that
        // names them; the unused entries unformatted.
        arguments[std::find(arguments.begin(), arguments.end(), "out/trip.ssd") - arguments.begin()] = "trip.mmb";
        arguments.erase(std::find(arguments.begin(), arguments.end(), "--split"));
        const ToolCall mmb = packed_disc_tool(files, arguments);
        ASSERT_EQ(mmb.results.size(), 1u) << mmb.err;
        EXPECT_EQ(mmb.out, "trip.mmb holds 7 pictures on 2 discs\n");
        const std::string& slots = mmb.results[0].second;
        ASSERT_EQ(slots.size(), 8192u + 2 * 204800);
        EXPECT_EQ(slots.substr(0, 16), std::string("\0\1\2\3", 4) + std::string(12, '\0'));
        for (size_t disc = 0; disc < 2; ++disc) {
            EXPECT_EQ(slots.substr(16 * (disc + 1), 16), "PICTURES" + std::string(7, '\0') + "\x0F");
            EXPECT_TRUE(slots.substr(8192 + disc * 204800, 102400) == call.results[disc].second) << disc;
            EXPECT_EQ(slots.find_first_not_of('\0', 8192 + disc * 204800 + 102400), disc == 0 ? 8192 + 204800 : std::string::npos);
        }
        EXPECT_EQ(slots.substr(48, 16), std::string(15, '\0') + "\xF0");
    }
}

TEST(PackedDisc, BootProgram) {
    const Disc disc = read_disc(image_of(packed_disc_tool({{"a.bbc", patterned(20480, 1)}}, {"-m", "1", "-p", "0457", "a.bbc"})));
    EXPECT_EQ(disc.contents(disc.entries.back()),
              "NEW\r"
              "10 OSCLI \"LOAD !UNPACK\":E%=0:O%=-1:FOR I%=1 TO 1:READ M%,P$,N%,X%,A%\r"
              "20 IF M%<>O% MODE M%:VDU 23,1,0;0;0;0;:O%=M%\r"
              "30 Y%=&30-40*(M%>3):CALL &900:VDU 19,0,ASC P$-48;0;19,1,ASC MID$(P$,2)-48;0;\r"
              "35 IF M% AND 1 VDU 19,2,ASC MID$(P$,3)-48;0;19,3,ASC MID$(P$,4)-48;0;\r"
              "37 IF M%=2 THEN FOR J%=3 TO 16:VDU 19,J%-1,ASC MID$(P$+\"89:;<=>?\",J%)-48;0;:NEXT\r"
              "40 A$=GET$:NEXT:REPEAT UNTIL FALSE\r"
              "50 DATA 1,0457," + std::to_string(disc.entries[0].length / 256) + "," +
                  std::to_string(disc.entries[0].start / 10) + "," + std::to_string(disc.entries[0].start % 10) + "\r"
              "RUN\r");
    // A slideshow: the same, each picture for its seconds, then again.
    const Disc slides = read_disc(
        image_of(packed_disc_tool({{"a.bbc", patterned(20480, 1)}}, {"--seconds", "327", "-m", "1", "a.bbc"})));
    const std::string show = slides.contents(slides.entries.back());
    EXPECT_NE(show.find(":O%=-1:T%=32700:REPEAT:RESTORE:FOR I%=1 TO 1:READ"), std::string::npos) << show;
    EXPECT_NE(show.find("\r40 A$=INKEY$(T%):NEXT:UNTIL FALSE\r50 DATA 1,0137,"), std::string::npos) << show;
}

// A teletext page is packed as MODE 7's screen memory, &7C00-&7FFF, the
// page then 24 bytes of nothing, and has no palette; a picture in a
// VideoNuLA's colours carries the bytes for &FE23: physical colour and
// red, then green and blue. Only a packed disc sets them.
TEST(PackedDisc, TeletextPagesAndNulaColours) {
    const std::string page = noise(1000, 3).replace(0, 40, std::string(40, '\x97'));
    const Files files = {{"p.bbc", page}, {"a.bbc", patterned(20480, 1)}};
    const Disc disc = read_disc(image_of(packed_disc_tool(
        files, {"-m", "7", "p.bbc", "-m", "1", "--nula-palette", "000,F00,0F0,FFF", "a.bbc", "-m", "2", "a.bbc"})));
    const std::string boot = disc.contents(disc.entries.back());
    EXPECT_NE(boot.find("\r20 ?&FE22=&40:IF M%<>O% MODE M%"), std::string::npos) << boot;
    EXPECT_NE(boot.find("\r25 IF M%=7 VDU 23,0,8,&B3,0;0;0;\r30 Y%=&30-40*(M%>3)-36*(M%=7):CALL &900:IF M%=7 VDU "
                        "23,0,8,&93,0;0;0;:GOTO 40\r31 IF LEN C$ FOR"),
              std::string::npos) << boot;
    const std::vector<std::string> items = boot_data_items(boot);
    ASSERT_EQ(items.size(), 18u);
    EXPECT_EQ(std::vector<std::string>(items.begin(), items.begin() + 3), (std::vector<std::string>{"7", "", ""}));
    EXPECT_EQ(std::vector<std::string>(items.begin() + 6, items.begin() + 9),
              (std::vector<std::string>{"1", "0137", "00001F0030F07FFF"}));
    EXPECT_EQ(std::vector<std::string>(items.begin() + 12, items.begin() + 15),
              (std::vector<std::string>{"2", "01234567", ""}));
    const size_t sectors = std::stoul(items[3]), sector = std::stoul(items[4]) * 10 + std::stoul(items[5]);
    std::string screen(1024, '\1');
    EXPECT_TRUE(unpack_screen(reinterpret_cast<const uint8_t*>(disc.bytes.data()) + sector * 256,
                              static_cast<int32_t>(sectors * 256), reinterpret_cast<uint8_t*>(screen.data()), 1024));
    EXPECT_TRUE(screen == page + std::string(24, '\0'));

    // On a raw disc the page is a file of its own 1000 bytes at &7C00;
    // NuLA colours are refused.
    const Disc raw = read_disc(image_of(disc_tool(files, {"-m", "7", "p.bbc"})));
    EXPECT_EQ(raw.entries[0].load, 0x7C00u);
    EXPECT_TRUE(raw.contents(raw.entries[0]) == page);
    const ToolCall refused = disc_tool(files, {"-m", "1", "--nula-palette", "000,F00,0F0,FFF", "a.bbc"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "tarnvil-disc: a VideoNuLA's colours are set by a packed disc: leave out --raw\n");
}
