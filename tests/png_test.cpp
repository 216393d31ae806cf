// The previews' PNG writer read back by libpng, which checks every chunk's
// CRC and the zlib stream's Adler-32: pictures that make the deflate split
// its blocks, use its longest matches and reach the far end of its window.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lib/render/png.h"

#ifdef TARNVIL_TEST_LIBPNG
#include <png.h>
#endif

namespace {

#ifdef TARNVIL_TEST_LIBPNG

struct Decoded {
    uint32_t width = 0, height = 0;
    int depth = 0, colour_type = 0, interlace = 0;
    std::vector<uint8_t> palette;  // RGB triples
    std::vector<uint8_t> indices;  // one byte per pixel
    std::string problem;           // what libpng said, if anything
};

struct Source {
    const uint8_t* at;
    size_t left;
    Decoded* decoded;
};

void read_bytes(png_structp png, png_bytep into, size_t count) {
    Source& source = *static_cast<Source*>(png_get_io_ptr(png));
    if (count > source.left) png_error(png, "read past the end of the file");
    memcpy(into, source.at, count);
    source.at += count;
    source.left -= count;
}

void on_error(png_structp png, png_const_charp message) {
    static_cast<Source*>(png_get_io_ptr(png))->decoded->problem += std::string("error: ") + message + "; ";
    png_longjmp(png, 1);
}

// A warning (a bad ancillary CRC, extra compressed data) fails the test too.
void on_warning(png_structp png, png_const_charp message) {
    static_cast<Source*>(png_get_io_ptr(png))->decoded->problem += std::string("warning: ") + message + "; ";
}

// Everything up to and including IEND; `decoded` is sized before setjmp
// so that nothing is made or destroyed across a longjmp.
void decode(const uint8_t* bytes, size_t size, Decoded& decoded, std::vector<png_bytep>& rows) {
    Source source{bytes, size, &decoded};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    png_set_error_fn(png, nullptr, on_error, on_warning);
    png_set_read_fn(png, &source, read_bytes);
    if (setjmp(png_jmpbuf(png)) == 0) {
        // Any bad CRC, critical chunk or not, ends the reading.
        png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
        png_read_info(png, info);
        png_get_IHDR(png, info, &decoded.width, &decoded.height, &decoded.depth, &decoded.colour_type,
                     &decoded.interlace, nullptr, nullptr);
        png_colorp palette = nullptr;
        int entries = 0;
        if (png_get_PLTE(png, info, &palette, &entries) & PNG_INFO_PLTE)
            for (int i = 0; i < entries; ++i)
                decoded.palette.insert(decoded.palette.end(), {palette[i].red, palette[i].green, palette[i].blue});
        if (decoded.indices.size() == static_cast<size_t>(decoded.width) * decoded.height &&
            decoded.colour_type == PNG_COLOR_TYPE_PALETTE && decoded.interlace == PNG_INTERLACE_NONE) {
            png_set_packing(png);  // one index per byte
            for (uint32_t y = 0; y < decoded.height; ++y) rows[y] = decoded.indices.data() + size_t{y} * decoded.width;
            png_read_image(png, rows.data());
            png_read_end(png, end);
            if (source.left != 0) decoded.problem += std::to_string(source.left) + " bytes after IEND; ";
        } else {
            decoded.problem += "not the palette picture expected; ";
        }
    }
    png_destroy_read_struct(&png, &info, &end);
}

struct Picture {
    const char* label;
    int32_t width, height, colours;
    // Pixel (x, y) from a stream of random numbers: noise, runs or a
    // repeat of the rows 256 above.
    enum { kNoise, kRuns, kFlat, kRepeat } kind;
};

IndexedImage make_picture(const Picture& p) {
    IndexedImage image;
    image.width = p.width;
    image.height = p.height;
    image.colours = p.colours;
    image.indices.reset(new uint8_t[static_cast<size_t>(p.width) * static_cast<size_t>(p.height)]);
    std::mt19937 random(static_cast<unsigned>(p.width * 31 + p.height + p.colours));
    for (int32_t c = 0; c < p.colours; ++c)
        for (uint8_t& sample : image.rgb[c]) sample = static_cast<uint8_t>(random());
    uint8_t run_colour = 0;
    size_t run_left = 0;
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) {
            uint8_t& index = image.indices[static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)];
            if (p.kind == Picture::kRepeat && y >= 256) {
                index = image.indices[static_cast<size_t>(y - 256) * static_cast<size_t>(p.width) + static_cast<size_t>(x)];
            } else if (p.kind == Picture::kRuns) {
                if (run_left == 0) {
                    run_colour = static_cast<uint8_t>(random() % static_cast<unsigned>(p.colours));
                    run_left = 1 + random() % 3000;
                }
                --run_left;
                index = run_colour;
            } else if (p.kind == Picture::kFlat) {
                index = static_cast<uint8_t>(p.colours - 1);
            } else {
                index = static_cast<uint8_t>(random() % static_cast<unsigned>(p.colours));
            }
        }
    return image;
}

#endif

TEST(PngWriter, LibpngReadsBackEveryPixelAndTheCrcs) {
#ifndef TARNVIL_TEST_LIBPNG
    GTEST_SKIP() << "libpng is not part of this build (cross builds): nothing independent to read the PNGs back with";
#else
    const Picture pictures[] = {
        {"noise at 1 bit, the largest native preview", 640, 256, 2, Picture::kNoise},
        {"noise at 2 bits", 320, 256, 4, Picture::kNoise},
        {"noise at 4 bits, the scaled preview", 640, 512, 8, Picture::kNoise},
        {"noise at 4 bits, odd width", 161, 256, 8, Picture::kNoise},
        {"noise at 2 bits, width not a whole byte", 7, 5, 4, Picture::kNoise},
        {"long runs, the scaled preview", 640, 512, 8, Picture::kRuns},
        {"one colour, the scaled preview", 640, 512, 8, Picture::kFlat},
        // Rows of 1 + 127 bytes: row y + 256 is 32768 bytes after row y.
        {"noise repeated exactly 32768 bytes on", 254, 512, 8, Picture::kRepeat},
        {"one pixel", 1, 1, 2, Picture::kFlat},
        {"noise at 8 bits, MODE 7's 64 colours", 640, 500, 64, Picture::kNoise},
    };
    for (const Picture& p : pictures) {
        SCOPED_TRACE(p.label);
        const IndexedImage image = make_picture(p);
        PngBytes png;
        ASSERT_TRUE(encode_png(image, png));
        const size_t pixels = static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
        Decoded decoded;
        decoded.indices.assign(pixels, 0xFF);
        std::vector<png_bytep> rows(static_cast<size_t>(p.height));
        decode(png.data.get(), png.size, decoded, rows);
        EXPECT_EQ(decoded.problem, "");
        EXPECT_EQ(decoded.width, static_cast<uint32_t>(p.width));
        EXPECT_EQ(decoded.height, static_cast<uint32_t>(p.height));
        EXPECT_EQ(decoded.depth, p.colours == 2 ? 1 : p.colours == 4 ? 2 : p.colours <= 16 ? 4 : 8);
        EXPECT_EQ(decoded.palette, std::vector<uint8_t>(&image.rgb[0][0], &image.rgb[0][0] + 3 * p.colours));
        size_t wrong = 0;
        for (size_t i = 0; i < pixels; ++i)
            if (decoded.indices[i] != image.indices[i] && ++wrong <= 3)
                ADD_FAILURE() << "pixel " << i % static_cast<size_t>(p.width) << "," << i / static_cast<size_t>(p.width)
                              << " is " << int{decoded.indices[i]} << " instead of " << int{image.indices[i]};
        EXPECT_EQ(wrong, 0u);

        // The reader does check: one bit of the last chunk's CRC flipped is refused.
        png.data[png.size - 1] ^= 1;
        Decoded broken;
        broken.indices.assign(pixels, 0);
        decode(png.data.get(), png.size, broken, rows);
        EXPECT_NE(broken.problem.find("CRC"), std::string::npos) << broken.problem;
    }
#endif
}

}  // namespace
