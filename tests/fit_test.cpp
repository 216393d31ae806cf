// tarnvil-fit: every format family to the same pixels, the three fills'
// geometry, pass-through, transparency, EXIF orientation, tone, and bad
// input. Most cases run the program's own request path in memory; what
// concerns files runs the built program.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "driver/driver.h"
#include "lib/fit/decoders.h"
#include "cli/fit/fit_command.h"
#include "pictures.h"
#include "support.h"
#include "lib/shell_words.h"
#include "lib/render/render.h"
#include "lib/colour.h"
#include "lib/fit/diffuse.h"
#include "lib/fit/light.h"
#include "screen/conversion.h"
#include "screen/writer.h"

using namespace testing_support;

namespace {

// ---- Running tarnvil-fit in memory ----------------------------------------

struct Fitted {
    int status = -1;
    std::string out;
    std::string err;
    std::string ppm;  // the last PPM written
};

// tarnvil-fit with these arguments on a picture named picture.png, which
// comes last unless the arguments name it or standard input (-).
Fitted fit(std::vector<std::string> options, const std::string& picture, bool from_shell = false) {
    bool named = false;
    for (size_t i = 0; i < options.size(); ++i)
        named = named || ((options[i] == "picture.png" || options[i] == "-") && (i == 0 || options[i - 1] != "-o"));
    if (!named) options.push_back("picture.png");
    const ToolCall call = call_tool(Tool::kFit, options, {{"picture.png", picture}}, from_shell);
    return {call.status, call.out, call.err, call.results.empty() ? "" : call.results.back().second};
}

// The same with the picture's own samples, for the tests of what comes
// before the tone.
Fitted fit_plain(std::vector<std::string> options, const std::string& picture) {
    options.insert(options.begin(), {"--tone", "plain"});
    return fit(options, picture);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }

struct Ppm {
    int width = 0;
    int height = 0;
    std::string pixels;
    Rgb at(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {static_cast<unsigned char>(pixels[i]), static_cast<unsigned char>(pixels[i + 1]),
                static_cast<unsigned char>(pixels[i + 2])};
    }
};

Ppm parse_ppm(const std::string& bytes) {
    // tarnvil-fit writes "P6\nWIDTH HEIGHT\n255\n" and the samples.
    Ppm ppm;
    const size_t size_line = bytes.find('\n') + 1;
    const size_t samples = bytes.find("\n255\n", size_line) + 5;
    if (bytes.compare(0, 3, "P6\n") != 0 || samples < 5 ||
        sscanf(bytes.substr(size_line).c_str(), "%d %d", &ppm.width, &ppm.height) != 2)
        return {};
    ppm.pixels = bytes.substr(samples);
    if (ppm.pixels.size() != static_cast<size_t>(ppm.width) * ppm.height * 3) return {};
    return ppm;
}

std::string jpeg_of(const Samples& rgb) {
    std::string out;
    std::vector<unsigned char> bytes(rgb.values.begin(), rgb.values.end());
    stbi_write_jpg_to_func([](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), static_cast<size_t>(size)); },
                           &out, rgb.width, rgb.height, rgb.channels, bytes.data(), 100);
    return out;
}

std::string bmp_of(const Samples& rgb) {
    std::string out;
    std::vector<unsigned char> bytes(rgb.values.begin(), rgb.values.end());
    stbi_write_bmp_to_func([](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), static_cast<size_t>(size)); },
                           &out, rgb.width, rgb.height, rgb.channels, bytes.data());
    return out;
}

// An 8 x 8 grey progressive JPEG: a DC scan and five AC scans.
std::string progressive_jpeg() {
    return std::string(
        "\xFF\xD8\xFF\xDB\x00\x43\x00\x10\x0B\x0C\x0E\x0C\x0A\x10\x0E\x0D\x0E\x12\x11\x10\x13\x18\x28\x1A\x18\x16\x16\x18"
        "\x31\x23\x25\x1D\x28\x3A\x33\x3D\x3C\x39\x33\x38\x37\x40\x48\x5C\x4E\x40\x44\x57\x45\x37\x38\x50\x6D\x51\x57\x5F"
        "\x62\x67\x68\x67\x3E\x4D\x71\x79\x70\x64\x78\x5C\x65\x67\x63\xFF\xC2\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00"
        "\xFF\xC4\x00\x14\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\xFF\xDA\x00\x08\x01\x01"
        "\x00\x00\x00\x01\x3F\xFF\xC4\x00\x16\x10\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x04"
        "\x11\xFF\xDA\x00\x08\x01\x01\x00\x01\x05\x02\x90\xC3\xFF\xC4\x00\x16\x10\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x01\x11\xFF\xDA\x00\x08\x01\x01\x00\x06\x3F\x02\xAC\xFF\xC4\x00\x18\x10\x01\x00\x03"
        "\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x11\x21\x41\xFF\xDA\x00\x08\x01\x01\x00\x01\x3F\x21"
        "\x3B\x00\x0D\x57\x93\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x10\xFF\x00\xFF\xC4\x00\x17\x10\x01\x01\x01\x01\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x11\x00\x31\xFF\xDA\x00\x08\x01\x01\x00\x01\x3F\x10\x1C\x07\xA1\x00"
        "\x75\x5D\xFF\xD9",
        284);
}

// A JPEG's bytes with its frame header declaring `width` x `height`.
std::string declaring(std::string jpeg, int width, int height) {
    size_t at = jpeg.find("\xFF\xC0");
    if (at == std::string::npos) at = jpeg.find("\xFF\xC2");
    if (at == std::string::npos) at = jpeg.find("\xFF\xCA");
    const char sizes[4] = {static_cast<char>(height >> 8), static_cast<char>(height & 0xFF), static_cast<char>(width >> 8),
                           static_cast<char>(width & 0xFF)};
    return jpeg.replace(at + 5, 4, sizes, 4);
}

// The same JPEG with comment segments after its start marker, to `total`
// bytes: headers that count for nothing towards the picture's data.
std::string padded(const std::string& jpeg, size_t total) {
    std::string comments;
    while (jpeg.size() + comments.size() + 4 < total) {
        const size_t length = std::min<size_t>(65533, total - jpeg.size() - comments.size() - 4);
        comments += std::string("\xFF\xFE", 2) + static_cast<char>((length + 2) >> 8) + static_cast<char>((length + 2) & 0xFF) +
                    std::string(length, 'c');
    }
    return jpeg.substr(0, 2) + comments + jpeg.substr(2);
}

// The same JPEG ending, with its end marker, before its last scan.
std::string without_last_scan(const std::string& jpeg) { return jpeg.substr(0, jpeg.rfind("\xFF\xDA")) + "\xFF\xD9"; }

// An 8 x 8 grey progressive JPEG, arithmetic-coded.
std::string arithmetic_jpeg() {
    return std::string(
        "\xFF\xD8\xFF\xDB\x00\x43\x00\x03\x02\x02\x03\x02\x02\x03\x03\x03\x03\x04\x03\x03\x04\x05\x08\x05\x05\x04\x04\x05"
        "\x0A\x07\x07\x06\x08\x0C\x0A\x0C\x0C\x0B\x0A\x0B\x0B\x0D\x0E\x12\x10\x0D\x0E\x11\x0E\x0B\x0B\x10\x16\x10\x11\x13"
        "\x14\x15\x15\x15\x0C\x0F\x17\x18\x16\x14\x18\x12\x14\x15\x14\xFF\xCA\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00"
        "\xFF\xCC\x00\x04\x00\x10\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x01\xFF\x00\xCA\xFF\xCC\x00\x04\x10\x05\xFF\xDA\x00"
        "\x08\x01\x01\x00\x01\x05\x02\x15\xCB\xD4\xFF\xCC\x00\x04\x10\x05\xFF\xDA\x00\x08\x01\x01\x00\x06\x3F\x02\xC0\xFF"
        "\xCC\x00\x04\x10\x05\xFF\xDA\x00\x08\x01\x01\x00\x01\x3F\x21\x45\x28\xFF\x00\x80\xFF\xDA\x00\x08\x01\x01\x00\x00"
        "\x00\x10\xFF\xCC\x00\x04\x10\x05\xFF\xDA\x00\x08\x01\x01\x00\x01\x3F\x10\xBA\x20\xB7\x09\x71\xE2\x74\x9F\x18\xF0"
        "\xFF\xD9",
        198);
}

// A flat grey 4000 x 3000 JPEG in 47 KB, as an encoder that fits its
// tables to the picture writes it: each of its 187500 blocks a DC
// difference of 0 and an end of block, one code of one bit each.
std::string flat_jpeg() {
    std::string jpeg("\xFF\xD8\xFF\xDB\x00\x43\x00", 7);
    jpeg += std::string(64, '\x01');
    jpeg += std::string("\xFF\xC0\x00\x0B\x08\x0B\xB8\x0F\xA0\x01\x01\x11\x00", 13);  // 3000 high, 4000 wide
    for (const char table : {'\x00', '\x10'})  // DC and AC: symbol 0 the only code, one bit long
        jpeg += std::string("\xFF\xC4\x00\x14", 4) + table + '\x01' + std::string(15, '\0') + '\0';
    jpeg += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    return jpeg + std::string(187500 * 2 / 8, '\0') + "\xFF\xD9";
}

// The same BMP with its rows stored from the top, which a negative height
// says.
std::string bmp_top_down(const Samples& rgb) {
    const std::string bottom_up = bmp_of(rgb);
    const size_t offset = static_cast<unsigned char>(bottom_up[10]);
    const size_t stride = (bottom_up.size() - offset) / static_cast<size_t>(rgb.height);
    std::string top_down = bottom_up.substr(0, offset);
    for (size_t row = static_cast<size_t>(rgb.height); row-- > 0;) top_down += bottom_up.substr(offset + row * stride, stride);
    const uint32_t height = 0u - static_cast<uint32_t>(rgb.height);
    for (int i = 0; i < 4; ++i) top_down[22 + i] = static_cast<char>(height >> (8 * i) & 0xFF);
    return top_down;
}

// The same BMP with the 12-byte header of OS/2 1.x: 16-bit sizes, planes
// and bits per pixel.
std::string bmp_os2(const Samples& rgb) {
    const std::string windows = bmp_of(rgb);
    const size_t offset = static_cast<unsigned char>(windows[10]);
    const std::string pixels = windows.substr(offset);
    auto little = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
        return out;
    };
    return "BM" + little(static_cast<uint32_t>(26 + pixels.size()), 4) + little(0, 4) + little(26, 4) + little(12, 4) +
           little(static_cast<uint32_t>(rgb.width), 2) + little(static_cast<uint32_t>(rgb.height), 2) + little(1, 2) +
           little(24, 2) + pixels;
}

// ---- Every format family to the same pixels --------------------------------

// A 40 x 32 picture fills MODE 2's 160 x 256 cells in blocks of 4 x 8, so
// each sample must come through unchanged.
TEST(FitFormats, EveryLayoutOfEveryFormatGivesItsPixels) {
    std::mt19937 random(5);
    const int w = 40;
    const int h = 32;
    auto samples = [&](int channels, uint32_t limit) {
        Samples s{w, h, channels, std::vector<uint32_t>(static_cast<size_t>(w) * h * channels)};
        for (uint32_t& v : s.values) v = random() % (limit + 1);
        return s;
    };
    auto scaled = [](const Samples& s, uint32_t multiplier, int channels) {
        Samples out = s;
        out.channels = channels;
        out.values.clear();
        for (size_t i = 0; i < s.values.size(); ++i)
            if (channels == s.channels || i % 4 != 3) out.values.push_back(s.values[i] * multiplier);
        return out;
    };
    auto grey_to_rgb = [](const Samples& grey, uint32_t multiplier) {
        Samples rgb{grey.width, grey.height, 3, {}};
        for (size_t i = 0; i < grey.values.size(); i += static_cast<size_t>(grey.channels))
            for (int c = 0; c < 3; ++c) rgb.values.push_back(grey.values[i] * multiplier);
        return rgb;
    };
    auto opaque = [](Samples s, uint32_t full) {
        for (size_t i = static_cast<size_t>(s.channels) - 1; i < s.values.size(); i += static_cast<size_t>(s.channels)) s.values[i] = full;
        return s;
    };

    const Samples rgb8 = samples(3, 255);
    const Samples rgba8 = opaque(samples(4, 255), 255);
    const Samples rgb16 = scaled(rgb8, 257, 3);
    const Samples grey8 = samples(1, 255);
    const Samples grey_alpha16 = opaque(samples(2, 255), 255);
    Samples indices = samples(1, 15);
    std::string palette(768, '\0');
    for (char& c : palette) c = static_cast<char>(random() & 0xFF);
    Samples palette_rgb{w, h, 3, {}};
    for (uint32_t i : indices.values)
        for (int c = 0; c < 3; ++c) palette_rgb.values.push_back(static_cast<unsigned char>(palette[i * 3 + c]));
    const std::string palette16 = palette.substr(0, 48);

    struct Case {
        const char* label;
        std::string file;
        Samples expected;  // 8-bit RGB
    };
    std::vector<Case> cases = {
        {"PNG RGB 8", png_file(rgb8, 8, 2), rgb8},
        {"PNG RGB 16", png_file(rgb16, 16, 2), rgb8},
        {"PNG RGBA 8", png_file(rgba8, 8, 6), scaled(rgba8, 1, 3)},
        {"PNG RGBA 16", png_file(scaled(rgba8, 257, 4), 16, 6), scaled(rgba8, 1, 3)},
        {"PNG grey 8", png_file(grey8, 8, 0), grey_to_rgb(grey8, 1)},
        {"PNG grey 16", png_file(scaled(grey8, 257, 1), 16, 0), grey_to_rgb(grey8, 1)},
        {"PNG grey and alpha 16", png_file(scaled(grey_alpha16, 257, 2), 16, 4), grey_to_rgb(grey_alpha16, 1)},
        {"PNG palette 4", png_file(indices, 4, 3, false, palette16), palette_rgb},
        {"PNG palette 8", png_file(indices, 8, 3, false, palette), palette_rgb},
        {"PNG RGB 8 interlaced", png_file(rgb8, 8, 2, true), rgb8},
        {"PNG palette 4 interlaced", png_file(indices, 4, 3, true, palette16), palette_rgb},
        {"GIF", gif_file(indices, palette), palette_rgb},
        {"BMP", bmp_of(rgb8), rgb8},
        {"BMP from the top", bmp_top_down(rgb8), rgb8},
        {"BMP with OS/2's header", bmp_os2(rgb8), rgb8},
        {"P2", netpbm_file('2', grey8, 255), grey_to_rgb(grey8, 1)},
        {"P3", netpbm_file('3', rgb8, 255), rgb8},
        {"P5", netpbm_file('5', grey8, 255), grey_to_rgb(grey8, 1)},
        {"P6", netpbm_file('6', rgb8, 255), rgb8},
        {"P6 16-bit", netpbm_file('6', rgb16, 65535), rgb8},
        {"PAM RGB", netpbm_file('7', rgb8, 255, "RGB"), rgb8},
        {"PAM RGB_ALPHA", netpbm_file('7', rgba8, 255, "RGB_ALPHA"), scaled(rgba8, 1, 3)},
        {"PAM GRAYSCALE", netpbm_file('7', grey8, 255, "GRAYSCALE"), grey_to_rgb(grey8, 1)},
    };
    // Low bit depths and low maximum values are scaled to full range.
    for (const int depth : {1, 2, 4}) {
        const uint32_t top = (1u << depth) - 1;
        const Samples low = samples(1, top);
        cases.push_back({"PNG grey, low depth", png_file(low, depth, 0), grey_to_rgb(low, 255 / top)});
        cases.push_back({"PNG grey, low depth, interlaced", png_file(low, depth, 0, true), grey_to_rgb(low, 255 / top)});
    }
    const Samples bits = samples(1, 1);
    Samples inverted = bits;  // in PBM, 1 is black
    for (uint32_t& v : inverted.values) v = 1 - v;
    cases.push_back({"P1", netpbm_file('1', bits, 1), grey_to_rgb(inverted, 255)});
    cases.push_back({"P4", netpbm_file('4', bits, 1), grey_to_rgb(inverted, 255)});
    cases.push_back({"PAM BLACKANDWHITE", netpbm_file('7', bits, 1, "BLACKANDWHITE"), grey_to_rgb(bits, 255)});
    const Samples fifteen = samples(3, 15);
    cases.push_back({"P6 maximum value 15", netpbm_file('6', fifteen, 15), scaled(fifteen, 17, 3)});

    for (const Case& c : cases) {
        const Fitted fitted = fit_plain({}, c.file);
        ASSERT_EQ(fitted.status, 0) << c.label << ": " << fitted.err;
        const Ppm ppm = parse_ppm(fitted.ppm);
        ASSERT_EQ(ppm.width, 160) << c.label;
        int wrong = 0;
        for (int y = 0; y < 256 && wrong < 3; ++y) {
            for (int x = 0; x < 160 && wrong < 3; ++x) {
                const uint32_t* e = &c.expected.values[(static_cast<size_t>(y / 8) * w + static_cast<size_t>(x / 4)) * 3];
                const Rgb expected{static_cast<int>(e[0]), static_cast<int>(e[1]), static_cast<int>(e[2])};
                if (ppm.at(x, y) != expected && ++wrong)
                    ADD_FAILURE() << c.label << ": (" << x << "," << y << ") is " << ppm.at(x, y) << ", not " << expected;
            }
        }
    }
}

TEST(FitFormats, PictureAtTheTargetSizePassesThroughPixelForPixel) {
    std::mt19937 random(9);
    Samples rgb{320, 256, 3, std::vector<uint32_t>(320 * 256 * 3)};
    for (uint32_t& v : rgb.values) v = random() & 0xFF;
    const std::string ppm = netpbm_file('6', rgb, 255);
    for (const auto& options : std::vector<std::vector<std::string>>{{"-m", "1"}, {"-a", "-m", "2"}, {"-m", "4", "--fill", "fit"}}) {
        const Fitted fitted = fit_plain(options, png_file(rgb, 8, 2));
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        EXPECT_TRUE(fitted.ppm == "P6\n320 256\n255\n" + ppm.substr(ppm.find("255\n") + 4)) << options[0];
    }
}

// Deep samples between 8-bit steps land on the nearest 8-bit sample.
TEST(FitFormats, DeepSamplesRoundToTheNearestByte) {
    Samples deep{40, 32, 1, std::vector<uint32_t>(40 * 32)};
    for (size_t i = 0; i < deep.values.size(); ++i) deep.values[i] = static_cast<uint32_t>(i * 51 % 65536);
    const Ppm ppm = parse_ppm(fit_plain({}, netpbm_file('5', deep, 65535)).ppm);
    ASSERT_EQ(ppm.width, 160);
    for (int y = 0; y < 256; y += 8)
        for (int x = 0; x < 160; x += 4)
            ASSERT_NEAR(ppm.at(x, y).g, deep.values[static_cast<size_t>(y / 8) * 40 + x / 4] / 257.0, 1.0) << x << "," << y;
}

// ---- Where the picture lands -----------------------------------------------

TEST(FitGeometry, CropFitAndStretch) {
    auto halves = [](int w, int h, bool across) {
        Samples s{w, h, 3, {}};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (uint32_t v : (across ? x < w / 2 : y < h / 2) ? std::vector<uint32_t>{255, 0, 0} : std::vector<uint32_t>{0, 0, 255})
                    s.values.push_back(v);
        return s;
    };
    const Samples wide = halves(8, 2, true);   // 4:1, red left of blue
    const Samples tall = halves(2, 8, false);  // 1:4, red above blue
    struct Case {
        const char* fill;
        const Samples* picture;
        std::vector<std::string> mode;
        int width;
        // The colour of PPM pixel (x, y).
        Rgb (*expected)(int x, int y);
    };
    const Case cases[] = {
        {"crop", &wide, {"-a", "-m", "1"}, 320, [](int x, int) { return x < 160 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
        // 8 x 2 pixels at 80 dots each: 160 dots (80 lines) high, centred.
        {"fit", &wide, {"-a", "-m", "1"}, 320,
         [](int x, int y) { return y < 88 || y >= 168 ? Rgb{0, 0, 0} : x < 160 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
        {"stretch", &wide, {"-a", "-m", "1"}, 320, [](int x, int) { return x < 160 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
        {"crop", &tall, {"-m", "0"}, 640, [](int, int y) { return y < 128 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
        // 2 x 8 pixels at 64 dots each: 128 dots across, MODE 2 cells of 4.
        {"fit", &tall, {"-m", "2"}, 160,
         [](int x, int y) { return x < 64 || x >= 96 ? Rgb{0, 0, 0} : y < 128 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
        {"stretch", &tall, {"-m", "5"}, 160, [](int, int y) { return y < 128 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }},
    };
    for (const Case& c : cases) {
        std::vector<std::string> options = c.mode;
        options.insert(options.end(), {"--fill", c.fill});
        const Ppm ppm = parse_ppm(fit_plain(options, png_file(*c.picture, 8, 2)).ppm);
        ASSERT_EQ(ppm.width, c.width) << c.fill;
        ASSERT_EQ(ppm.height, 256) << c.fill;
        int wrong = 0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < ppm.width; ++x)
                if (ppm.at(x, y) != c.expected(x, y) && ++wrong <= 3)
                    ADD_FAILURE() << c.fill << " " << c.width << ": (" << x << "," << y << ") is " << ppm.at(x, y);
    }
}

// A JPEG is decoded as small as each cell still has a pixel of its own:
// at a quarter, stripes 4 pixels wide still alternate cell by cell, where
// at an eighth every cell would be grey.
TEST(FitGeometry, JpegReducedStillGivesEachCellItsPixel) {
    const struct {
        const char* mode;
        int width;
    } cases[] = {{"2", 640}, {"0", 2560}};
    for (const auto& c : cases) {
        Samples stripes{c.width, c.width * 4 / 5, 1, {}};
        for (int y = 0; y < stripes.height; ++y)
            for (int x = 0; x < stripes.width; ++x) stripes.values.push_back(x / 4 % 2 ? 255 : 0);
        const Ppm ppm = parse_ppm(fit_plain({"-m", c.mode}, jpeg_of(stripes)).ppm);
        ASSERT_EQ(ppm.width, c.width / 4) << c.mode;
        for (int x = 0; x < ppm.width; ++x) {
            const int light = ppm.at(x, 128).g;
            ASSERT_TRUE(x % 2 ? light > 192 : light < 64) << c.mode << ": " << x << " is " << light;
        }
    }
}

// The screen's width for each mode, with and without 'a'.
TEST(FitGeometry, WidthOfEachMode) {
    const Samples one{1, 1, 3, {9, 9, 9}};
    const struct {
        const char* mode;
        int plain;
    } modes[] = {{"0", 640}, {"1", 320}, {"2", 160}, {"4", 320}, {"5", 160}};
    for (const auto& m : modes) {
        const Fitted plain = fit({"-m", m.mode}, netpbm_file('6', one, 255));
        EXPECT_EQ(parse_ppm(plain.ppm).width, m.plain) << m.mode;
        const std::string next = std::string("  tarnvil-view -m ") + m.mode + " picture.ppm.bbc\n  tarnvil-disc -m " + m.mode +
                                 " -o picture.ssd picture.ppm.bbc\n";
        EXPECT_EQ(plain.out, "picture.ppm: " + std::to_string(m.plain) + " x 256; convert with tarnvil -" + m.mode + "picture.ppm\n" + next);
        const Fitted aspect = fit({"-a", "-m", m.mode}, netpbm_file('6', one, 255));
        EXPECT_EQ(parse_ppm(aspect.ppm).width, 320) << m.mode;
        EXPECT_EQ(aspect.out, std::string("picture.ppm: 320 x 256; convert with tarnvil -a") + m.mode + "picture.ppm\n" + next);
    }
}

// The commands tarnvil-fit prints and the page shows, quoted for each
// shell so that pasting one hands the program the word as it was.
TEST(FitCommands, EachShellTakesEveryWordBack) {
    const struct {
        const char* word;
        const char* posix;
        const char* cmd;
    } cases[] = {
        {"-a2photo.ppm", "-a2photo.ppm", "-a2photo.ppm"},
        {"-a2auto\\xy.ppm", "'-a2auto\\xy.ppm'", "-a2auto\\xy.ppm"},
        {"scan 1.ppm", "\"scan 1.ppm\"", "\"scan 1.ppm\""},
        {"", "\"\"", "\"\""},
        {"it's", "\"it's\"", "\"it's\""},
        {"$HOME & co", "'$HOME & co'", "\"$HOME & co\""},
        {"a'b!", "'a'\\''b!'", "\"a'b!\""},
        {"C:\\My Pictures\\", "'C:\\My Pictures\\'", "\"C:\\My Pictures\\\\\""},
        {"say \\\"hi\\\"", "'say \\\"hi\\\"'", "\"say \\\\\\\"hi\\\\\\\"\""},
        {"Zo\xC3\xAB 50%", "\"Zo\xC3\xAB 50%\"", "\"Zo\xC3\xAB 50%\""},
    };
    for (const auto& c : cases) {
        for (const auto& [shell, expected] : {std::pair{platform::Shell::kPosix, c.posix}, std::pair{platform::Shell::kCmd, c.cmd}}) {
            char out[64] = "x";
            EXPECT_TRUE(append_shell_word(c.word, shell, out, sizeof out));
            EXPECT_EQ(std::string(out), std::string("x") + expected) << c.word;
            // One byte short of the room it needs: nothing is written.
            char tight[64] = "x";
            EXPECT_FALSE(append_shell_word(c.word, shell, tight, strlen(expected) + 1));
            EXPECT_STREQ(tight, "x");
        }
    }
    const char* words[] = {"tarnvil-view", "-m", "1", "x y.bbc"};
    char command[64];
    ASSERT_TRUE(shell_command(words, 4, platform::Shell::kCmd, command, sizeof command));
    EXPECT_STREQ(command, "tarnvil-view -m 1 \"x y.bbc\"");
    // The commands printed are for the shell of the system the tools run
    // on: a backslash is a folder's on Windows, where cmd.exe takes it bare,
    // and quoted for a POSIX shell, which would eat it.
#if defined(_WIN32)
    const char* printed = "sub\\x.ppm: 160 x 256; convert with tarnvil -2sub\\x.ppm\n"
                          "  tarnvil-view -m 2 sub\\x.ppm.bbc\n  tarnvil-disc -m 2 -o sub\\x.ssd sub\\x.ppm.bbc\n";
#else
    const char* printed = "sub\\x.ppm: 160 x 256; convert with tarnvil '-2sub\\x.ppm'\n"
                          "  tarnvil-view -m 2 'sub\\x.ppm.bbc'\n  tarnvil-disc -m 2 -o 'sub\\x.ssd' 'sub\\x.ppm.bbc'\n";
#endif
    EXPECT_EQ(fit({"-o", "sub\\x.ppm"}, netpbm_file('6', Samples{1, 1, 3, {9, 9, 9}}, 255)).out, printed);
}

// ---- Transparency, orientation and tone ------------------------------------

double linear(double v) { v /= 255; return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double srgb(double l) { return 255 * (l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055); }

TEST(FitColour, TransparentPixelsShowTheBackgroundInLinearLight) {
    // Three pixels: transparent, half covered, opaque.
    const Samples rgba{3, 1, 4, {200, 10, 90, 0, 200, 10, 90, 128, 200, 10, 90, 255}};
    const int background[3] = {0x33, 0x66, 0xCC};
    Samples indices{3, 1, 1, {0, 1, 1}};
    std::string palette(768, '\0');
    palette.replace(3, 3, "\xC8\x0A\x5A");  // index 1: 200, 10, 90
    const std::string files[] = {png_file(rgba, 8, 6), netpbm_file('7', rgba, 255, "RGB_ALPHA"), gif_file(indices, palette, 0)};
    for (const std::string& file : files) {
        // 3 pixels across a 320-cell screen: stretched, columns 0, 200 and 319 are inside each pixel.
        const Ppm ppm = parse_ppm(fit_plain({"-a", "--fill", "stretch", "--background", "#3366cc"}, file).ppm);
        ASSERT_EQ(ppm.width, 320);
        EXPECT_EQ(ppm.at(0, 0), (Rgb{0x33, 0x66, 0xCC}));
        EXPECT_EQ(ppm.at(319, 255), (Rgb{200, 10, 90}));
        if (file[0] == 'G') continue;  // GIF has no partial transparency
        const int half[3] = {ppm.at(200, 100).r, ppm.at(200, 100).g, ppm.at(200, 100).b};
        const int colour[3] = {200, 10, 90};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(half[c], srgb(linear(colour[c]) * 128 / 255 + linear(background[c]) * 127 / 255), 1.0) << c;
    }
    EXPECT_EQ(parse_ppm(fit_plain({"--background", "yellow"}, files[0]).ppm).at(0, 0), (Rgb{255, 255, 0}));
}

TEST(FitColour, ExifOrientationTurnsThePictureAsShown) {
    // Quadrants red, green / blue, white as stored; the colours shown at
    // the top left, top right, bottom left and bottom right for each
    // orientation.
    Samples stored{16, 16, 3, {}};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int q = (y >= 8) * 2 + (x >= 8);
            const uint32_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
            stored.values.insert(stored.values.end(), colours[q], colours[q] + 3);
        }
    const std::string jpeg = jpeg_of(stored);
    const char* const shown[9] = {"", "RGBW", "GRWB", "WBGR", "BWRG", "RBGW", "BRWG", "WGBR", "GWRB"};
    for (const bool big_endian : {true, false}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const Ppm ppm = parse_ppm(fit({"-a", "--fill", "stretch"}, with_orientation(jpeg, orientation, big_endian)).ppm);
            ASSERT_EQ(ppm.width, 320);
            std::string seen;
            for (const auto& [x, y] : {std::pair{80, 64}, {240, 64}, {80, 192}, {240, 192}}) {
                const Rgb c = ppm.at(x, y);
                seen += c.r > 128 && c.g > 128 ? 'W' : c.r > 128 ? 'R' : c.g > 128 ? 'G' : 'B';
            }
            EXPECT_EQ(seen, shown[orientation]) << "orientation " << orientation << (big_endian ? " MM" : " II");
        }
    }
}

TEST(FitColour, ToneOptionsOnAFlatGrey) {
    const struct {
        std::vector<std::string> options;
        uint32_t in;
        int out;
    } cases[] = {
        {{}, 100, 100},
        {{"--gamma", "2"}, 128, 181},       // 255 (128 / 255)^(1/2) = 180.7
        {{"--gamma=0.5"}, 128, 64},         // 64.3
        {{"--gamma", "1.00"}, 77, 77},
        {{"--contrast", "100"}, 64, 1},     // 2 (64 - 127.5) + 127.5 = 0.5
        {{"--contrast", "100"}, 200, 255},
        {{"--contrast", "-50"}, 0, 64},     // 63.75
        {{"--brightness", "10"}, 100, 126}, // + 25.5
        {{"--brightness", "-100"}, 250, 0},
        {{"--brightness", "+100", "--contrast", "-100"}, 3, 255},
    };
    for (const auto& c : cases) {
        const Samples grey{4, 4, 1, std::vector<uint32_t>(16, c.in)};
        const Fitted fitted = fit_plain(c.options, netpbm_file('5', grey, 255));
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        EXPECT_EQ(parse_ppm(fitted.ppm).at(50, 50), (Rgb{c.out, c.out, c.out})) << c.options.size() << " " << c.in;
    }
    const Samples colour{1, 1, 3, {200, 100, 60}};
    const std::string file = netpbm_file('6', colour, 255);
    const Rgb grey = parse_ppm(fit_plain({"--grey"}, file).ppm).at(0, 0);
    const double luminance = srgb(0.2126 * linear(200) + 0.7152 * linear(100) + 0.0722 * linear(60));
    EXPECT_EQ(grey.r, grey.g);
    EXPECT_EQ(grey.g, grey.b);
    EXPECT_NEAR(grey.r, luminance, 1.0);
    EXPECT_EQ(parse_ppm(fit_plain({"--saturation", "-100"}, file).ppm).at(0, 0), grey);
    const Rgb vivid = parse_ppm(fit_plain({"--saturation", "100"}, file).ppm).at(0, 0);
    EXPECT_GT(vivid.r, 200);
    EXPECT_LT(vivid.b, 60);
}

// ---- Light: the dots the machine shows ----------------------------------------

// tarnvil-fit with `options`, tarnvil with the argument it prints, and the
// screen painted in the mode's own colours, one image pixel per screen
// pixel.
struct Shown {
    Ppm ppm;
    IndexedImage screen;
};

Shown fit_and_show(const std::vector<std::string>& options, const std::string& picture, int mode) {
    const Fitted fitted = fit(options, picture);
    EXPECT_EQ(fitted.status, 0) << fitted.err;
    const size_t from = fitted.out.find("convert with tarnvil ") + 21;
    const std::string argument = fitted.out.substr(from, fitted.out.find_first_of(";\n", from) - from);
    ConvertedPicture converted;
    convert_picture(argument.c_str(), reinterpret_cast<const uint8_t*>(fitted.ppm.data()), fitted.ppm.size(), no_messages(),
                    converted);
    Shown shown{parse_ppm(fitted.ppm), {}};
    EXPECT_TRUE(render_dump(mode, converted.files.dump, true, default_palette(mode), shown.screen)) << argument;
    return shown;
}

// Each halftone's row of light-true samples, against the dots tarnvil
// lights over flat areas of every sample: the share of lit dots is the
// nearest any sample gives to the light of the sRGB sample.
TEST(FitLight, LightTrueSamplesAreTheNearestTarnvilCanShow) {
    for (int32_t halftone = 0; halftone <= 4; ++halftone) {
        int64_t lit[256];
        for (int32_t s = 0; s < 256; ++s) {
            std::vector<int32_t> samples(16 * 16 * 3, s);
            const ImagePlanes flat{16, 16, samples.data(), samples.data() + 256, samples.data() + 512};
            ConversionOptions options = kDefaultOptions;
            options.mode = 0;
            options.halftone = static_cast<HalftoneType>(halftone);
            uint8_t dump[20480];
            convert_to_screen(options, flat, dump);
            lit[s] = 0;
            for (int row = 0; row < 2; ++row)
                for (int at = 0; at < 16; ++at) lit[s] += std::popcount(dump[row * 640 + at]);
        }
        for (int32_t v = 0; v < 256; ++v) {
            // |lit / 256 - light|, in units of 1 / (256 x 65535).
            auto miss = [&](int32_t s) { return std::abs(lit[s] * 65535 - int64_t{linear_from_srgb8(static_cast<uint8_t>(v))} * 256); };
            const uint8_t chosen = light_true_sample(static_cast<HalftoneType>(halftone), static_cast<uint8_t>(v));
            for (int32_t s = 0; s < 256; ++s) ASSERT_LE(miss(chosen), miss(s)) << "halftone " << halftone << ", sample " << v;
        }
        EXPECT_EQ(light_true_sample(static_cast<HalftoneType>(halftone), 0), 0);
        EXPECT_EQ(light_true_sample(static_cast<HalftoneType>(halftone), 255), 255);
    }
}

// Flat greys through each route and mode: the mean light of the dots is
// the grey's light; and diffused, every dot is the PPM's colour.
TEST(FitLight, ScreensGiveThePicturesLight) {
    for (const char* dither : {"ordered", "diffuse"}) {
        for (int mode : {0, 1, 2, 4, 5}) {
            for (uint32_t grey : {16, 32, 64, 96, 128, 160, 192, 224, 240}) {
                const Samples flat{5, 3, 1, std::vector<uint32_t>(15, grey)};
                const Shown shown = fit_and_show({"-a", "-m", std::to_string(mode), "--dither", dither},
                                                 netpbm_file('5', flat, 255), mode);
                const IndexedImage& screen = shown.screen;
                // Per channel; as luminance in the 4-colour modes, which
                // have no grey but white.
                double light[3] = {0, 0, 0};
                for (int32_t i = 0; i < screen.width * screen.height; ++i)
                    for (int c = 0; c < 3; ++c) light[c] += screen.rgb[screen.indices[static_cast<size_t>(i)]][c] ? 1.0 / (screen.width * screen.height) : 0;
                const double luminance = 0.2126 * light[0] + 0.7152 * light[1] + 0.0722 * light[2];
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(mode == 1 || mode == 5 ? luminance : light[c], linear(grey), 0.02) << dither << " MODE " << mode << ", " << grey;
            }
        }
    }
    std::mt19937 random(3);
    Samples colours{37, 23, 3, std::vector<uint32_t>(37 * 23 * 3)};
    for (uint32_t& v : colours.values) v = random() & 0xFF;
    for (int mode : {0, 1, 2, 5}) {
        const Shown shown = fit_and_show({"-a", "-m", std::to_string(mode), "--dither", "diffuse"}, png_file(colours, 8, 2), mode);
        ASSERT_EQ(shown.ppm.width, shown.screen.width) << mode;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < shown.ppm.width; ++x) {
                const uint8_t* c = shown.screen.rgb[shown.screen.indices[static_cast<size_t>(y * shown.screen.width + x)]];
                ASSERT_EQ(shown.ppm.at(x, y), (Rgb{c[0] ? 255 : 0, c[1] ? 255 : 0, c[2] ? 255 : 0})) << mode << ": " << x << "," << y;
            }
    }
}

// Floyd-Steinberg by hand on four dots a row, the samples taken as light:
// 7/16 of each dot's error ahead, 3/16 below behind, 5/16 below, 1/16
// below ahead, and every other row right to left. With 3/16 and 5/16
// swapped the second row reads 1010; with every row left to right, 1100.
TEST(FitLight, DiffusionSpreadsTheErrorAsFloydSteinbergDoesAlongASerpentine) {
    const uint8_t rows[3][4] = {{96, 255, 192, 224}, {160, 192, 160, 0}, {255, 255, 160, 224}};
    const char* const lit[3] = {"0111", "1110", "1101"};
    std::vector<uint8_t> rgb(4 * 256 * 3, 0);
    for (size_t i = 0; i < 12 * 3; ++i) rgb[i] = rows[i / 12][i % 12 / 3];
    ASSERT_TRUE(diffuse_to_palette(0, default_palette(0), true, rgb.data(), 4));
    std::string dots;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        EXPECT_TRUE(rgb[i] == rgb[i + 1] && rgb[i] == rgb[i + 2] && (rgb[i] == 0 || rgb[i] == 255)) << i;
        dots += rgb[i] ? '1' : '0';
    }
    EXPECT_EQ(dots, std::string(lit[0]) + lit[1] + lit[2] + std::string(4 * 253, '0'));
}

// ---- Bad input --------------------------------------------------------------

TEST(FitInput, BadPicturesAndOptions) {
    const Samples small{2, 2, 3, std::vector<uint32_t>(12, 128)};
    const std::string png = png_file(small, 8, 2);
    std::string huge_png = png;  // the header of a 16000 x 8001 picture
    huge_png.replace(16, 8, std::string("\0\0\x3E\x80\0\0\x1F\x41", 8));
    const std::string not_a_picture = "not a picture tarnvil-fit reads (PNG, JPEG, GIF, BMP, PBM, PGM, PPM or PAM)";
    const std::string damaged = "tarnvil-fit: picture.png: damaged or cut short (";
    std::mt19937 random(3);
    Samples noise{64, 48, 3, std::vector<uint32_t>(64 * 48 * 3)};
    for (uint32_t& v : noise.values) v = random() & 0xFF;
    Samples indices{64, 48, 1, std::vector<uint32_t>(64 * 48)};
    for (uint32_t& v : indices.values) v = random() & 0xFF;
    const std::string jpeg = jpeg_of(noise);
    const std::string tiny_huge_jpeg = declaring(jpeg_of(small), 16000, 8000);
    const std::string arithmetic = "tarnvil-fit: picture.png: an arithmetic-coded JPEG, which this build of tarnvil-fit does not "
                                   "read; save it as an ordinary JPEG or as PNG\n";
    const std::string bmp = bmp_of(noise);
    std::string rle_bmp = bmp;
    rle_bmp[30] = 1;
    const std::string gif = gif_file(indices, std::string(768, 'x'));
    std::string huge_gif = gif_file(Samples{2, 2, 1, {0, 1, 2, 3}}, std::string(768, 'x'));  // screen and image 6949 x 7191
    for (const size_t at : {size_t{6}, huge_gif.find(',') + 5}) huge_gif.replace(at, 4, "\x25\x1B\x17\x1C");
    // A GIF's screen, 16000 x 16000 or 11000 x 11000, around a 1 x 1 image
    // in 35 bytes; its image 0 x 0; its LZW code size 13; its palette a
    // local one.
    auto screen_gif = [](const char* sides) {
        return "GIF89a" + std::string(sides, 4) + std::string("\x80\0\0\0\0\0\xFF\xFF\xFF,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 25);
    };
    std::string empty_gif = gif;
    empty_gif.replace(gif.find(',') + 5, 4, std::string(4, '\0'));
    std::string wide_code_gif = gif;
    wide_code_gif[gif.find(',') + 10] = 13;
    const std::string local_gif = gif.substr(0, 10) + '\0' + gif.substr(11, 2) + gif.substr(781, 9) + '\x87' +
                                  gif.substr(13, 768) + gif.substr(791);
    std::string odd_bits_bmp = bmp;
    odd_bits_bmp[28] = 7;
    std::string unknown_bmp = bmp.substr(0, bmp.size() / 2);
    unknown_bmp[33] = '\x80';  // compression 0x80000000
    const std::string os2 = bmp_os2(noise);
    std::string bad_filter_png = png;  // its first row's filter 7, after the stored block's header
    bad_filter_png[png.find("IDAT") + 4 + 2 + 5] = 7;
    // Data enough for a progressive 6000 x 6000 picture's blocks, a bit
    // each, but coefficients of 72 MB.
    std::string deep_jpeg = declaring(progressive_jpeg(), 6000, 6000);
    deep_jpeg.insert(deep_jpeg.size() - 2, std::string(70400, '\x11'));
    const std::string limit = "tarnvil-fit: picture.png: 16000 x 8001 pixels are more than tarnvil-fit takes (at most 128 million pixels)\n";
    const struct {
        std::vector<std::string> options;
        std::string file;
        int status;
        std::string err;  // "..." at the end: only the start is fixed
    } cases[] = {
        {{}, "", 1, "tarnvil-fit: picture.png: " + not_a_picture + "\n"},
        {{}, "GIF88a", 1, "tarnvil-fit: picture.png: " + not_a_picture + "\n"},
        {{}, png.substr(0, png.size() - 30), 1, "tarnvil-fit: picture.png: damaged or cut short (..."},
        {{}, jpeg_of(small).substr(0, 300), 1, damaged + "..."},
        // stb_image (Windows, the cross builds) decodes what is there and
        // cannot tell; the guide says so.
        {{}, jpeg.substr(0, jpeg.size() / 2) + "\xFF\xD9", jpeg_finds_every_gap() ? 1 : 0,
         jpeg_finds_every_gap() ? damaged + "..." : ""},
        {{}, declaring(progressive_jpeg(), 16000, 8001), 1, limit},
        {{}, declaring(progressive_jpeg(), 16000, 8000), 1, damaged + "17 bytes of data are too few for 16000 x 8000 pixels)\n"},
        {{}, tiny_huge_jpeg, 1, damaged + "2 bytes of data are too few for 16000 x 8000 pixels)\n"},
        // Bombs: comments that would pay for a huge picture, a screen far
        // larger than its image, coefficients beyond what a small file gets.
        {{}, padded(declaring(progressive_jpeg(), 16000, 8000), 260000), 1,
         damaged + "17 bytes of data are too few for 16000 x 8000 pixels)\n"},
        {{}, padded(declaring(arithmetic_jpeg(), 16000, 8000), 2100), 1,
         jpeg_finds_every_gap() ? damaged + "22 bytes of data are too few for 16000 x 8000 pixels)\n" : arithmetic},
        {{}, screen_gif("\x80\x3E\x80\x3E"), 1, "tarnvil-fit: picture.png: 16000 x 16000 pixels are more than tarnvil-fit takes (at most 128 million pixels)\n"},
        {{}, screen_gif("\xF8\x2A\xF8\x2A"), 1,
         "tarnvil-fit: picture.png: 11000 x 11000 pixels in 35 bytes would take 1039 MB to decode, more than tarnvil-fit gives so "
         "small a file (64 MB, or 64 bytes for each byte of the file)\n"},
        {{}, deep_jpeg, 1, "tarnvil-fit: picture.png: 6000 x 6000 pixels in " + std::to_string(deep_jpeg.size()) + " bytes would take ..."},
        // A flat photo takes little more than a bit a block.
        {{}, flat_jpeg(), 0, ""},
        {{}, bmp.substr(0, bmp.size() / 2), 1,
         damaged + "its pixels need " + std::to_string(bmp.size()) + " bytes, the file has " + std::to_string(bmp.size() / 2) + ")\n"},
        {{}, unknown_bmp, 1, damaged + "its compression field holds 2147483648, which no BMP has)\n"},
        {{}, bmp.substr(0, 32), 1, damaged + "the file ends in its header)\n"},
        {{}, os2.substr(0, os2.size() / 2), 1,
         damaged + "its pixels need " + std::to_string(os2.size()) + " bytes, the file has " + std::to_string(os2.size() / 2) + ")\n"},
        {{}, bad_filter_png, 1, damaged + "a row has a filter no PNG has)\n"},
        {{}, odd_bits_bmp, 1, damaged + "its bits per pixel, 7, are none a BMP has)\n"},
        {{}, without_last_scan(arithmetic_jpeg()), 1, jpeg_finds_every_gap() ? damaged + "the file ends before its last scan)\n" : arithmetic},
        {{}, without_last_scan(progressive_jpeg()), jpeg_finds_every_gap() ? 1 : 0,
         jpeg_finds_every_gap() ? damaged + "the file ends before its last scan)\n" : ""},
        {{}, rle_bmp, 1,
         "tarnvil-fit: picture.png: a compressed (RLE) BMP, which tarnvil-fit does not read; save it uncompressed or as PNG\n"},
        {{}, gif.substr(0, gif.size() / 2), 1, damaged + "the file ends inside the image's data)\n"},
        {{}, huge_gif, 1, damaged + "the image's data ends before its last pixel)\n"},
        {{}, local_gif.substr(0, local_gif.size() / 2), 1, damaged + "the file ends inside the image's data)\n"},
        {{}, empty_gif, 1, damaged + "its image has no pixels (0 across or 0 down))\n"},
        {{}, wide_code_gif, 1, damaged + "its LZW code size is above 12, the most a GIF may have)\n"},
        {{}, "P6\n2 2\n255\nabc", 1, "tarnvil-fit: picture.png: the file ends before its last pixel, or a sample is not a number\n"},
        {{}, "P3\n1 1\n15\n1 2 16\n", 1, "tarnvil-fit: picture.png: a sample is above the maximum value\n"},
        {{}, "P6\n1 1\n70000\nabcdef", 1, "tarnvil-fit: picture.png: the maximum value must be 1 to 65535\n"},
        {{}, "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\nabcde", 1,
         "tarnvil-fit: picture.png: a PAM file of this depth holds no picture tarnvil-fit reads\n"},
        {{}, "P6\n16000 8001\n255\n", 1, limit},
        {{}, "P6\n16000 8000\n255\n", 1, "tarnvil-fit: picture.png: the file ends before its last pixel, or a sample is not a number\n"},
        {{}, huge_png, 1, limit},
        {{"--fill", "cover"}, png, 2, "tarnvil-fit: --fill must be crop, fit or stretch\n"},
        {{"--gamma", "0.09"}, png, 2, "tarnvil-fit: --gamma must be a number from 0.1 to 10\n"},
        {{"--gamma", "1.234"}, png, 2, "tarnvil-fit: --gamma must be a number from 0.1 to 10\n"},
        {{"--contrast", "101"}, png, 2, "tarnvil-fit: --contrast must be a whole number from -100 to 100\n"},
        {{"--background", "#12345"}, png, 2,
         "tarnvil-fit: --background must be #RRGGBB or black, red, green, yellow, blue, magenta, cyan or white\n"},
        {{"-m", "3"}, png, 2, "tarnvil-fit: the mode must be 0, 1, 2, 4, 5 or 7\n"},
        {{"--tone", "linear"}, png, 2, "tarnvil-fit: --tone must be light or plain\n"},
        {{"--dither", "random"}, png, 2, "tarnvil-fit: --dither must be ordered or diffuse\n"},
        {{"--halftone", "5"}, png, 2, "tarnvil-fit: --halftone must be 0 (none), 1 (fine), 2 (coarse), 3 (spiral) or 4 (diagonal)\n"},
        {{"picture.png", "--dither", "diffuse"}, png, 2,
         "tarnvil-fit: --dither diffuse comes after the last picture; put it before the pictures it is for\n"},
        {{"picture.png", "--grey"}, png, 2,
         "tarnvil-fit: --grey comes after the last picture; put it before the pictures it is for\n"},
        {{"picture.png", "--gamma", "2"}, png, 2,
         "tarnvil-fit: --gamma 2 comes after the last picture; put it before the pictures it is for\n"},
        {{"-o", "one.ppm", "picture.png", "picture.png"}, png, 2, "tarnvil-fit: -o names one PPM, but several pictures were given\n"},
        {{"-o", "picture.png"}, png, 1,
         "tarnvil-fit: picture.png: the PPM would overwrite the picture itself; name another file with -o\n"},
    };
    for (const auto& c : cases) {
        const Fitted fitted = fit(c.options, c.file);
        EXPECT_EQ(fitted.status, c.status) << c.err;
        if (c.err.ends_with("...")) {
            EXPECT_EQ(fitted.err.substr(0, c.err.size() - 3), c.err.substr(0, c.err.size() - 3));
        } else {
            EXPECT_EQ(fitted.err, c.err);
        }
        EXPECT_EQ(fitted.ppm.empty(), c.status != 0) << c.err;
        if (c.status != 0) {
            EXPECT_EQ(fitted.out, "") << c.err;
        }
    }
}

// The program itself: files beside the pictures, standard output, and a
// failure that does not stop the next picture.
TEST(FitProgram, WritesBesideEachPictureAndGoesOnAfterAFailure) {
    TempDir dir;
    const Samples grey{2, 2, 1, {0, 85, 170, 255}};
    write_file(dir / "photo.png", png_file(grey, 8, 0));
    make_directory(dir / "sub dir");
    write_file(dir / "sub dir/plain", netpbm_file('5', grey, 255));
    write_file(dir / "taken.ppm", "P6\n1 1\n255\nabc");
    const RunResult run = run_program(program("tarnvil-fit"), {"-m", "1", "photo.png", "gone.gif", "-a", "sub dir/plain", "taken.ppm"}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, "photo.ppm: 320 x 256; convert with tarnvil -1photo.ppm\n"
                       "  tarnvil-view -m 1 photo.ppm.bbc\n"
                       "  tarnvil-disc -m 1 -o photo.ssd photo.ppm.bbc\n"
                       "sub dir/plain.ppm: 320 x 256; convert with tarnvil \"-a1sub dir/plain.ppm\"\n"
                       "  tarnvil-view -m 1 \"sub dir/plain.ppm.bbc\"\n"
                       "  tarnvil-disc -m 1 -o \"sub dir/plain.ssd\" \"sub dir/plain.ppm.bbc\"\n");
    EXPECT_EQ(run.err, "tarnvil-fit: gone.gif: No such file or directory\n"
                       "tarnvil-fit: taken.ppm: the PPM would overwrite the picture itself; name another file with -o\n");
    EXPECT_EQ(file_size(dir / "photo.ppm"), 15 + 320 * 256 * 3);
    EXPECT_EQ(read_file(dir / "photo.ppm"), read_file(dir / "sub dir/plain.ppm"));
    EXPECT_EQ(read_file(dir / "taken.ppm"), "P6\n1 1\n255\nabc");
    EXPECT_FALSE(exists(dir / "gone.ppm"));

    const RunResult piped = run_program(program("tarnvil-fit"), {"-m", "1", "-o", "-", "photo.png"}, dir.path());
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_TRUE(piped.raw_out == read_file(dir / "photo.ppm"));
    Limits from_photo;
    from_photo.input = dir / "photo.png";
    const RunResult in_out = run_program(program("tarnvil-fit"), {"-m", "1", "-o", "-", "-"}, dir.path(), from_photo);
    EXPECT_EQ(in_out.exit_status, 0) << in_out.err;
    EXPECT_TRUE(in_out.raw_out == read_file(dir / "photo.ppm"));
}

// A 1-bit PNG of 6400 x 6000 in a few KB, whose picture as RGB would be
// 115 MB: the program's memory stays that of the screen and a row or two.
TEST(FitProgram, LargePicturesFromSmallFilesTakeLittleMemory) {
    const int width = 6400;
    const int height = 6000;
    std::string rows;
    for (int y = 0; y < height; ++y) rows += '\0' + std::string(width / 8, '\x55');
    int packed = 0;
    unsigned char* deflated = stbi_zlib_compress(reinterpret_cast<unsigned char*>(rows.data()), static_cast<int>(rows.size()), &packed, 5);
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string body = type + data;
        const uint32_t crc = stbiw__crc32(reinterpret_cast<unsigned char*>(body.data()), static_cast<int>(body.size()));
        std::string out;
        for (const uint32_t value : {static_cast<uint32_t>(data.size()), crc})
            for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
        return out.substr(0, 4) + body + out.substr(4);
    };
    const std::string header("\0\0\x19\x00\0\0\x17\x70\x01\0\0\0\0", 13);
    TempDir dir;
    write_file(dir / "lines.png", "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) +
                                      chunk("IDAT", std::string(reinterpret_cast<char*>(deflated), static_cast<size_t>(packed))) +
                                      chunk("IEND", ""));
    STBIW_FREE(deflated);
    const RunResult run = run_program(program("tarnvil-fit"), {"-m", "1", "--tone", "plain", "lines.png"}, dir.path());
    if (!png_comes_in_rows()) {  // held whole, so refused for so small a file
        EXPECT_TRUE(run.err.starts_with("tarnvil-fit: lines.png: 6400 x 6000 pixels in ")) << run.err;
        return;
    }
    EXPECT_EQ(run.exit_status, 0) << run.err;
    // Every other pixel lit, 20 of them to a cell: every cell half the light.
    const Ppm ppm = parse_ppm(read_file(dir / "lines.ppm").value_or(""));
    ASSERT_EQ(ppm.width, 320);
    EXPECT_EQ(ppm.at(100, 100), (Rgb{188, 188, 188}));
    if (run.peak_kib >= 0) {
        EXPECT_LT(run.peak_kib, 64 * 1024);  // 116 MB when the picture was held whole
    }
}

// Mistakes from a shell point to --help and write nothing.
TEST(FitInput, MistakesFromAShellPointToHelp) {
    const std::string png = png_file(Samples{2, 2, 1, {0, 85, 170, 255}}, 8, 0);
    const Fitted unnamed = fit({"-m", "1", "-"}, png, true);
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_EQ(unnamed.err, "tarnvil-fit: a picture read from standard input (-) needs -o to name its PPM\n"
                           "Try 'tarnvil-fit --help' for more information.\n");
    const Fitted cut = fit({"-o", "out.ppm", "picture.png", "-m"}, png, true);
    EXPECT_EQ(cut.status, 2);
    EXPECT_EQ(cut.err, "tarnvil-fit: option requires an argument -- 'm'\nTry 'tarnvil-fit --help' for more information.\n");
    for (const Fitted* refused : {&unnamed, &cut}) {
        EXPECT_EQ(refused->out, "");
        EXPECT_EQ(refused->ppm, "");
    }
}

// ---- Palettes ---------------------------------------------------------------

// The colours the machine shows for a PPM: tarnvil with the argument
// tarnvil-fit printed, as tarnvil-view paints it in `palette`, one pixel
// per screen pixel.
std::vector<Rgb> shown(const Fitted& fitted, int mode, const std::string& palette) {
    const size_t from = fitted.out.find("convert with tarnvil ") + 21;
    const std::string argument = fitted.out.substr(from, fitted.out.find_first_of(";\n", from) - from);
    ConvertedPicture converted;
    convert_picture(argument.c_str(), reinterpret_cast<const uint8_t*>(fitted.ppm.data()), fitted.ppm.size(), no_messages(),
                    converted);
    Palette chosen;
    char reason[160];
    EXPECT_TRUE(parse_palette(palette.c_str(), mode, chosen, reason, sizeof reason)) << reason;
    IndexedImage screen;
    EXPECT_TRUE(render_dump(mode, converted.files.dump, true, chosen, screen));
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < screen.width * screen.height; ++i) {
        const uint8_t* rgb = screen.rgb[screen.indices[static_cast<size_t>(i)]];
        colours.push_back({rgb[0], rgb[1], rgb[2]});
    }
    return colours;
}

// A picture of stripes in a palette's own colours, prepared for that
// palette, comes out of tarnvil and tarnvil-view in exactly those colours:
// by tarnvil's matching for the palettes it reaches, and diffused, for any
// different colours.
TEST(FitPalette, EveryReachablePaletteShowsItsOwnColours) {
    const struct {
        int mode;
        bool diffused;
        std::vector<std::string> palettes;
    } cases[] = {{1, false, {"0137", "0157", "0237", "0267", "0457", "0467"}},
                 {5, false, {"0157", "0467"}},
                 {0, false, {"07", "70", "14", "62", "35"}},
                 {4, false, {"40", "27"}},
                 {2, false, {"01234567", "76543210", "02143657", "13572460", "70615243"}},
                 {1, true, {"0147", "0124", "7653", "0137"}},
                 {5, true, {"0347", "1256"}},
                 {0, true, {"14", "63"}},
                 {2, true, {"70615243"}}};
    for (const auto& c : cases) {
        for (const std::string& palette : c.palettes) {
            // 320 x 256 fills every mode with aspect correction pixel for
            // pixel, and every mode's own pixels in whole blocks; stripes
            // 40 pixels wide, one per logical colour.
            Samples picture{320, 256, 3, {}};
            const int stripes = static_cast<int>(palette.size());
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 320; ++x)
                    for (int k = 0; k < 3; ++k) picture.values.push_back((palette[static_cast<size_t>(x * stripes / 320)] - '0') >> k & 1 ? 255 : 0);
            const std::string mode = std::to_string(c.mode);
            const Fitted fitted = fit(c.diffused ? std::vector<std::string>{"-m", mode, "--dither", "diffuse", "-p", palette}
                                                 : std::vector<std::string>{"-a", "-m", mode, "--palette", palette},
                                      netpbm_file('6', picture, 255));
            ASSERT_EQ(fitted.status, 0) << fitted.err;
            const std::string size = c.diffused ? std::to_string(c.mode == 0 ? 640 : c.mode == 1 ? 320 : 160) : "320";
            EXPECT_EQ(fitted.out, "picture.ppm: " + size + " x 256; convert with tarnvil " + (c.diffused ? "-h0" : "-a") +
                                      mode + "picture.ppm; show with tarnvil-view and tarnvil-disc -p " + palette + "\n" +
                                      "  tarnvil-view -m " + mode + " -p " + palette + " picture.ppm.bbc\n" +
                                      "  tarnvil-disc -m " + mode + " -p " + palette + " -o picture.ssd picture.ppm.bbc\n");
            const std::vector<Rgb> screen = shown(fitted, c.mode, palette);
            const int across = static_cast<int>(screen.size() / 256);
            int wrong = 0;
            for (int x = 0; x < across && wrong < 3; ++x) {
                const int physical = palette[static_cast<size_t>(x * stripes / across)] - '0';
                const Rgb expected{physical & 1 ? 255 : 0, physical & 2 ? 255 : 0, physical & 4 ? 255 : 0};
                for (int y = 0; y < 256; y += 51)
                    if (screen[static_cast<size_t>(y * across + x)] != expected && ++wrong <= 3)
                        ADD_FAILURE() << "MODE " << c.mode << " palette " << palette << ": (" << x << "," << y << ") is "
                                      << screen[static_cast<size_t>(y * across + x)] << ", not " << expected;
            }
        }
    }
}

// auto keeps the palette whose screen comes closest to the picture: clear
// on pictures made of a palette's colours, the mode's own on ties.
TEST(FitPalette, AutoChoosesTheClosestScreen) {
    auto gradient = [](uint32_t from, uint32_t to) {
        Samples picture{320, 256, 3, {}};
        for (uint32_t y = 0; y < 256; ++y)
            for (int x = 0; x < 320; ++x)
                for (int k = 16; k >= 0; k -= 8)
                    picture.values.push_back((((from >> k) & 255) * (255 - y) + ((to >> k) & 255) * y) / 255);
        return netpbm_file('6', picture, 255);
    };
    const struct {
        std::string picture;
        int mode;
        std::string chosen;
    } cases[] = {
        {gradient(0x000080, 0x87CEEB), 1, "0467"},  // navy to sky blue: blue and cyan
        {gradient(0x8B0000, 0xFFA500), 1, "0137"},  // dark red to orange: the mode's own
        {gradient(0x008000, 0xFFFF00), 5, "0237"},  // green to yellow
        {gradient(0x000000, 0x0000FF), 0, "04"},    // black to blue
        {gradient(0xFFFF00, 0x000000), 4, "03"},    // yellow to black
        {gradient(0x000000, 0x000000), 1, "0137"},  // every screen equally black: the mode's own
        {gradient(0xFF0000, 0x00FFFF), 2, "01234567"},
    };
    for (const auto& c : cases) {
        const Fitted fitted = fit({"-a", "-m", std::to_string(c.mode), "--palette", "auto"}, c.picture);
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        EXPECT_NE(fitted.out.find("-p " + c.chosen + "\n"), std::string::npos) << c.chosen << ": " << fitted.out;
        EXPECT_EQ(fitted.out, fit({"-a", "-m", std::to_string(c.mode), "--palette", "auto"}, c.picture).out);
    }
    // Diffused, auto chooses among every set of colours, given in
    // ascending order: bands of colours that one set alone holds, and in
    // MODE 2 its own eight.
    auto bands = [](const std::string& physical) {
        Samples picture{320, 256, 3, {}};
        for (size_t y = 0; y < 256; ++y)
            for (int x = 0; x < 320; ++x)
                for (int k = 0; k < 3; ++k) picture.values.push_back((physical[y * physical.size() / 256] - '0') >> k & 1 ? 255 : 0);
        return netpbm_file('6', picture, 255);
    };
    const struct {
        std::string picture;
        int mode;
        std::string chosen;
    } diffused[] = {
        {bands("7421"), 1, "1247"},
        {bands("0653"), 5, "0356"},
        {bands("52"), 0, "25"},
        {gradient(0xFF0000, 0x00FFFF), 2, "01234567"},
    };
    for (const auto& c : diffused) {
        const Fitted fitted = fit({"-m", std::to_string(c.mode), "--dither", "diffuse", "-p", "auto"}, c.picture);
        EXPECT_NE(fitted.out.find("-p " + c.chosen + "\n"), std::string::npos) << c.chosen << ": " << fitted.out;
    }
    // A palette is checked against the dithering of the picture it is for,
    // whichever of the two options comes first.
    const struct {
        std::vector<std::string> options;
        std::string err;
    } checks[] = {
        {{"-m", "1", "--palette", "0123"},
         "tarnvil-fit: the palette 0123 cannot be reached in MODE 1: tarnvil's colour matching reaches "
         "0137, 0157, 0237, 0267, 0457 and 0467; with --dither diffuse, any four different digits\n"},
        {{"-m", "1", "-p", "0123", "--dither", "diffuse"}, ""},
        {{"-m", "5", "--dither", "diffuse", "-p", "0113"},
         "tarnvil-fit: the palette 0113 cannot be reached in MODE 5: error diffusion reaches any four different digits\n"},
        {{"-m", "4", "--dither", "diffuse", "-p", "33"},
         "tarnvil-fit: the palette 33 cannot be reached in MODE 4: error diffusion reaches any two different digits\n"},
        {{"-m", "2", "--dither", "diffuse", "-p", "01234566"},
         "tarnvil-fit: the palette 01234566 cannot be reached in MODE 2: error diffusion reaches any arrangement of the "
         "digits 01234567\n"},
        {{"-m", "1", "--dither", "diffuse", "-p", "0124", "one.png", "--dither", "ordered"},
         "tarnvil-fit: the palette 0124 cannot be reached in MODE 1: tarnvil's colour matching reaches "
         "0137, 0157, 0237, 0267, 0457 and 0467; with --dither diffuse, any four different digits\n"},
        {{"--palette", "0137"},
         "tarnvil-fit: a MODE 2 palette is 8 digits from 0 to 7, one for each logical colour (default 01234567)\n"},
    };
    for (const auto& c : checks) {
        const Fitted fitted = fit(c.options, gradient(0, 0));
        EXPECT_EQ(fitted.err, c.err);
        EXPECT_EQ(fitted.status, c.err.empty() ? 0 : 2) << c.err;
        EXPECT_EQ(fitted.out.empty(), !c.err.empty()) << c.err;
    }
}

}  // namespace
