// tarnvil-view's pictures, read back with a decoder of their own. The
// cases run the request path in memory; what concerns files runs the
// built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

// The pictures are read back with stb_image, a decoder independent of
// tarnvil's encoder (the build requires it).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

#include "cli/view/view_command.h"
#include "driver/driver.h"
#include "lib/colour.h"
#include "lib/fit/nula.h"
#include "lib/render/png.h"
#include "lib/render/render.h"
#include "screen/modes.h"
#include "pictures.h"
#include "support.h"

using namespace testing_support;

namespace {

struct Picture {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {  // outside the picture: no colour a screen shows
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFF;
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
};

// Decodes a PNG with a decoder independent of tarnvil's encoder.
Picture decode_png_bytes(const std::string& png) {
    Picture picture;
    int channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                         &picture.width, &picture.height, &channels, 3);
    if (!rgb || channels != 3) return Picture{};
    picture.rgb.assign(rgb, rgb + static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3);
    stbi_image_free(rgb);
    picture.ok = true;
    return picture;
}

Picture decode_png(const std::string& path) { return decode_png_bytes(read_file(path).value_or("")); }

// tarnvil-view in memory on `files`: each picture as the PNG the command
// line would write, with the path it was bound for.
ToolCall view(const Files& files, const std::vector<std::string>& arguments, bool from_shell = false) {
    return call_tool(Tool::kView, arguments, files, from_shell);
}

// The one picture of a run that went well, bound for `path`.
Picture picture_of(const ToolCall& call, const std::string& path) {
    EXPECT_EQ(call.status, 0) << call.err;
    EXPECT_EQ(call.err, "");
    EXPECT_EQ(call.results.size(), 1u);
    if (call.results.size() != 1 || call.results[0].first != path) {
        ADD_FAILURE() << "no picture bound for " << path;
        return {};
    }
    return decode_png_bytes(call.results[0].second);
}

constexpr uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kYellow = 0xFFFF00, kBlue = 0x0000FF,
                   kMagenta = 0xFF00FF, kCyan = 0x00FFFF, kWhite = 0xFFFFFF;

size_t dump_size(int mode) { return mode == 4 || mode == 5 ? 10240 : 20480; }

RunResult view_program(const TempDir& dir, std::vector<std::string> arguments) {
    return run_program(program("tarnvil-view"), arguments, dir.path());
}

// Every canvas pixel inside [x0, x1) x [y0, y1) has `inside`; all others are black.
void expect_only_block(const Picture& p, int x0, int x1, int y0, int y1, uint32_t inside) {
    int wrong = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
            if (p.at(x, y) != (in ? inside : kBlack) && ++wrong <= 3)
                ADD_FAILURE() << "pixel (" << x << "," << y << ") is " << std::hex << p.at(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(View, OneLitPixelLandsOnItsBlockInEachMode) {
    // Screen y = 9 (character row 1, line 1) in cell 3 of every mode.
    const struct {
        int mode;
        uint8_t byte;
        int x0, x1;  // canvas columns of the block
        uint32_t colour;
    } cases[] = {
        {0, 0x01, 31, 32, kWhite},   // pixel 3*8+7, 1 dot wide
        {1, 0x08, 24, 26, kRed},     // pixel 12, colour 1
        {2, 0x11, 28, 32, kMagenta}, // pixel 7 (right of cell 3), colour 5
        {4, 0x80, 48, 50, kWhite},   // pixel 24
        {5, 0x20, 56, 60, kYellow},  // pixel 14, colour 2
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string dump(dump_size(c.mode), '\0');
        const size_t row = c.mode == 4 || c.mode == 5 ? 40 : 80;
        dump[1 * 8 * row + 3 * 8 + 1] = static_cast<char>(c.byte);
        const ToolCall run = view({{"d.bbc", dump}}, {"-m", std::to_string(c.mode), "d.bbc"});
        EXPECT_EQ(run.out, "");
        const Picture p = picture_of(run, "d.bbc.png");
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.width, 640);
        EXPECT_EQ(p.height, 512);
        expect_only_block(p, c.x0, c.x1, 18, 20, c.colour);
    }
}

TEST(View, CharacterCellOrder) {
    // Mode 0: byte 1 is line 1 of cell 0, byte 8 line 0 of cell 1, byte 640
    // line 0 of character row 1; each shows its leftmost pixel.
    std::string dump(20480, '\0');
    dump[1] = dump[8] = dump[640] = '\x80';
    const Picture p = picture_of(view({{"d.bbc", dump}}, {"--mode=0", "--native", "d.bbc"}), "d.bbc.png");
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.width, 640);
    ASSERT_EQ(p.height, 256);
    int lit = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) lit += p.at(x, y) == kWhite;
    EXPECT_EQ(lit, 3);
    EXPECT_EQ(p.at(0, 1), kWhite);
    EXPECT_EQ(p.at(8, 0), kWhite);
    EXPECT_EQ(p.at(0, 8), kWhite);
}

// -p gives each logical colour of the dumps after it a physical colour; -m
// resets it; the preview is a palette PNG of those colours.
TEST(View, PalettesChosenOnTheCommandLine) {
    std::string wide(20480, '\0');
    wide[0] = '\x35';   // MODE 1: logical colours 0, 1, 2, 3
    wide[8] = '\x3D';   // MODE 2: logical colours 6, 7 (pixels 2 and 3)
    std::string narrow(10240, '\0');
    narrow[0] = '\x40';  // MODE 4: logical colours 0, 1
    const Files files = {{"w.bbc", wide}, {"n.bbc", narrow}};
    const ToolCall several = view(files, {"--native", "-m", "1", "-p", "0457", "w.bbc", "-m", "4", "--palette=34", "n.bbc",
                                          "-m", "2", "-o", "-", "-p", "76543210", "-m", "1", "w.bbc"});
    EXPECT_EQ(several.status, 2);  // -o with several dumps
    EXPECT_TRUE(several.results.empty());
    const ToolCall both = view(files, {"--native", "-m", "1", "-p", "0457", "w.bbc", "-m", "4", "--palette=34", "n.bbc"});
    ASSERT_EQ(both.status, 0) << both.err;
    ASSERT_EQ(both.results.size(), 2u);
    EXPECT_EQ(both.results[0].first, "w.bbc.png");
    EXPECT_EQ(both.results[1].first, "n.bbc.png");
    Picture p = decode_png_bytes(both.results[0].second);
    EXPECT_EQ(std::vector<uint32_t>({p.at(0, 0), p.at(1, 0), p.at(2, 0), p.at(3, 0)}),
              std::vector<uint32_t>({kBlack, kBlue, kMagenta, kWhite}));
    p = decode_png_bytes(both.results[1].second);
    EXPECT_EQ(std::vector<uint32_t>({p.at(0, 0), p.at(1, 0)}), std::vector<uint32_t>({kYellow, kBlue}));
    // A -m after -p brings the mode's own palette back.
    p = picture_of(view(files, {"-m", "2", "-p", "76543210", "--native", "-m", "2", "w.bbc"}), "w.bbc.png");
    EXPECT_EQ(std::vector<uint32_t>({p.at(2, 0), p.at(3, 0)}), std::vector<uint32_t>({kCyan, kWhite}));
    p = picture_of(view(files, {"-m", "2", "-p", "76543210", "--native", "w.bbc"}), "w.bbc.png");
    EXPECT_EQ(std::vector<uint32_t>({p.at(2, 0), p.at(3, 0)}), std::vector<uint32_t>({kRed, kBlack}));

    const std::string try_help = "Try 'tarnvil-view --help' for more information.\n";
    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } mistakes[] = {
        {{"-p", "0137", "w.bbc"},
         "tarnvil-view: a MODE 2 palette is 8 digits from 0 to 7, one for each logical colour (default 01234567)\n"},
        {{"-m", "0", "-p", "087", "w.bbc"},
         "tarnvil-view: a MODE 0 palette is 2 digits from 0 to 7, one for each logical colour (default 07)\n"},
        {{"-m", "5", "-p", "01x7", "n.bbc"},
         "tarnvil-view: a MODE 5 palette is 4 digits from 0 to 7, one for each logical colour (default 0137)\n"},
        {{"-m", "1", "w.bbc", "-p", "0157"},
         "tarnvil-view: -p 0157 comes after the last dump; put it before the dumps it is for\n"},
    };
    for (const auto& m : mistakes) {
        const ToolCall refused = view(files, m.arguments, true);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, m.err + try_help);
        EXPECT_TRUE(refused.results.empty());
    }
}

// A VideoNuLA's colours: each level n of a channel shows as 17 n, in the
// preview's palette and in its pixels, scaled or native.
TEST(View, TwelveBitColoursShowAsTheNuLAShowsThem) {
    std::string wide(20480, '\0');
    wide[0] = '\x35';  // MODE 1: logical colours 0, 1, 2, 3
    NulaPalette palette;
    char reason[160];
    ASSERT_TRUE(parse_nula_palette("1E0,F80,0A5,FFF", 1, palette, reason, sizeof reason)) << reason;
    uint8_t colours[8][3] = {};
    nula_samples(palette, colours);
    for (const bool native : {true, false}) {
        IndexedImage image;
        PngBytes png;
        ASSERT_TRUE(render_dump_in(1, reinterpret_cast<const uint8_t*>(wide.data()), native, colours, image) &&
                    encode_png(image, png));
        const Picture p = decode_png_bytes(std::string(reinterpret_cast<const char*>(png.data.get()), png.size));
        const int across = native ? 1 : 2;
        EXPECT_EQ(std::vector<uint32_t>({p.at(0, 0), p.at(across, 0), p.at(2 * across, 0), p.at(3 * across + across - 1, 0)}),
                  std::vector<uint32_t>({0x11EE00, 0xFF8800, 0x00AA55, 0xFFFFFF}))
            << native;
        EXPECT_EQ(p.at(4 * across, 0), 0x11EE00u) << native;
    }
}

TEST(View, PaletteOfEachMode) {
    const struct {
        int mode;
        std::vector<uint8_t> bytes;  // one byte per cell of row 0, line 0
        std::vector<uint32_t> colours;  // the native pixels 0.. they show
    } cases[] = {
        {0, {0x40}, {kBlack, kWhite}},
        {4, {0x40}, {kBlack, kWhite}},
        // Colours 0, 1, 2, 3: high bits 0011 in bits 7..4, low bits 0101 in 3..0.
        {1, {0x35}, {kBlack, kRed, kYellow, kWhite}},
        {5, {0x35}, {kBlack, kRed, kYellow, kWhite}},
        // Colour pairs (0,1) (2,3) (4,5) (6,7), interleaved in bits 5..0.
        {2, {0x01, 0x0D, 0x31, 0x3D},
         {kBlack, kRed, kGreen, kYellow, kBlue, kMagenta, kCyan, kWhite}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string dump(dump_size(c.mode), '\0');
        for (size_t cell = 0; cell < c.bytes.size(); ++cell) dump[cell * 8] = static_cast<char>(c.bytes[cell]);
        const Picture p = picture_of(view({{"d.bbc", dump}}, {"-m" + std::to_string(c.mode), "--native", "d.bbc"}), "d.bbc.png");
        ASSERT_TRUE(p.ok);
        for (size_t x = 0; x < c.colours.size(); ++x) EXPECT_EQ(p.at(static_cast<int>(x), 0), c.colours[x]) << x;
    }
}

TEST(View, NativeSizeOfEachMode) {
    const struct {
        int mode, width;
    } cases[] = {{0, 640}, {1, 320}, {2, 160}, {4, 320}, {5, 160}};
    for (const auto& c : cases) {
        const Files files = {{"d.bbc", std::string(dump_size(c.mode), '\0')}};
        const Picture p = picture_of(view(files, {"-m", std::to_string(c.mode), "--native", "-o", "n.png", "d.bbc"}), "n.png");
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, 256);
    }
}

// Previews at any size: the light of the pixels each new one covers,
// averaged. Exact cases by hand (half of white's light is sample 188, two
// thirds 213), then a screen of dots at the sizes a page shows it, whose
// mean light must stay the screen's.
TEST(View, ScalingKeepsTheLight) {
    constexpr uint32_t kHalf = 0xBCBCBC, kTwoThirds = 0xD5D5D5;
    const struct {
        int width, height;
        std::vector<uint32_t> in;
        int out_width, out_height;
        std::vector<uint32_t> out;  // empty: refused
    } cases[] = {
        {2, 2, {kWhite, kBlack, kBlack, kWhite}, 1, 1, {kHalf}},
        {1, 2, {kWhite, kBlack}, 1, 1, {kHalf}},
        {4, 2, {kWhite, kBlack, kRed, kRed, kBlack, kWhite, kRed, kRed}, 2, 1, {kHalf, kRed}},
        {3, 1, {0x123456, 0xFEDCBA, 0x010203}, 3, 1, {0x123456, 0xFEDCBA, 0x010203}},
        {3, 1, {kWhite, kBlack, kBlack}, 2, 1, {kTwoThirds, kBlack}},
        {2, 1, {kWhite, kBlack}, 3, 1, {kWhite, kHalf, kBlack}},
        {2, 1, {kYellow, kBlue}, 4, 2, {kYellow, kYellow, kBlue, kBlue, kYellow, kYellow, kBlue, kBlue}},
        {1, 1, {kWhite}, 0, 1, {}},
        {1, 1, {kWhite}, 65537, 1, {}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> in;
        for (const uint32_t colour : c.in) in.insert(in.end(), {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), 0});
        std::vector<uint8_t> out(c.out.size() * 4 + 4, 7);
        ASSERT_EQ(scale_in_light(in.data(), c.width, c.height, out.data(), c.out_width, c.out_height), !c.out.empty());
        std::vector<uint8_t> expected;
        for (const uint32_t colour : c.out) expected.insert(expected.end(), {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), 255});
        expected.insert(expected.end(), 4, 7);  // nothing beyond the picture
        EXPECT_EQ(out, expected) << c.width << " x " << c.height << " to " << c.out_width << " x " << c.out_height;
    }

    // One dot in five lit, red, green and blue staggered, as tarnvil's
    // halftones light them over a flat area.
    std::vector<uint8_t> screen(640 * 512 * 4);
    for (size_t i = 0; i < 640 * 512; ++i)
        for (size_t c = 0; c < 3; ++c) screen[i * 4 + c] = (i % 640 * 3 + i / 640 * 2 + c) % 5 == 0 ? 255 : 0;
    for (const auto& [width, height] : {std::pair{94, 75}, {103, 82}, {358, 286}, {640, 512}, {960, 768}}) {
        std::vector<uint8_t> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
        ASSERT_TRUE(scale_in_light(screen.data(), 640, 512, out.data(), width, height));
        double light = 0;
        for (size_t i = 0; i < out.size(); ++i) light += i % 4 == 3 ? 0 : linear_from_srgb8(out[i]);
        EXPECT_NEAR(light / (3.0 * width * height * 65535), 0.2, 0.002) << width << " x " << height;
    }
}

TEST(View, RoundTripThroughTheConverter) {
    // Without halftoning each sample is thresholded at 128 and matched to
    // the palette: MODE 2 shows the triple itself, MODE 1 its 4-colour match.
    const std::string ppm = make_ppm(4, 2, std::string("\xff\x00\x00" "\x00\xff\x00" "\x00\x00\xff" "\xc8\xc8\x28", 12) +
                                               std::string("\x7f\x80\xff" "\x80\x00\x80" "\x7f\x7f\x7f" "\xff\xff\xff", 12));
    const struct {
        const char* option;
        int mode;
        std::vector<uint32_t> row0, row1;
    } cases[] = {
        {"-h02", 2, {kRed, kGreen, kBlue, kYellow}, {kCyan, kMagenta, kBlack, kWhite}},
        {"-h01", 1, {kRed, kYellow, kWhite, kYellow}, {kWhite, kWhite, kBlack, kWhite}},
        {"-h04", 4, {kWhite, kWhite, kWhite, kWhite}, {kWhite, kWhite, kBlack, kWhite}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        ConvertedPicture converted;
        convert_picture((std::string(c.option) + "p.ppm").c_str(), reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(),
                        no_messages(), converted);
        ASSERT_EQ(converted.files.dump_size, static_cast<int32_t>(dump_size(c.mode)));
        const Files files = {{"p.ppm.bbc", std::string(reinterpret_cast<const char*>(converted.files.dump), dump_size(c.mode))}};
        const Picture p = picture_of(view(files, {"-m", std::to_string(c.mode), "--native", "p.ppm.bbc"}), "p.ppm.bbc.png");
        ASSERT_TRUE(p.ok);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(p.at(x, 0), c.row0[static_cast<size_t>(x)]) << x;
            EXPECT_EQ(p.at(x, 1), c.row1[static_cast<size_t>(x)]) << x;
        }
        EXPECT_EQ(p.at(4, 0), kBlack);
        EXPECT_EQ(p.at(0, 2), kBlack);
    }
}

TEST(View, BadInputs) {
    const Files files = {{"big.bbc", std::string(20480, '\0')},
                         {"small.bbc", std::string(10240, '\0')},
                         {"odd.bbc", std::string(20481, '\0')},
                         {"pic.png", png_file({1, 1, 1, {0}}, 8, 0)},
                         {"x.bbc", std::string(20480, '\0')},
                         {"x.bbc.png", std::string(20480, '\0')}};
    const std::string try_help = "Try 'tarnvil-view --help' for more information.\n";
    const std::string x_bbc_png = "tarnvil-view: x.bbc.png: not a picture tarnvil reads (PNG, JPEG, GIF, BMP, netpbm); a "
                                  "screen dump named .png is taken for a picture: rename it\n";
    const std::string x_bbc = "tarnvil-view: x.bbc: the preview would overwrite the picture x.bbc.png; view this dump "
                              "alone with -o\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    } cases[] = {
        {{"-m", "4", "big.bbc"}, 1, "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"},
        {{"small.bbc"}, 1, "tarnvil-view: small.bbc: 10240 bytes: a MODE 4 or 5 dump? Use -m 4 or -m 5\n"},
        {{"odd.bbc"}, 1, "tarnvil-view: odd.bbc: more than 20480 bytes, but a MODE 2 screen dump has 20480\n"},
        {{"absent.bbc"}, 1, "tarnvil-view: absent.bbc: No such file or directory\n"},
        {{"-o", "x.png", "big.bbc", "big.bbc"}, 2, "tarnvil-view: -o names one picture, but several dumps were given\n"},
        {{"-o", "big.bbc", "big.bbc"}, 1,
         "tarnvil-view: big.bbc: the picture would overwrite the dump itself; name another file with -o\n"},
        {{"-o", "./pic.png", "pic.png"}, 1,
         "tarnvil-view: pic.png: the preview would overwrite the picture itself; name another file with -o\n"},
        // x.bbc's preview would be the other file, whichever comes first.
        {{"x.bbc.png", "x.bbc"}, 1, x_bbc_png + x_bbc},
        {{"x.bbc", "x.bbc.png"}, 1, x_bbc + x_bbc_png},
        {{"-m", "3", "big.bbc"}, 2, "tarnvil-view: invalid mode '3' (use 0, 1, 2, 4, 5 or 7)\n"},
        {{"--mode=22", "big.bbc"}, 2, "tarnvil-view: invalid mode '22' (use 0, 1, 2, 4, 5 or 7)\n"},
        {{"small.bbc", "-m", "5"}, 2,
         "tarnvil-view: -m 5 comes after the last dump; put it before the dumps it is for\n" + try_help},
        {{"--nat=1", "big.bbc"}, 2, "tarnvil-view: option '--native' doesn't allow an argument\n" + try_help},
        {{"--output"}, 2, "tarnvil-view: option '--output' requires an argument\n" + try_help},
        {{"-q"}, 2, "tarnvil-view: invalid option -- 'q'\n" + try_help},
        {{}, 2, "tarnvil-view: no screen dump named\n" + try_help},
    };
    for (const auto& c : cases) {
        // Only a run from a shell points to --help.
        const ToolCall run = view(files, c.arguments, c.err.ends_with(try_help));
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.results.empty()) << c.err;
    }

    // One bad dump does not stop the others, but the status reports it;
    // each dump takes the mode of the -m before it.
    const ToolCall mixed = view(files, {"absent.bbc", "big.bbc", "-m", "5", "small.bbc"});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.err, "tarnvil-view: absent.bbc: No such file or directory\n");
    ASSERT_EQ(mixed.results.size(), 2u);
    EXPECT_EQ(mixed.results[0].first, "big.bbc.png");
    EXPECT_EQ(mixed.results[1].first, "small.bbc.png");
    EXPECT_TRUE(decode_png_bytes(mixed.results[1].second).ok);
}

TEST(View, HelpAndVersion) {
    const ToolCall help = view({}, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tarnvil-view [-m MODE] [-p PALETTE] [-o FILE] [--native] DUMP...\n", 0), 0u);
    const ToolCall version = view({}, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tarnvil-view ", 0), 0u);
    EXPECT_EQ(view({}, {"--bogus"}).status, 2);
}

// The program itself, on real files: pictures beside the dumps, standard
// output, and what only the file system can refuse or tell apart.
TEST(ViewProgram, WritesBesideTheDumpsAndToStandardOutput) {
    TempDir dir;
    write_file(dir / "big.bbc", std::string(20480, '\0'));
    std::string screen(10240, '\0');
    screen[0] = '\x88';  // MODE 5: the first pixel white
    write_file(dir / "small.bbc", screen);
    make_directory(dir / "taken.png");
    make_directory(dir / "sub");
    write_file(dir / "twin.bbc", std::string(20480, '\0'));
    std::error_code no_link;
    std::filesystem::create_hard_link(dir / "big.bbc", dir / "twin.bbc.png", no_link);
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"-o", "taken.png", "big.bbc"}, "tarnvil-view: taken.png: Is a directory\n"},
        {{"-o", "sub/../big.bbc", "big.bbc"},
         "tarnvil-view: big.bbc: the picture would overwrite the dump itself; name another file with -o\n"},
    };
    if (unavailable(Need::kDevFull).empty())
        cases.push_back({{"-o", "/dev/full", "big.bbc"}, "tarnvil-view: /dev/full: No space left on device\n"});
    // twin.bbc's default picture is big.bbc by another name; big.bbc
    // itself then fails on its size.
    if (!no_link)
        cases.push_back({{"twin.bbc", "-m", "4", "big.bbc"},
                         "tarnvil-view: twin.bbc: the picture would overwrite the dump big.bbc; view this dump alone "
                         "with -o\n"
                         "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"});
    if (!no_link)  // and in the other order
        cases.push_back({{"-m", "4", "big.bbc", "-m", "2", "twin.bbc"},
                         "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"
                         "tarnvil-view: twin.bbc: the picture would overwrite the dump big.bbc; view this dump alone "
                         "with -o\n"});
    for (const Case& c : cases) {
        const RunResult run = view_program(dir, c.arguments);
        EXPECT_EQ(run.exit_status, 1) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(exists(dir / "big.bbc.png"));
    EXPECT_TRUE(read_file(dir / "big.bbc") == std::string(20480, '\0')) << "a refused run wrote over its dump";
    if (unavailable(Need::kDevFull).empty()) {
        EXPECT_TRUE(exists("/dev/full")) << "a failed write must never remove a device";
    }

    const RunResult mixed = view_program(dir, {"absent.bbc", "big.bbc", "-m", "5", "small.bbc"});
    EXPECT_EQ(mixed.exit_status, 1);
    EXPECT_EQ(mixed.out, "Wrote big.bbc.png\nWrote small.bbc.png\n");
    EXPECT_EQ(mixed.err, "tarnvil-view: absent.bbc: No such file or directory\n");
    EXPECT_EQ(decode_png(dir / "big.bbc.png").width, 640);
    const RunResult piped = view_program(dir, {"-m", "5", "-o", "-", "small.bbc"});
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    const Picture p = decode_png_bytes(piped.raw_out);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.at(0, 0), kWhite);
    EXPECT_EQ(p.at(4, 1), kBlack);
    EXPECT_FALSE(exists(dir / "-"));
    EXPECT_TRUE(piped.raw_out == read_file(dir / "small.bbc.png"));
}

// The names tarnvil-view chooses itself: previews in tarnvil's own family
// (NAME.bbc.png), kept files unique within a run, and none of them ever
// over a file it reads or a picture of the user's; the same command run
// twice still works.
TEST(ViewProgram, NamesItChoosesSpareTheUsersFiles) {
    TempDir dir;
    const std::string photo = png_file({1, 1, 3, {200, 100, 50}}, 8, 2);
    const std::string tea = make_ppm(1, 1, "abc");
    write_file(dir / "tea.png", photo);
    write_file(dir / "tea.ppm", tea);
    write_file(dir / "photo.png", photo);
    write_file(dir / "photo.ppm", tea);
    write_file(dir / "mine.ppm", tea);
    write_file(dir / "mine.bbc.png", photo);
    make_directory(dir / "full");
    write_file(dir / "full/tea.ppm.bbc.png", photo);
    make_directory(dir / "linked");
    std::error_code no_link;
    std::filesystem::create_hard_link(dir / "tea.ppm", dir / "linked/tea.ppm", no_link);
    const std::string kept = "Wrote new/sub/photo.ppm\nWrote new/sub/photo.ppm.bbc\nWrote new/sub/photo.ppm.bbc.inf\n"
                             "Wrote new/sub/photo.ppm.bbc.png\nWrote photo.bbc.png\n";
    const std::string other = "tarnvil-view: tea.ppm: the kept PPM would overwrite ";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"tea.ppm"}, 0, "Wrote tea.bbc.png\n", ""},
        {{"--native", "tea.ppm"}, 0, "Wrote tea.bbc.png\n", ""},
        {{"tea.ppm"}, 0, "Wrote tea.bbc.png\n", ""},
        {{"mine.ppm"}, 1, "",
         "tarnvil-view: mine.ppm: the preview would overwrite mine.bbc.png, which tarnvil-view did not write; name "
         "another file with -o\n"},
        {{"--keep", ".", "tea.ppm"}, 1, "", other + "the picture itself; name another folder with --keep\n"},
        {{"--keep", ".", "tea.ppm", "tea.png"}, 1, "",
         other + "the picture itself; name another folder with --keep\n"
                 "tarnvil-view: tea.png: the kept PPM would overwrite the picture tea.ppm; name another folder with --keep\n"},
        {{"--keep", "new/sub", "photo.ppm", "photo.png"}, 0,
         kept + "Wrote new/sub/photo-2.ppm\nWrote new/sub/photo-2.ppm.bbc\nWrote new/sub/photo-2.ppm.bbc.inf\n"
                "Wrote new/sub/photo-2.ppm.bbc.png\nWrote photo-2.bbc.png\n", ""},
        {{"--keep", "new/sub", "photo.png"}, 0, kept, ""},
        {{"--keep", "tea.png/sub", "photo.png"}, 1, "",
         "tarnvil-view: tea.png/sub: cannot make the --keep folder: Not a directory\n"},
        {{"--keep", "new", "tea.png"}, 0, "Wrote new/tea.ppm\nWrote new/tea.ppm.bbc\nWrote new/tea.ppm.bbc.inf\n"
                                          "Wrote new/tea.ppm.bbc.png\nWrote tea.bbc.png\n", ""},
        {{"--keep", "full", "tea.png"}, 1, "",
         "tarnvil-view: tea.png: the kept preview would overwrite full/tea.ppm.bbc.png, which tarnvil-view did not "
         "write; name another folder with --keep\n"},
        {{"--keep", ".", "photo.png"}, 1, "",
         "tarnvil-view: photo.png: the kept PPM would overwrite ./photo.ppm, which tarnvil-fit did not write; name "
         "another folder with --keep\n"},
    };
    if (!no_link)
        cases.push_back({{"--keep", "linked", "tea.ppm"}, 1, "", other + "the picture itself; name another folder with --keep\n"});
    for (const Case& c : cases) {
        const RunResult run = view_program(dir, c.arguments);
        EXPECT_EQ(run.exit_status, c.status) << c.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_TRUE(read_file(dir / "tea.png") == photo && read_file(dir / "mine.bbc.png") == photo) << "a preview replaced a photo";
    EXPECT_TRUE(read_file(dir / "tea.ppm") == tea && read_file(dir / "photo.ppm") == tea) << "a kept PPM replaced a picture";
    EXPECT_FALSE(exists(dir / "tea.ppm.bbc")) << "a refused run kept files";
    EXPECT_EQ(decode_png(dir / "photo-2.bbc.png").width, 640);
}

}  // namespace
