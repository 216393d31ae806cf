#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "screen/halftone.h"
#include "screen/modes.h"
#include "screen/conversion.h"
#include "screen/writer.h"
#include "support.h"

using namespace testing_support;

namespace {

struct Rgb {
    int32_t r, g, b;
};

// Column-major planes owned by the test.
struct Image {
    Image(int32_t width, int32_t height, Rgb fill = {0, 0, 0})
        : red(static_cast<size_t>(width) * static_cast<size_t>(height), fill.r),
          green(red.size(), fill.g),
          blue(red.size(), fill.b),
          planes{width, height, red.data(), green.data(), blue.data()} {}
    void set(int32_t x, int32_t y, Rgb c) {
        const size_t at = static_cast<size_t>(x) * static_cast<size_t>(planes.height) + static_cast<size_t>(y);
        red[at] = c.r;
        green[at] = c.g;
        blue[at] = c.b;
    }
    std::vector<int32_t> red, green, blue;
    ImagePlanes planes;
};

ConversionOptions options(int32_t mode, HalftoneType halftone = kHalftoneNone, bool aspect = false,
                          bool stagger = false) {
    return {mode, halftone, stagger, aspect};
}

std::vector<uint8_t> render(const Image& image, const ConversionOptions& o) {
    ThresholdMatrix matrix;
    build_threshold_matrix(o.halftone, matrix);
    std::vector<uint8_t> screen(static_cast<size_t>(screen_bytes(screen_mode_for(o.mode))), 0xAA);
    render_screen(o, image.planes, matrix, screen.data());
    return screen;
}

// "" when equal, else the size or the first differing offsets.
std::string differences(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
    if (actual.size() != expected.size())
        return "size " + std::to_string(actual.size()) + " instead of " + std::to_string(expected.size());
    std::string report;
    int shown = 0;
    for (size_t i = 0; i < actual.size() && shown < 8; ++i) {
        if (actual[i] == expected[i]) continue;
        char line[64];
        snprintf(line, sizeof line, "[%zu] 0x%02X instead of 0x%02X; ", i, actual[i], expected[i]);
        report += line;
        ++shown;
    }
    return report;
}

// The dump with the given bytes set and every other byte zero: 20 KiB in
// modes 0 to 2, 10 KiB in modes 4 and 5.
std::vector<uint8_t> dump_with(int32_t mode, std::vector<std::pair<size_t, uint8_t>> bytes) {
    std::vector<uint8_t> screen(mode >= 4 ? 10240 : 20480, 0);
    for (const auto& [offset, value] : bytes) screen.at(offset) = value;
    return screen;
}

TEST(Render, OnePixelImagesInEachMode) {
    Image red(1, 1, {255, 0, 0});
    EXPECT_EQ(differences(render(red, options(2)), dump_with(2, {{0, 0x02}})), "");
    EXPECT_EQ(differences(render(red, options(1)), dump_with(1, {{0, 0x08}})), "");
    EXPECT_EQ(differences(render(red, options(5)), dump_with(5, {{0, 0x08}})), "");
    Image white(1, 1, {255, 255, 255});
    EXPECT_EQ(differences(render(white, options(0)), dump_with(0, {{0, 0x80}})), "");
    EXPECT_EQ(differences(render(white, options(0, kHalftoneNone, true)), dump_with(0, {{0, 0xC0}})), "");
    EXPECT_EQ(differences(render(white, options(4)), dump_with(4, {{0, 0x80}})), "");
    EXPECT_EQ(render(white, options(4)).size(), 10240u);
    EXPECT_EQ(differences(render(white, options(2)), dump_with(2, {{0, 0x2A}})), "");
    EXPECT_EQ(differences(render(white, options(1)), dump_with(1, {{0, 0x88}})), "");
}

TEST(Render, CharacterCellByteOrder) {
    // Lit pixels at (0,1), at the first pixel of cell 1 on line 0, and at (0,8).
    const struct {
        int32_t mode;
        size_t row_bytes;
        int32_t ppb;
        uint8_t first_pixel_byte;
    } modes[] = {{0, 80, 8, 0x80}, {1, 80, 4, 0x88}, {2, 80, 2, 0x2A}, {4, 40, 8, 0x80}, {5, 40, 4, 0x88}};
    for (const auto& m : modes) {
        Image image(m.ppb + 1, 9);
        image.set(0, 1, {255, 255, 255});
        image.set(m.ppb, 0, {255, 255, 255});
        image.set(0, 8, {255, 255, 255});
        EXPECT_EQ(differences(render(image, options(m.mode)),
                  dump_with(m.mode, {{1, m.first_pixel_byte}, {8, m.first_pixel_byte}, {8 * m.row_bytes, m.first_pixel_byte}})), "")
            << "mode " << m.mode;
    }
}

TEST(Render, LastPixelOfTheScreenIsTheLastByte) {
    Image image(640, 256);
    image.set(639, 255, {255, 255, 255});
    EXPECT_EQ(differences(render(image, options(0)), dump_with(0, {{20479, 0x01}})), "");
    image.set(159, 255, {0, 0, 255});
    // Mode 2: x = 159 is the right pixel of cell 79 (blue = bit 4).
    EXPECT_EQ(differences(render(image, options(2)), dump_with(2, {{20479, 0x10}})), "");
}

TEST(Render, ThresholdIs128WithoutHalftoning) {
    EXPECT_EQ(differences(render(Image(1, 1, {128, 127, 128}), options(2)), dump_with(2, {{0, 0x22}})), "");  // red + blue = 5
    EXPECT_EQ(differences(render(Image(1, 1, {127, 127, 127}), options(2)), dump_with(2, {})), "");
    EXPECT_EQ(differences(render(Image(1, 1, {127, 128, 127}), options(2)), dump_with(2, {{0, 0x08}})), "");  // green
}

TEST(Render, AspectCorrectionPerMode) {
    // Columns 0 and 1 of a 2-column image: white then black.
    Image two(2, 1);
    two.set(0, 0, {255, 255, 255});
    EXPECT_EQ(differences(render(two, options(0, kHalftoneNone, true)), dump_with(0, {{0, 0xC0}})), "");
    EXPECT_EQ(differences(render(two, options(0, kHalftoneNone, false)), dump_with(0, {{0, 0x80}})), "");
    Image two_b(2, 1);
    two_b.set(1, 0, {255, 255, 255});
    // Mode 0: pixels 0..3 show columns 0, 0, 1, 1; 4 on are colour 0.
    EXPECT_EQ(differences(render(two_b, options(0, kHalftoneNone, true)), dump_with(0, {{0, 0x30}})), "");
    EXPECT_EQ(differences(render(two_b, options(4, kHalftoneNone, true)), dump_with(4, {{0, 0x40}})), "");
    EXPECT_EQ(differences(render(two_b, options(1, kHalftoneNone, true)), dump_with(1, {{0, 0x44}})), "");

    // Modes 2 and 5 average two columns, truncating: 255 and 0 give 127.
    Image pair(4, 1);
    pair.set(0, 0, {255, 255, 1});
    pair.set(1, 0, {0, 1, 255});
    pair.set(2, 0, {200, 0, 0});
    pair.set(3, 0, {100, 0, 0});
    // Pixel 0: (127, 128, 128) -> cyan (6); pixel 1: (150, 0, 0) -> red (1).
    EXPECT_EQ(differences(render(pair, options(2, kHalftoneNone, true)), dump_with(2, {{0, 0x28 | 0x01}})), "");
    // Mode 5: pixel 0 is white (3), pixel 1 red (1): bits 7,3 and 2.
    EXPECT_EQ(differences(render(pair, options(5, kHalftoneNone, true)), dump_with(5, {{0, 0x80 | 0x08 | 0x04}})), "");
}

TEST(Render, OddWidthLastColumnAveragesWithItself) {
    Image odd(3, 1);
    odd.set(2, 0, {200, 0, 140});
    // Pixel 1 shows column 2 alone: (200, 0, 140) -> magenta (5), the right pixel.
    EXPECT_EQ(differences(render(odd, options(2, kHalftoneNone, true)), dump_with(2, {{0, 0x11}})), "");
    EXPECT_EQ(differences(render(odd, options(5, kHalftoneNone, true)), dump_with(5, {{0, 0x44}})), "");
}

TEST(Render, MissingSamplesCountAsDark) {
    // -1 plus the largest offset stays below the threshold.
    Image missing(16, 16, {-1, -1, -1});
    for (HalftoneType h : {kHalftoneNone, kHalftoneFine, kHalftoneCoarse, kHalftoneSpiral, kHalftoneDiagonal}) {
        EXPECT_EQ(differences(render(missing, options(2, h)), dump_with(2, {})), "") << h;
        EXPECT_EQ(differences(render(missing, options(2, h, true, true)), dump_with(2, {})), "") << h;
    }
    // Averaged with a missing neighbour: (-1 + 255) / 2 = 127 is dark,
    // (-1 + 0) / 2 truncates to 0.
    Image half(2, 1, {-1, -1, -1});
    half.set(1, 0, {255, 255, 255});
    EXPECT_EQ(differences(render(half, options(2, kHalftoneNone, true)), dump_with(2, {})), "");
}

TEST(Render, StaggerShiftsGreenAndBlueInTheMatrix) {
    // Diagonal halftone at (0,0): red gets M[0][0] = -115, green M[1][2] = -43,
    // blue M[2][1] = 86. Each channel sits exactly on the threshold.
    Image on(1, 1, {243, 171, 42});
    EXPECT_EQ(differences(render(on, options(2, kHalftoneDiagonal, false, true)), dump_with(2, {{0, 0x2A}})), "");
    Image below(1, 1, {242, 170, 41});
    EXPECT_EQ(differences(render(below, options(2, kHalftoneDiagonal, false, true)), dump_with(2, {})), "");
    // Without stagger every channel gets -115: only red reaches 128.
    EXPECT_EQ(differences(render(on, options(2, kHalftoneDiagonal, false, false)), dump_with(2, {{0, 0x02}})), "");

    // At (17, 18) the offsets wrap: red M[1][2] = -43, green M[2][4] = 39,
    // blue M[3][3] = -72. The pixel is the right one of cell 8, line 2 of row 2.
    Image far(18, 19);
    far.set(17, 18, {171, 89, 200});
    EXPECT_EQ(differences(render(far, options(2, kHalftoneDiagonal, false, true)), dump_with(2, {{2 * 640 + 8 * 8 + 2, 0x15}})), "");
    far.set(17, 18, {170, 88, 199});
    EXPECT_EQ(differences(render(far, options(2, kHalftoneDiagonal, false, true)), dump_with(2, {})), "");
}

TEST(Render, StaggerWithoutHalftoningChangesNothing) {
    std::mt19937 generator(7);
    Image image(200, 100);
    for (auto* plane : {&image.red, &image.green, &image.blue})
        for (auto& sample : *plane) sample = static_cast<int32_t>(generator() % 256);
    for (int32_t mode : {0, 1, 2, 4, 5})
        for (bool aspect : {false, true})
            EXPECT_EQ(differences(render(image, options(mode, kHalftoneNone, aspect, true)),
                      render(image, options(mode, kHalftoneNone, aspect, false))), "");
}

TEST(Render, LargeImagesAreCutAndSmallOnesLeaveBlack) {
    const std::vector<uint8_t> all_white_mode0(20480, 0xFF);
    EXPECT_EQ(differences(render(Image(700, 300, {255, 255, 255}), options(0)), all_white_mode0), "");
    EXPECT_EQ(differences(render(Image(640, 256, {255, 255, 255}), options(0)), all_white_mode0), "");
    EXPECT_EQ(differences(render(Image(320, 256, {255, 255, 255}), options(0, kHalftoneNone, true)), all_white_mode0), "");
    // 639 columns leave the last pixel of every line black.
    const std::vector<uint8_t> short_line = render(Image(639, 256, {255, 255, 255}), options(0));
    EXPECT_EQ(short_line[79 * 8], 0xFE);
    EXPECT_EQ(short_line[78 * 8], 0xFF);
    EXPECT_EQ(differences(render(Image(3, 2, {255, 255, 255}), options(0)), dump_with(0, {{0, 0xE0}, {1, 0xE0}})), "");
    // 0 x 0 and images with no rows give an all-zero dump.
    EXPECT_EQ(differences(render(Image(0, 0), options(2)), dump_with(2, {})), "");
    EXPECT_EQ(differences(render(Image(5, 0), options(1)), dump_with(1, {})), "");
    EXPECT_EQ(differences(render(Image(0, 5), options(5)), dump_with(5, {})), "");
}

// The column-at-a-time renderer against a pixel-at-a-time walk of the dump.
TEST(Render, MatchesPackingSamplePixelForEveryPixel) {
    std::mt19937 generator(42);
    const struct {
        int32_t width, height;
    } sizes[] = {{1, 1}, {17, 9}, {160, 256}, {321, 300}, {641, 13}, {7, 257}};
    for (const auto& size : sizes) {
        Image image(size.width, size.height);
        for (auto* plane : {&image.red, &image.green, &image.blue})
            for (auto& sample : *plane) sample = static_cast<int32_t>(generator() % 257) - 1;
        for (int32_t mode : {0, 1, 2, 4, 5}) {
            for (int variant = 0; variant < 8; ++variant) {
                const ConversionOptions o =
                    options(mode, static_cast<HalftoneType>((variant + mode) % 5), variant & 1, variant & 2);
                ThresholdMatrix matrix;
                build_threshold_matrix(o.halftone, matrix);
                const ScreenMode& m = screen_mode_for(mode);
                std::vector<uint8_t> expected(static_cast<size_t>(screen_bytes(m)), 0);
                for (int32_t y = 0; y < std::min(size.height, 256); ++y) {
                    for (int32_t cell = 0; cell < m.bytes_per_row; ++cell) {
                        int32_t pixels[8];
                        for (int32_t k = 0; k < m.pixels_per_byte; ++k)
                            pixels[k] = sample_pixel(cell * m.pixels_per_byte + k, y, o, image.planes, matrix);
                        expected[static_cast<size_t>((y / 8) * 8 * m.bytes_per_row + cell * 8 + y % 8)] =
                            pack_byte(mode, pixels);
                    }
                }
                ASSERT_EQ(differences(render(image, o), expected), "") << size.width << "x" << size.height << " mode " << mode
                                                      << " variant " << variant;
            }
        }
    }
}

// ---- Files written by write_screen ----

class Writer : public ::testing::Test {
protected:
    // The messages of writing `image` as the files beside `name`.
    std::string write(const std::string& name, const ConversionOptions& o, const Image& image) {
        ThresholdMatrix matrix;
        build_threshold_matrix(o.halftone, matrix);
        Messages out;
        write_screen_to(name.c_str(), o, image.planes, matrix, screen_files_beside_input(), out.sink());
        return out.text();
    }
    TempDir dir_;
    std::string base_ = dir_ / "pic.ppm";
};

TEST_F(Writer, WritesDumpAndSidecarBesideTheInput) {
    const struct {
        int32_t mode;
        const char* inf;
        size_t size;
    } cases[] = {{0, "$.SCREEN 003000 000000\n", 20480}, {1, "$.SCREEN 003000 000000\n", 20480},
                 {2, "$.SCREEN 003000 000000\n", 20480}, {4, "$.SCREEN 005800 000000\n", 10240},
                 {5, "$.SCREEN 005800 000000\n", 10240}};
    for (const auto& c : cases) {
        const std::string out = write(base_, options(c.mode), Image(1, 1, {255, 0, 0}));
        EXPECT_EQ(out, "Opening output file \"" + base_ + ".bbc\"...\n" + mode_line(c.mode) +
                           "Writing Droxa INF file...\nDone!!!\n");
        EXPECT_EQ(read_file(base_ + ".bbc.inf"), c.inf);
        const auto dump = read_file(base_ + ".bbc");
        ASSERT_TRUE(dump);
        EXPECT_EQ(dump->size(), c.size);
    }
}

TEST_F(Writer, DumpThatCannotBeCreatedIsReportedAndTheSidecarStillWritten) {
    make_directory(base_ + ".bbc");
    const std::string out = write(base_, options(1), Image(1, 1));
    EXPECT_EQ(out, "Opening output file \"" + base_ + ".bbc\"...\nUnable to create output file \"" + base_ +
                       ".bbc\".\nWriting Droxa INF file...\nDone!!!\n");
    EXPECT_EQ(read_file(base_ + ".bbc.inf"), "$.SCREEN 003000 000000\n");
}

TEST_F(Writer, FailedDumpWriteIsReported) {
    if (const std::string why = unavailable(Need::kDevFull); !why.empty()) GTEST_SKIP() << why;
    link_to_dev_full(base_ + ".bbc");
    const std::string out = write(base_, options(2), Image(1, 1));
    EXPECT_EQ(out, "Opening output file \"" + base_ + ".bbc\"...\n" + mode_line(2) +
                       "Error writing output file \"" + base_ + ".bbc\".\nWriting Droxa INF file...\nDone!!!\n");
    // The link is a name, not the dump, and nothing written to a device is removed.
    EXPECT_EQ(link_target(base_ + ".bbc"), "/dev/full");
    EXPECT_EQ(read_file(base_ + ".bbc.inf"), "$.SCREEN 003000 000000\n");
}

TEST_F(Writer, SidecarThatCannotBeCreatedOrWrittenIsReported) {
    const std::string inf = base_ + ".bbc.inf";
    const std::string expected = "Opening output file \"" + base_ + ".bbc\"...\n" + mode_line(5) +
                                 "Writing Droxa INF file...\nUnable to create INF file \"" + inf + "\".\nDone!!!\n";
    make_directory(inf);
    EXPECT_EQ(write(base_, options(5), Image(1, 1)), expected);
    EXPECT_EQ(read_file(base_ + ".bbc")->size(), 10240u);
    std::filesystem::remove(inf);

    if (const std::string why = unavailable(Need::kDevFull); !why.empty()) GTEST_SKIP() << why;
    link_to_dev_full(inf);
    EXPECT_EQ(write(base_, options(5), Image(1, 1)), expected);
}

TEST_F(Writer, NameTooLongForTheFileSystem) {
    const std::string name = dir_ / std::string(5000, 'n');
    const std::string out = write(name, options(2), Image(1, 1));
    EXPECT_EQ(out, "Opening output file \"" + name + ".bbc\"...\nUnable to create output file \"" + name +
                       ".bbc\".\nWriting Droxa INF file...\nUnable to create INF file \"" + name +
                       ".bbc.inf\".\nDone!!!\n");
}

// ---- One argument in memory, as tarnvil converts it ----

TEST(Conversion, ConsoleOutputOfOneFile) {
    const std::string ppm = make_ppm(1, 1, std::string("\xff\x00\x00", 3));
    Messages out;
    ConvertedPicture converted;
    convert_picture("-h02pic.ppm", reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), out.sink(), converted);
    EXPECT_EQ(out.text(),
              "Attempting to open pic.ppm\nThis PPM file has no comment.\n\nFile is 1 x 1\nNow analysing file...\n"
              "Opening output file \"pic.ppm.bbc\"...\nMODE 2 has 80 bytes per row, 8 steady colours\n"
              "and 2 pixels per byte.\nWriting Droxa INF file...\nDone!!!\n100% completed.\n");
    EXPECT_STREQ(converted.name, "pic.ppm");
    const std::vector<uint8_t> dump(converted.files.dump, converted.files.dump + converted.files.dump_size);
    EXPECT_EQ(differences(dump, dump_with(2, {{0, 0x02}})), "");
    EXPECT_EQ(std::string(converted.files.inf, static_cast<size_t>(converted.files.inf_size)), "$.SCREEN 003000 000000\n");
}

}  // namespace
