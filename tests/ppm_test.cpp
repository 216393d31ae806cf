#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "image/ppm.h"
#include "support.h"

using namespace testing_support;

namespace {

struct Loaded {
    int result;
    std::string out;
    ImagePlanes planes;
};

// Reads `bytes` as the contents of a file named "in.ppm" and keeps the
// planes for checking.
class Reader : public ::testing::Test {
protected:
    ~Reader() override { release_planes(planes_); }

    Loaded load(std::string_view bytes) {
        release_planes(planes_);
        Messages out;
        const int result = read_ppm_bytes("in.ppm", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                          planes_, out.sink());
        return {result, out.text(), planes_};
    }
    std::string intro(std::string_view rest) const { return "Attempting to open in.ppm\n" + std::string(rest); }

    ImagePlanes planes_{};
};

std::vector<int32_t> plane(const int32_t* samples, size_t count) { return {samples, samples + count}; }

TEST_F(Reader, RowMajorFileFillsColumnMajorPlanes) {
    const std::string six = "\x0a\x14\x1e\x28\x32\x3c";  // 10 20 30 40 50 60
    Loaded wide = load(make_ppm(2, 1, six));
    ASSERT_EQ(wide.result, 1);
    EXPECT_EQ(plane(wide.planes.red, 2), (std::vector<int32_t>{10, 40}));
    EXPECT_EQ(plane(wide.planes.green, 2), (std::vector<int32_t>{20, 50}));
    EXPECT_EQ(plane(wide.planes.blue, 2), (std::vector<int32_t>{30, 60}));

    Loaded tall = load(make_ppm(1, 2, six));
    ASSERT_EQ(tall.result, 1);
    EXPECT_EQ(plane(tall.planes.red, 2), (std::vector<int32_t>{10, 40}));
    EXPECT_EQ(plane(tall.planes.blue, 2), (std::vector<int32_t>{30, 60}));

    // Pixels A B on the first row, C D on the second: red holds A C B D.
    Loaded square = load(make_ppm(2, 2, std::string("A..B..C..D..")));
    ASSERT_EQ(square.result, 1);
    EXPECT_EQ(plane(square.planes.red, 4), (std::vector<int32_t>{'A', 'C', 'B', 'D'}));
    EXPECT_EQ(plane(square.planes.green, 4), (std::vector<int32_t>{'.', '.', '.', '.'}));
}

TEST_F(Reader, ReportsCommentAndSize) {
    Loaded with = load(make_ppm(2, 1, "abcdef", " made by hand"));
    EXPECT_EQ(with.result, 1);
    EXPECT_EQ(with.out, intro("File comment:-\n made by hand\nFile is 2 x 1\nNow analysing file...\n"));

    Loaded without = load(make_ppm(3, 0, ""));
    EXPECT_EQ(without.result, 1);
    EXPECT_EQ(without.out, intro("This PPM file has no comment.\n\nFile is 3 x 0\nNow analysing file...\n"));
}

TEST_F(Reader, CommentEchoKeepsOnlySpaceToLowercaseZ) {
    std::string comment;
    std::string expected;
    for (int c = 1; c < 256; ++c) {
        if (c == '\n') continue;
        comment += static_cast<char>(c);
        if (c >= 32 && c <= 122) expected += static_cast<char>(c);
    }
    comment += "#\r~{|}";
    expected += "#";
    Loaded loaded = load(make_ppm(1, 1, "xyz", comment));
    EXPECT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.out, intro("File comment:-\n" + expected + "\nFile is 1 x 1\nNow analysing file...\n"));
}

TEST_F(Reader, LongCommentIsEchoedWhole) {
    std::string comment(200000, 'q');
    comment[100000] = '\x7f';
    Loaded loaded = load(make_ppm(1, 1, "xyz", comment));
    EXPECT_EQ(loaded.out, intro("File comment:-\n" + std::string(199999, 'q') +
                                "\nFile is 1 x 1\nNow analysing file...\n"));
}

TEST_F(Reader, CommentRunningToEndOfFileLeavesNoSize) {
    Loaded loaded = load("P6\n# no line feed");
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.out, intro("File comment:-\n no line feed\nBad image size in header.\n"));
}

TEST_F(Reader, RejectsWhatIsNotABinaryPpm) {
    const std::string bad[] = {"", "P", "P6", "P6 \n1 1\n255\nabc", "P6\r\n1 1\n255\nabc", "P3\n1 1\n255\n1 2 3\n",
                               "P5\n1 1\n255\na", "p6\n1 1\n255\nabc", "\nP6\n1 1\n255\nabc", "6P\n",
                               "P6 1 1\n255\nabc", std::string("\0\0\0\0", 4)};
    for (const std::string& bytes : bad) {
        Loaded loaded = load(bytes);
        EXPECT_EQ(loaded.result, 0) << bytes;
        EXPECT_EQ(loaded.out, intro("Not a PPM6 (binary-encoded) file!\n")) << bytes;
        EXPECT_EQ(loaded.planes.red, nullptr);
    }
}

TEST(ReaderInMemory, NamesThatOpenNoFileOrAFolder) {
    // As on the command line: no file can be named "" or "x/", and "."
    // and ".." are folders, which read as empty files.
    const std::string picture = make_ppm(1, 1, "abc");
    const struct {
        const char* argument;
        const char* after_opening;
    } cases[] = {{"-5", "Unable to open this file.\n"},
                 {"-a2pic.ppm/", "Unable to open this file.\n"},
                 {"-a2.", "Not a PPM6 (binary-encoded) file!\n"},
                 {"sub/..", "Not a PPM6 (binary-encoded) file!\n"}};
    for (const auto& c : cases) {
        Messages out;
        ConvertedPicture converted;
        convert_picture(c.argument, reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), out.sink(),
                        converted);
        EXPECT_EQ(out.text(), std::string("Attempting to open ") + converted.name + "\n" + c.after_opening +
                                  "100% completed.\n");
        EXPECT_EQ(converted.files.dump_size, 0);
    }
}

// The header "P6\n# c\n2 1\n255\n" cut after every byte, as tarnvil
// converts it: refused until the size is whole, then written in MODE 2.
TEST(ReaderInMemory, HeaderCutAtEveryByte) {
    const std::string header = "P6\n# c\n2 1\n255\n";
    for (size_t cut = 0; cut <= header.size(); ++cut) {
        std::string expected = "Attempting to open h.ppm\n";
        if (cut < 3) {
            expected += "Not a PPM6 (binary-encoded) file!\n";
        } else if (cut == 3) {
            expected += "This PPM file has no comment.\n\nBad image size in header.\n";
        } else {
            // The comment echo is what arrived of " c" (the '#' is not echoed).
            expected += "File comment:-\n" + header.substr(4, std::min<size_t>(cut, 6) - 4) + "\n";
            if (cut < 10)  // no height yet ("2" or "2 " at most)
                expected += "Bad image size in header.\n";
            else  // the size is complete; everything after is skipped or missing
                expected += "File is 2 x 1\nNow analysing file...\nOpening output file \"h.ppm.bbc\"...\n" + mode_line(2) +
                            "Writing Droxa INF file...\nDone!!!\n";
        }
        Messages out;
        ConvertedPicture converted;
        convert_picture("h.ppm", reinterpret_cast<const uint8_t*>(header.data()), cut, out.sink(), converted);
        EXPECT_EQ(out.text(), expected + "100% completed.\n") << "cut at " << cut;
        EXPECT_EQ(converted.files.dump_size, cut < 10 ? 0 : 20480) << "cut at " << cut;
    }
}

// The size line is scanned as "%d %d\n" would scan it; compare with sscanf.
TEST_F(Reader, SizeScanMatchesScanf) {
    const char* const size_lines[] = {
        "2 1\n255\n",   "2+1\n255\n",     "2\n1\n255\n",      "  2\t\v\f\r 1 \n\n255\n", "21\n255\n",
        "+2 -0\n255\n", "002 0001\n255\n", "2\n\n\n1 255\n",  "2 1 255\n",               "7 3\r\n255\n",
        "2147483647 0\n255\n", "0 -2147483648\n255\n",
    };
    for (const char* line : size_lines) {
        int width = -7;
        int height = -7;
        int consumed = 0;
        ASSERT_EQ(sscanf(line, "%d %d\n%n", &width, &height, &consumed), 2) << line;
        Loaded loaded = load(std::string("P6\n") + line + std::string(60, 'z'));
        EXPECT_EQ(loaded.planes.width, width) << line;
        EXPECT_EQ(loaded.planes.height, height) << line;
        EXPECT_NE(loaded.out.find("File is " + std::to_string(width) + " x " + std::to_string(height) + "\n"),
                  std::string::npos)
            << line;
    }
}

TEST_F(Reader, SizeLineWithoutTwoIntegersIsRejected) {
    const char* const size_lines[] = {"",          "\n",          "2\n",          "2 x\n255\n",     "x 2\n255\n",
                                      "2 -\n255\n", "- 2\n255\n", "+\n",          "2,1\n255\n",      "\n\n",
                                      "2147483648 1\n255\n", "1 -2147483649\n255\n", "4294967296 1\n255\n", "4294967297 1\n255\n",
                                      "99999999999999999999999 1\n255\n"};
    for (const char* line : size_lines) {
        Loaded loaded = load(std::string("P6\n") + line + "abcdef");
        EXPECT_EQ(loaded.result, 0) << line;
        EXPECT_EQ(loaded.out, intro("This PPM file has no comment.\n\nBad image size in header.\n")) << line;
        EXPECT_EQ(loaded.planes.red, nullptr);
    }
}

TEST_F(Reader, ASecondCommentLineIsNotSkipped) {
    Loaded loaded = load("P6\n# one\n# two\n1 1\n255\nabc");
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.out, intro("File comment:-\n one\nBad image size in header.\n"));
}

TEST_F(Reader, NegativeOrOversizedPlanesAreRefused) {
    const struct {
        const char* size;
        const char* shown;
    } cases[] = {{"-1 5", "-1 x 5"},
                 {"5 -1", "5 x -1"},
                 {"-2147483648 -2147483648", "-2147483648 x -2147483648"},
                 {"536870912 1", "536870912 x 1"},
                 {"32768 16384", "32768 x 16384"},
                 {"65536 32768", "65536 x 32768"},
                 {"65536 65536", "65536 x 65536"},
                 {"2147483647 2147483647", "2147483647 x 2147483647"}};
    for (const auto& c : cases) {
        Loaded loaded = load(std::string("P6\n") + c.size + "\n255\nabc");
        EXPECT_EQ(loaded.result, 0) << c.size;
        EXPECT_EQ(loaded.out,
                  intro(std::string("This PPM file has no comment.\n\nFile is ") + c.shown + "\nUnsupported image size.\n"));
        EXPECT_EQ(loaded.planes.red, nullptr);
    }
}

TEST_F(Reader, ZeroSizesAreAcceptedWithoutReadingSamples) {
    for (const char* size : {"0 0", "0 5", "5 0", "2147483647 0"}) {
        Loaded loaded = load(std::string("P6\n") + size + "\n255\n");
        EXPECT_EQ(loaded.result, 1) << size;
        EXPECT_NE(loaded.out.find("Now analysing file...\n"), std::string::npos);
    }
}

TEST_F(Reader, MaximumValueIsSkippedButTwoByteSamplesAreRefused) {
    const struct {
        const char* field;
        bool accepted;
    } cases[] = {{"255", true},     {"1", true},   {"0", true},     {"#", true},   {"abc", true},
                 {"+300", true},    {"255x", true}, {"256", false}, {"65535", false},
                 {"0000000256", false}, {"99999999999999999999", false}, {"300 # deep", false}};
    for (const auto& c : cases) {
        Loaded loaded = load(std::string("P6\n1 1\n") + c.field + "\nxyz");
        EXPECT_EQ(loaded.result, c.accepted ? 1 : 0) << c.field;
        const std::string tail = c.accepted ? "Now analysing file...\n"
                                            : "Unsupported maximum value: samples must be one byte each.\n";
        EXPECT_EQ(loaded.out, intro("This PPM file has no comment.\n\nFile is 1 x 1\n" + tail)) << c.field;
        if (c.accepted) {
            EXPECT_EQ(loaded.planes.red[0], 'x');
            EXPECT_EQ(loaded.planes.blue[0], 'z');
        } else {
            EXPECT_EQ(loaded.planes.red, nullptr);
        }
    }
}

TEST_F(Reader, OneNumberSizeLineTakesHeightFromNextLine) {
    // "21\n255\n" is 21 x 255; the maximum-value skip then eats the first
    // line of what was meant to be samples, up to its line feed.
    Loaded loaded = load("P6\n21\n255\nAB\nCD");
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.planes.width, 21);
    EXPECT_EQ(loaded.planes.height, 255);
    EXPECT_EQ(loaded.planes.red[0], 'C');
    EXPECT_EQ(loaded.planes.green[0], 'D');
    EXPECT_EQ(loaded.planes.blue[0], -1);
    EXPECT_EQ(loaded.planes.red[255], -1);
}

TEST_F(Reader, MaximumValueWithoutLineFeedLeavesEverySampleMissing) {
    Loaded loaded = load("P6\n2 2\n255");
    ASSERT_EQ(loaded.result, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loaded.planes.red[i], -1);
        EXPECT_EQ(loaded.planes.green[i], -1);
        EXPECT_EQ(loaded.planes.blue[i], -1);
    }
}

// Reference for the sample layout: sample s of the file (row-major, three
// per pixel) lands at column-major index x * height + y of its channel.
void expect_planes(const ImagePlanes& planes, const std::string& samples, size_t available) {
    const size_t width = static_cast<size_t>(planes.width);
    const size_t height = static_cast<size_t>(planes.height);
    const int32_t* channel[3] = {planes.red, planes.green, planes.blue};
    size_t mismatches = 0;
    for (size_t s = 0; s < width * height * 3; ++s) {
        const size_t pixel = s / 3;
        const size_t x = pixel % width;
        const size_t y = pixel / width;
        const int32_t expected = s < available ? static_cast<unsigned char>(samples[s]) : -1;
        if (channel[s % 3][x * height + y] != expected && ++mismatches < 5)
            ADD_FAILURE() << "sample " << s << " of " << width << "x" << height << " cut at " << available;
    }
    EXPECT_EQ(mismatches, 0u);
}

std::string random_bytes(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& b : bytes) b = static_cast<char>(generator() & 0xFF);
    return bytes;
}

TEST_F(Reader, FileCutShortReadsMissingSamplesAsMinusOne) {
    const std::string samples = random_bytes(18, 1);
    for (size_t available = 0; available <= samples.size(); ++available) {
        Loaded loaded = load(make_ppm(3, 2, samples.substr(0, available)));
        ASSERT_EQ(loaded.result, 1);
        expect_planes(loaded.planes, samples, available);
    }
}

TEST_F(Reader, LargeImagesAcrossBandsAndCuts) {
    const struct {
        int width;
        int height;
    } sizes[] = {{5, 200}, {320, 256}, {1, 1000}, {1000, 1}, {7000, 3}, {400000, 2}, {6, 7}, {13, 67}, {4, 4}, {8, 131}};
    unsigned seed = 10;
    for (const auto& size : sizes) {
        const size_t total = static_cast<size_t>(size.width) * static_cast<size_t>(size.height) * 3;
        const std::string samples = random_bytes(total, ++seed);
        for (const size_t available : {total, total - 1, total / 2 + 1, total / 3, size_t{3} * size.width, size_t{0}}) {
            Loaded loaded = load(make_ppm(size.width, size.height, samples.substr(0, available)));
            ASSERT_EQ(loaded.result, 1);
            expect_planes(loaded.planes, samples, available);
        }
    }
}

TEST_F(Reader, ExtraBytesAfterTheSamplesAreIgnored) {
    Loaded loaded = load(make_ppm(1, 1, "abcdefgh"));
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(plane(loaded.planes.red, 1), std::vector<int32_t>{'a'});
    EXPECT_EQ(plane(loaded.planes.blue, 1), std::vector<int32_t>{'c'});
}

}  // namespace
