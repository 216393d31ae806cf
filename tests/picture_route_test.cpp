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
#include "pictures.h"
#include "support.h"

using namespace testing_support;

namespace {

// The operands' bytes, by their place among the operands.
using Files = std::vector<std::string>;

int64_t read_start(void* context, int32_t index, InputKind kind, const char*, uint8_t* buffer, size_t capacity) {
    const Files& files = *static_cast<const Files*>(context);
    if (kind == InputKind::kSidecar || index < 0 || static_cast<size_t>(index) >= files.size()) {
        errno = ENOENT;
        return -1;
    }
    const std::string& file = files[static_cast<size_t>(index)];
    const size_t taken = std::min(file.size(), capacity);
    memcpy(buffer, file.data(), taken);
    return static_cast<int64_t>(taken);
}

bool load_whole(void* context, int32_t index, const char*, LoadedFile& loaded) {
    const Files& files = *static_cast<const Files*>(context);
    if (index < 0 || static_cast<size_t>(index) >= files.size()) {
        errno = ENOENT;
        return false;
    }
    const std::string& file = files[static_cast<size_t>(index)];
    loaded = {reinterpret_cast<const uint8_t*>(file.data()), file.size(), nullptr};
    return true;
}

struct ToolResult {
    int status = -1;
    std::string out, err;
    std::string made;                // tarnvil-fit's PPM, or the disc
    std::vector<std::string> shown;  // tarnvil-view's pictures, as palette indices and colours
};

template <typename Request, typename Result>
ToolResult run_tool(Request request, std::vector<std::string> words, const Files& files,
             bool (*take)(void*, const ToolRun&, const char*, const Result&)) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    Messages out, err;
    const ToolRun tool{out.sink(), err.sink(), false, const_cast<Files*>(&files), read_start, load_whole};
    ToolResult run;
    run.status = request(static_cast<int>(argv.size()), argv.data(), tool, ToolOutput<Result>{&run, take});
    run.out = out.text();
    run.err = err.text();
    return run;
}

bool keep_ppm(void* context, const ToolRun&, const char*, const PpmBytes& ppm) {
    static_cast<ToolResult*>(context)->made.assign(reinterpret_cast<const char*>(ppm.data.get()), ppm.size);
    return true;
}

bool keep_disc(void* context, const ToolRun&, const char*, const DiscImage& image) {
    static_cast<ToolResult*>(context)->made.assign(reinterpret_cast<const char*>(image.bytes), image.size);
    return true;
}

bool keep_picture(void* context, const ToolRun&, const char*, const IndexedImage& image) {
    std::string pixels(reinterpret_cast<const char*>(image.indices.get()), static_cast<size_t>(image.width) * image.height);
    for (int i = 0; i < image.colours; ++i) pixels.append(reinterpret_cast<const char*>(image.rgb[i]), 3);
    static_cast<ToolResult*>(context)->shown.push_back(pixels);
    return true;
}

// The contents of the disc's file $.NAME, read from its catalogue.
std::string disc_file(const std::string& disc, const std::string& name) {
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
    const std::string png = png_file(picture, 8, 2);
    const std::string ppm = netpbm_file('6', picture, 255);
    const struct {
        std::string tarnvil;  // tarnvil's options: --halftone N, --stagger
        std::string fit;      // tarnvil-fit's, -m first
        std::string palette;  // as tarnvil-disc and tarnvil-view take it ("" for none)
        const std::string* file;
    } cases[] = {
        {"", "-m 1", "", &png},
        {"--halftone 3 --stagger", "-m 2 -a", "", &ppm},
        {"", "-m 1 -a", "auto", &png},
        {"--halftone 0", "-m 0 --grey", "70", &ppm},
        {"--halftone 4", "-m 5 --fill fit --gamma 1.5 --brightness 10", "0467", &png},
        {"", "-m 4 --fill stretch --contrast -20 --saturation 30", "auto", &ppm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fit + " " + c.tarnvil + " -p " + c.palette);
        const Files files = {*c.file};
        // The separate commands: tarnvil-fit, then tarnvil with its argument.
        std::vector<std::string> fit = words_of("tarnvil-fit " + c.fit);
        if (!c.palette.empty()) fit.insert(fit.end(), {"--palette", c.palette});
        fit.push_back("picture");
        const ToolResult fitted = run_tool(fit_pictures, fit, files, keep_ppm);
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        ConversionOptions options = kDefaultOptions;
        options.mode = c.fit[3] - '0';
        options.aspect = c.fit.find("-a") != std::string::npos;
        options.halftone = c.tarnvil.find("--halftone") != std::string::npos
                               ? static_cast<HalftoneType>(c.tarnvil[11] - '0')
                               : kHalftoneFine;
        options.stagger = c.tarnvil.find("--stagger") != std::string::npos;
        char block[8];
        format_option_block(options, block);
        ConvertedPicture converted;
        convert_picture((std::string(block) + "picture.ppm").c_str(), reinterpret_cast<const uint8_t*>(fitted.made.data()),
                        fitted.made.size(), no_messages(), converted);
        const std::string dump(reinterpret_cast<const char*>(converted.files.dump), static_cast<size_t>(converted.files.dump_size));
        // The palette tarnvil-fit prepared it for, as it prints it.
        const std::string line = fitted.out.substr(0, fitted.out.find('\n'));
        const size_t named = line.find(" -p ");
        const std::string palette = named == std::string::npos ? "" : line.substr(named + 4);
        std::vector<std::string> shown_as = {"-m", std::string(1, c.fit[3])};
        if (!palette.empty()) shown_as.insert(shown_as.end(), {"-p", palette});

        // The one command, on the picture.
        std::vector<std::string> one = words_of(c.fit + " " + c.tarnvil);
        if (!c.palette.empty()) one.insert(one.end(), {"-p", c.palette});
        one.push_back("picture.png");
        std::vector<std::string> disc_words = {"tarnvil-disc"};
        disc_words.insert(disc_words.end(), one.begin(), one.end());
        const ToolResult disc = run_tool(make_disc, disc_words, files, keep_disc);
        ASSERT_EQ(disc.status, 0) << disc.err;
        EXPECT_TRUE(disc_file(disc.made, "PICTURE") == dump);

        // tarnvil-view on the picture, and on the dump with -m and -p.
        std::vector<std::string> view_words = {"tarnvil-view"};
        view_words.insert(view_words.end(), one.begin(), one.end());
        const ToolResult view = run_tool(view_dumps, view_words, files, keep_picture);
        std::vector<std::string> dump_words = {"tarnvil-view"};
        dump_words.insert(dump_words.end(), shown_as.begin(), shown_as.end());
        dump_words.push_back("picture.ppm.bbc");
        const ToolResult view_dump = run_tool(view_dumps, dump_words, Files{dump}, keep_picture);
        ASSERT_EQ(view.status, 0) << view.err;
        ASSERT_EQ(view_dump.status, 0) << view_dump.err;
        EXPECT_TRUE(view.shown == view_dump.shown);
    }
}

}  // namespace

// Pictures are named on the disc after their files, uniquely and as DFS
// takes names; dumps keep their places' names, and !BOOT shows them all.
TEST(PictureRoute, NamesOnTheDisc) {
    const std::string png = png_file(stripes(8, 8), 8, 2);
    const std::string dump(20480, '\x0F');
    const Files files = {png, png, png, png, dump, png, png};
    const ToolResult disc = run_tool(make_disc,
                                     {"tarnvil-disc", "photos/My Holiday.png", "myholiday.ppm", "MyHoliday-2.png",
                                      "P2.png", "x.bbc", "p5.png", "!!!.png"},
                                     files, keep_disc);
    ASSERT_EQ(disc.status, 0) << disc.err;
    for (const char* name : {"MYHOLID", "MYHOLI2", "MYHOLI3", "P2", "P5", "P52", "P7"})
        EXPECT_EQ(disc_file(disc.made, name).size(), 20480u) << name;
    EXPECT_TRUE(disc_file(disc.made, "P5") == dump);
    EXPECT_NE(disc_file(disc.made, "!BOOT").find(
                  "READ N$,P$:FOR J%=1 TO LEN P$ STEP 2:VDU 19,VAL MID$(P$,J%,1),VAL MID$(P$,J%+1,1);0;:NEXT:OSCLI \"LOAD "
                  "\"+N$:A$=GET$:NEXT:REPEAT UNTIL FALSE\r20 DATA MYHOLID,00,MYHOLI2,00,MYHOLI3,00,P2,00,P5,00,P52,00,P7,00\r"),
              std::string::npos)
        << disc_file(disc.made, "!BOOT");
}

// A picture that cannot be shown is told as tarnvil-fit tells it, and no
// disc is made; a file that only starts like a picture, with a dump's size,
// is a dump.
TEST(PictureRoute, PicturesThatCannotBeShown) {
    const std::string png = png_file(stripes(8, 8), 8, 2);
    std::string looks_like_bmp(20480, '\0');
    looks_like_bmp.replace(0, 2, "BM");
    const struct {
        std::vector<std::string> words;
        std::string file;
        int status;
        std::string err;
    } cases[] = {
        {{"tarnvil-disc", "cut.png"}, png.substr(0, png.size() - 20), 1, "tarnvil-disc: cut.png: damaged or cut short ("},
        {{"tarnvil-view", "cut.png"}, png.substr(0, png.size() - 20), 1, "tarnvil-view: cut.png: damaged or cut short ("},
        {{"tarnvil-disc", "-m", "1", "-p", "0123", "pic.png"}, png, 1, "tarnvil-disc: pic.png: "},
        {{"tarnvil-disc", "-p", "auto", "x.bbc"}, std::string(20480, '\0'), 1,
         "tarnvil-disc: x.bbc: -p auto is for pictures; show a dump in the palette it was prepared for\n"},
        {{"tarnvil-disc", "--halftone", "5", "pic.png"}, png, 2,
         "tarnvil-disc: --halftone must be 0 (none), 1 (fine), 2 (coarse), 3 (spiral) or 4 (diagonal)\n"},
        {{"tarnvil-view", "pic.png", "--stagger"}, png, 2,
         "tarnvil-view: --stagger comes after the last dump; put it before the dumps it is for\n"},
        {{"tarnvil-disc", "odd.bbc"}, looks_like_bmp, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.back());
        const ToolResult result = c.words[0] == "tarnvil-disc" ? run_tool(make_disc, c.words, Files{c.file}, keep_disc)
                                                                : run_tool(view_dumps, c.words, Files{c.file}, keep_picture);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(result.made.empty() && result.shown.empty(), c.status != 0);
    }
}
