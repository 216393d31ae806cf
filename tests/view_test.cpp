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

#include "screen/modes.h"
#include "support.h"

using namespace testing_support;

namespace {

struct Picture {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
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

constexpr uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kYellow = 0xFFFF00, kBlue = 0x0000FF,
                   kMagenta = 0xFF00FF, kCyan = 0x00FFFF, kWhite = 0xFFFFFF;

size_t dump_size(int mode) { return mode == 4 || mode == 5 ? 10240 : 20480; }

RunResult view(const TempDir& dir, std::vector<std::string> arguments) {
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
        TempDir dir;
        std::string dump(dump_size(c.mode), '\0');
        const size_t row = c.mode == 4 || c.mode == 5 ? 40 : 80;
        dump[1 * 8 * row + 3 * 8 + 1] = static_cast<char>(c.byte);
        write_file(dir / "d.bbc", dump);
        const RunResult run = view(dir, {"-m", std::to_string(c.mode), "d.bbc"});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        EXPECT_EQ(run.out, "Wrote d.bbc.png\n");
        const Picture p = decode_png(dir / "d.bbc.png");
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.width, 640);
        EXPECT_EQ(p.height, 512);
        expect_only_block(p, c.x0, c.x1, 18, 20, c.colour);
    }
}

TEST(View, CharacterCellOrder) {
    // Mode 0: byte 1 is line 1 of cell 0, byte 8 line 0 of cell 1, byte 640
    // line 0 of character row 1; each shows its leftmost pixel.
    TempDir dir;
    std::string dump(20480, '\0');
    dump[1] = dump[8] = dump[640] = '\x80';
    write_file(dir / "d.bbc", dump);
    ASSERT_EQ(view(dir, {"--mode=0", "--native", "d.bbc"}).exit_status, 0);
    const Picture p = decode_png(dir / "d.bbc.png");
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
    TempDir dir;
    std::string wide(20480, '\0');
    wide[0] = '\x35';   // MODE 1: logical colours 0, 1, 2, 3
    wide[8] = '\x3D';   // MODE 2: logical colours 6, 7 (pixels 2 and 3)
    std::string narrow(10240, '\0');
    narrow[0] = '\x40';  // MODE 4: logical colours 0, 1
    write_file(dir / "w.bbc", wide);
    write_file(dir / "n.bbc", narrow);
    const RunResult run = view(dir, {"--native", "-m", "1", "-p", "0457", "w.bbc", "-m", "4", "--palette=34", "n.bbc",
                                     "-m", "2", "-o", "-", "-p", "76543210", "-m", "1", "w.bbc"});
    EXPECT_EQ(run.exit_status, 2);  // -o with several dumps
    ASSERT_EQ(view(dir, {"--native", "-m", "1", "-p", "0457", "w.bbc", "-m", "4", "--palette=34", "n.bbc"}).exit_status, 0);
    Picture p = decode_png(dir / "w.bbc.png");
    EXPECT_EQ(std::vector<uint32_t>({p.at(0, 0), p.at(1, 0), p.at(2, 0), p.at(3, 0)}),
              std::vector<uint32_t>({kBlack, kBlue, kMagenta, kWhite}));
    p = decode_png(dir / "n.bbc.png");
    EXPECT_EQ(std::vector<uint32_t>({p.at(0, 0), p.at(1, 0)}), std::vector<uint32_t>({kYellow, kBlue}));
    // A -m after -p brings the mode's own palette back.
    ASSERT_EQ(view(dir, {"-m", "2", "-p", "76543210", "--native", "-m", "2", "w.bbc"}).exit_status, 0);
    p = decode_png(dir / "w.bbc.png");
    EXPECT_EQ(std::vector<uint32_t>({p.at(2, 0), p.at(3, 0)}), std::vector<uint32_t>({kCyan, kWhite}));
    ASSERT_EQ(view(dir, {"-m", "2", "-p", "76543210", "--native", "w.bbc"}).exit_status, 0);
    p = decode_png(dir / "w.bbc.png");
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
        const RunResult refused = view(dir, m.arguments);
        EXPECT_EQ(refused.exit_status, 2);
        EXPECT_EQ(refused.err, m.err + try_help);
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
        TempDir dir;
        std::string dump(dump_size(c.mode), '\0');
        for (size_t cell = 0; cell < c.bytes.size(); ++cell) dump[cell * 8] = static_cast<char>(c.bytes[cell]);
        write_file(dir / "d.bbc", dump);
        ASSERT_EQ(view(dir, {"-m" + std::to_string(c.mode), "--native", "d.bbc"}).exit_status, 0);
        const Picture p = decode_png(dir / "d.bbc.png");
        ASSERT_TRUE(p.ok);
        for (size_t x = 0; x < c.colours.size(); ++x) EXPECT_EQ(p.at(static_cast<int>(x), 0), c.colours[x]) << x;
    }
}

TEST(View, NativeSizeOfEachMode) {
    const struct {
        int mode, width;
    } cases[] = {{0, 640}, {1, 320}, {2, 160}, {4, 320}, {5, 160}};
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "d.bbc", std::string(dump_size(c.mode), '\0'));
        ASSERT_EQ(view(dir, {"-m", std::to_string(c.mode), "--native", "-o", "n.png", "d.bbc"}).exit_status, 0);
        const Picture p = decode_png(dir / "n.png");
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, 256);
    }
}

TEST(View, RoundTripThroughTheConverter) {
    // Without halftoning each sample is thresholded at 128 and matched to
    // the palette: MODE 2 shows the triple itself, MODE 1 its 4-colour match.
    const std::string pixels = std::string("\xff\x00\x00" "\x00\xff\x00" "\x00\x00\xff" "\xc8\xc8\x28", 12) +
                               std::string("\x7f\x80\xff" "\x80\x00\x80" "\x7f\x7f\x7f" "\xff\xff\xff", 12);
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
        TempDir dir;
        write_file(dir / "p.ppm", make_ppm(4, 2, pixels));
        ASSERT_EQ(run_tarnvil({std::string(c.option) + "p.ppm"}, dir.path()).exit_status, 0);
        ASSERT_EQ(view(dir, {"-m", std::to_string(c.mode), "--native", "p.ppm.bbc"}).exit_status, 0);
        const Picture p = decode_png(dir / "p.ppm.bbc.png");
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
    TempDir dir;
    write_file(dir / "big.bbc", std::string(20480, '\0'));
    write_file(dir / "small.bbc", std::string(10240, '\0'));
    write_file(dir / "odd.bbc", std::string(20481, '\0'));
    make_directory(dir / "taken.png");
    make_directory(dir / "sub");
    write_file(dir / "twin.bbc", std::string(20480, '\0'));
    std::error_code no_link;
    std::filesystem::create_hard_link(dir / "big.bbc", dir / "twin.bbc.png", no_link);
    const std::string try_help = "Try 'tarnvil-view --help' for more information.\n";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"-m", "4", "big.bbc"}, 1, "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"},
        {{"small.bbc"}, 1, "tarnvil-view: small.bbc: 10240 bytes: a MODE 4 or 5 dump? Use -m 4 or -m 5\n"},
        {{"odd.bbc"}, 1, "tarnvil-view: odd.bbc: more than 20480 bytes, but a MODE 2 screen dump has 20480\n"},
        {{"absent.bbc"}, 1, "tarnvil-view: absent.bbc: No such file or directory\n"},
        {{"-o", "taken.png", "big.bbc"}, 1, "tarnvil-view: taken.png: Is a directory\n"},
        {{"-o", "x.png", "big.bbc", "big.bbc"}, 2, "tarnvil-view: -o names one picture, but several dumps were given\n"},
        {{"-o", "sub/../big.bbc", "big.bbc"}, 1,
         "tarnvil-view: big.bbc: the picture would overwrite the dump itself; name another file with -o\n"},
        {{"-m", "3", "big.bbc"}, 2, "tarnvil-view: invalid mode '3' (use 0, 1, 2, 4 or 5)\n"},
        {{"--mode=22", "big.bbc"}, 2, "tarnvil-view: invalid mode '22' (use 0, 1, 2, 4 or 5)\n"},
        {{"small.bbc", "-m", "5"}, 2,
         "tarnvil-view: -m 5 comes after the last dump; put it before the dumps it is for\n" + try_help},
        {{"--nat=1", "big.bbc"}, 2, "tarnvil-view: option '--native' doesn't allow an argument\n" + try_help},
        {{"--output"}, 2, "tarnvil-view: option '--output' requires an argument\n" + try_help},
        {{"-q"}, 2, "tarnvil-view: invalid option -- 'q'\n" + try_help},
        {{}, 2, "tarnvil-view: no screen dump named\n" + try_help},
    };
    if (unavailable(Need::kDevFull).empty())
        cases.push_back({{"-o", "/dev/full", "big.bbc"}, 1, "tarnvil-view: /dev/full: No space left on device\n"});
    // twin.bbc's default picture is big.bbc by another name; big.bbc
    // itself then fails on its size.
    if (!no_link)
        cases.push_back({{"twin.bbc", "-m", "4", "big.bbc"}, 1,
                         "tarnvil-view: twin.bbc: the picture would overwrite the dump big.bbc; view this dump alone "
                         "with -o\n"
                         "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2\n"});
    for (const Case& c : cases) {
        const RunResult run = view(dir, c.arguments);
        EXPECT_EQ(run.exit_status, c.status) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(exists(dir / "big.bbc.png"));
    EXPECT_FALSE(exists(dir / "small.bbc.png"));
    EXPECT_FALSE(exists(dir / "x.png"));
    EXPECT_TRUE(read_file(dir / "big.bbc") == std::string(20480, '\0')) << "a refused run wrote over its dump";
    if (unavailable(Need::kDevFull).empty()) {
        EXPECT_TRUE(exists("/dev/full")) << "a failed write must never remove a device";
    }

    // One bad dump does not stop the others, but the status reports it;
    // each dump takes the mode of the -m before it.
    const RunResult mixed = view(dir, {"absent.bbc", "big.bbc", "-m", "5", "small.bbc"});
    EXPECT_EQ(mixed.exit_status, 1);
    EXPECT_EQ(mixed.out, "Wrote big.bbc.png\nWrote small.bbc.png\n");
    EXPECT_GT(file_size(dir / "big.bbc.png"), 0);
    EXPECT_GT(file_size(dir / "small.bbc.png"), 0);
}

TEST(View, PictureToStandardOutput) {
    TempDir dir;
    std::string screen(10240, '\0');
    screen[0] = '\x88';  // MODE 5: the first pixel white
    write_file(dir / "d.bbc", screen);
    const RunResult run = view(dir, {"-m", "5", "-o", "-", "d.bbc"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    const Picture p = decode_png_bytes(run.raw_out);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.at(0, 0), kWhite);
    EXPECT_EQ(p.at(4, 1), kBlack);
    EXPECT_FALSE(exists(dir / "-"));
    ASSERT_EQ(view(dir, {"-m", "5", "d.bbc"}).exit_status, 0);
    EXPECT_TRUE(run.raw_out == read_file(dir / "d.bbc.png"));
}

TEST(View, HelpAndVersion) {
    TempDir dir;
    const RunResult help = view(dir, {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tarnvil-view [-m MODE] [-p PALETTE] [-o FILE] [--native] DUMP...\n", 0), 0u);
    const RunResult version = view(dir, {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.out.rfind("tarnvil-view ", 0), 0u);
    EXPECT_EQ(view(dir, {"--bogus"}).exit_status, 2);
}

}  // namespace
