// Pictures given straight to tarnvil-disc and tarnvil-view: the same dumps
// and previews as the separate commands (tarnvil-fit, tarnvil with the
// argument it prints, then the dump with -m and -p), names on the disc,
// and pictures that cannot be shown. In memory, through the tools' own
// request functions.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cli/disc/disc_command.h"
#include "cli/fit/fit_command.h"
#include "cli/view/view_command.h"
#include "driver/driver.h"
#include "lib/disc/compress.h"
#include "pictures.h"
#include "support.h"

using namespace testing_support;

namespace {

// Each tool in memory, with its results as the command line would write
// them: tarnvil-fit's PPM, tarnvil-disc's image, tarnvil-view's PNG.
ToolCall fit(const Files& files, const std::vector<std::string>& arguments) { return call_tool(Tool::kFit, arguments, files); }
ToolCall disc(const Files& files, const std::vector<std::string>& arguments) { return call_tool(Tool::kDisc, arguments, files); }
ToolCall view(const Files& files, const std::vector<std::string>& arguments) { return call_tool(Tool::kView, arguments, files); }

std::string made(const ToolCall& call) { return call.results.empty() ? "" : call.results.back().second; }

// The contents of the disc's file $.NAME, read from its catalogue; with a `screen` size, the screen it holds,
// unpacked as the machine would on a disc of packed screens.
std::string disc_file(const std::string& disc, const std::string& name, size_t screen = 0) {
    if (screen > 0 && disc_file(disc, "!UNPACK").front() != '(') {
        const std::string packed = disc_file(disc, name);
        std::string unpacked(screen, '\0');
        if (!unpack_screen(reinterpret_cast<const uint8_t*>(packed.data()), static_cast<int32_t>(packed.size()),
                           reinterpret_cast<uint8_t*>(unpacked.data()), static_cast<int32_t>(screen)))
            return "($." + name + " does not unpack)";
        return unpacked;
    }
    auto byte = [&](size_t at) { return static_cast<uint8_t>(disc.at(at)); };
    for (size_t i = 0; i < byte(256 + 5) / 8u; ++i) {
        std::string entry = disc.substr(8 + 8 * i, 7);
        entry.erase(entry.find_last_not_of(' ') + 1);
        if (entry != name) continue;
        const size_t d = 256 + 8 + 8 * i;
        const size_t length = byte(d + 4) | byte(d + 5) << 8 | ((byte(d + 6) >> 4) & 3) << 16;
        return disc.substr((byte(d + 7) | (byte(d + 6) & 3) << 8) * size_t{256}, length);
    }
    return "(no $." + name + ")";
}

std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

Samples stripes(int width, int height) {
    Samples picture{width, height, 3, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) picture.values.push_back(static_cast<uint32_t>((x * 37 + y * 11 + c * 85) % 256));
    return picture;
}

// The dump and the preview of a picture given to tarnvil-disc and
// tarnvil-view are those of the separate commands, whatever the options.
TEST(PictureRoute, OneCommandGivesTheDumpsAndPreviewsOfTheSeparateCommands) {
    const Samples picture = stripes(90, 70);
    const Files png = {{"picture.png", png_file(picture, 8, 2)}};
    const Files ppm = {{"picture.png", netpbm_file('6', picture, 255)}};
    const struct {
        std::string tarnvil;  // options for the halftone and stagger: --halftone N, --stagger
        std::string fit;      // tarnvil-fit's, -m first
        std::string palette;  // as tarnvil-disc and tarnvil-view take it ("" for none)
        const Files* files;
    } cases[] = {
        {"", "-m 1", "", &png},
        {"--halftone 3 --stagger", "-m 2 -a", "", &ppm},
        {"", "-m 1 -a", "auto", &png},
        {"--halftone 0", "-m 0 --grey", "70", &ppm},
        {"--halftone 4", "-m 5 --fill fit --gamma 1.5 --brightness 10", "0467", &png},
        {"", "-m 4 --fill stretch --contrast -20 --saturation 30 --tone plain", "auto", &ppm},
        {"--halftone 0", "-m 2 --tone plain", "", &png},
        {"--halftone 2", "-m 1 -a --dither diffuse", "auto", &png},
        {"", "-m 0 --dither diffuse --tone plain", "", &ppm},
        {"--stagger", "-m 5 --dither diffuse", "0157", &png},
        {"", "-m 1 --dither diffuse", "0147", &png},
        {"", "-m 5 --dither diffuse", "auto", &ppm},
        {"", "-m 0 --dither diffuse", "14", &png},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fit + " " + c.tarnvil + " -p " + c.palette);
        // The separate commands: tarnvil-fit, then tarnvil with the
        // argument it prints.
        std::vector<std::string> separate = words_of(c.fit + " " + c.tarnvil);
        if (!c.palette.empty()) separate.insert(separate.end(), {"--palette", c.palette});
        separate.push_back("picture.png");
        const ToolCall fitted = fit(*c.files, separate);
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        const size_t from = fitted.out.find("convert with tarnvil ") + 21;
        const std::string argument = fitted.out.substr(from, fitted.out.find_first_of(";\n", from) - from);
        ConvertedPicture converted;
        convert_picture(argument.c_str(), reinterpret_cast<const uint8_t*>(made(fitted).data()), made(fitted).size(),
                        no_messages(), converted);
        const std::string dump(reinterpret_cast<const char*>(converted.files.dump), static_cast<size_t>(converted.files.dump_size));
        ASSERT_EQ(dump.size(), c.fit[3] >= '4' ? 10240u : 20480u) << argument;
        // The palette tarnvil-fit prepared it for, as it prints it.
        const std::string line = fitted.out.substr(0, fitted.out.find('\n'));
        const size_t named = line.find(" -p ");
        std::vector<std::string> shown_as = {"-m", std::string(1, c.fit[3])};
        if (named != std::string::npos) shown_as.insert(shown_as.end(), {"-p", line.substr(named + 4)});
        shown_as.push_back("picture.ppm.bbc");

        // The one command, on the picture.
        std::vector<std::string> one = words_of(c.fit + " " + c.tarnvil);
        if (!c.palette.empty()) one.insert(one.end(), {"-p", c.palette});
        one.push_back("picture.png");
        const ToolCall on_disc = disc(*c.files, one);
        ASSERT_EQ(on_disc.status, 0) << on_disc.err;
        EXPECT_TRUE(disc_file(made(on_disc), "PICTURE", dump.size()) == dump);
        // tarnvil-view on the picture, and on the dump with -m and -p.
        const ToolCall shown = view(*c.files, one);
        const ToolCall shown_dump = view({{"picture.ppm.bbc", dump}}, shown_as);
        ASSERT_EQ(shown.status, 0) << shown.err;
        ASSERT_EQ(shown_dump.status, 0) << shown_dump.err;
        EXPECT_TRUE(made(shown) == made(shown_dump));
    }
}

// Pictures are named on the disc after their files, uniquely and as DFS
// takes names; dumps keep their places' names, and !BOOT shows them all.
TEST(PictureRoute, NamesOnTheDisc) {
    const std::string png = png_file(stripes(8, 8), 8, 2);
    const std::string dump(20480, '\x0F');
    const std::vector<std::string> names = {"photos/My Holiday.png", "myholiday.ppm", "MyHoliday-2.png", "P2.png",
                                            "x.bbc", "p5.png", "!!!.png"};
    Files files;
    for (const std::string& name : names) files[name] = name == "x.bbc" ? dump : png;
    const ToolCall made_disc = disc(files, names);
    ASSERT_EQ(made_disc.status, 0) << made_disc.err;
    const std::string image = made(made_disc);
    for (const char* name : {"MYHOLID", "MYHOLI2", "MYHOLI3", "P2", "P5", "P52", "P7"})
        EXPECT_EQ(disc_file(image, name, 20480).size(), 20480u) << name;
    EXPECT_TRUE(disc_file(image, "P5", 20480) == dump);
    EXPECT_NE(disc_file(image, "!BOOT").find("READ M%,P$,N%,X%,A%"), std::string::npos);
    EXPECT_NE(disc_file(image, "!BOOT").find("50 DATA 2,01234567,"), std::string::npos);
    EXPECT_NE(disc_file(disc(files, [&] {
                            auto raw = names;
                            raw.insert(raw.begin(), "--raw");
                            return raw;
                        }()).results.at(0).second, "!BOOT").find(
                  "READ N$,P$:FOR J%=1 TO LEN P$ STEP 2:VDU 19,VAL MID$(P$,J%,1),VAL MID$(P$,J%+1,1);0;:NEXT:OSCLI \"LOAD "
                  "\"+N$:A$=GET$:NEXT:REPEAT UNTIL FALSE\r20 DATA MYHOLID,00,MYHOLI2,00,MYHOLI3,00,P2,00,P5,00,P52,00,P7,00\r"),
              std::string::npos)
        << disc_file(image, "!BOOT");
}

// A picture that cannot be shown is told as tarnvil-fit tells it, and no
// disc is made; a file that only starts like a picture, with a dump's size,
// is a dump.
TEST(PictureRoute, PicturesThatCannotBeShown) {
    const std::string png = png_file(stripes(8, 8), 8, 2);
    std::string looks_like_bmp(20480, '\0');
    looks_like_bmp.replace(0, 2, "BM");
    const struct {
        bool to_disc;
        std::vector<std::string> words;
        std::string file;  // the last word's
        int status;
        std::string err;   // its start
    } cases[] = {
        {true, {"cut.png"}, png.substr(0, png.size() - 20), 1, "tarnvil-disc: cut.png: damaged or cut short ("},
        {false, {"cut.png"}, png.substr(0, png.size() - 20), 1, "tarnvil-view: cut.png: damaged or cut short ("},
        {true, {"-m", "1", "-p", "0123", "pic.png"}, png, 1, "tarnvil-disc: pic.png: "},
        {false, {"-m", "1", "--dither", "diffuse", "-p", "0113", "pic.png"}, png, 1,
         "tarnvil-view: pic.png: the palette 0113 cannot be reached in MODE 1: error diffusion reaches any four "
         "different digits\n"},
        {true, {"-p", "auto", "x.bbc"}, std::string(20480, '\0'), 1,
         "tarnvil-disc: x.bbc: -p auto is for pictures; show a dump in the palette it was prepared for\n"},
        {true, {"--halftone", "5", "pic.png"}, png, 2,
         "tarnvil-disc: --halftone must be 0 (none), 1 (fine), 2 (coarse), 3 (spiral) or 4 (diagonal)\n"},
        {false, {"pic.png", "--stagger"}, png, 2,
         "tarnvil-view: --stagger comes after the last dump; put it before the dumps it is for\n"},
        {true, {"odd.bbc"}, looks_like_bmp, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.back());
        const Files files = {{c.words.back() == "--stagger" ? "pic.png" : c.words.back(), c.file}};
        const ToolCall result = c.to_disc ? disc(files, c.words) : view(files, c.words);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(result.results.empty(), c.status != 0);
    }
}

}  // namespace
