// A VideoNuLA's colours: the RGB,RGB,... text each way, and the choice of
// colours and dots, carried through tarnvil's conversion and never further
// from the picture than the machine's own colours.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lib/fit/nula.h"
#include "lib/fit/screen.h"
#include "lib/render/render.h"
#include "screen/modes.h"

namespace {

TEST(Nula, PalettesReadAndWritten) {
    const std::string not_hex = " is not a NuLA colour: each is three hex digits, red, green and blue (000 black to FFF white)";
    struct Case {
        int mode;
        const char* text;
        std::string result;  // the palette written back, or why it is refused
    };
    const Case cases[] = {
        {2, "000,F00,0F0,FF0,00F,F0F,0FF,FFF", "000,F00,0F0,FF0,00F,F0F,0FF,FFF"},
        {1, "0a3,fFf,123,9Ab", "0A3,FFF,123,9AB"},
        {4, "000,FFF", "000,FFF"},
        {5, "000,FFF", "a MODE 5 NuLA palette is 4 colours, one for each logical colour, not 2"},
        {2, "000,111,222,333,444,555,666,777,888,999,AAA,BBB,CCC,DDD,EEE,FFF,000",
         "a MODE 2 NuLA palette is 8 colours, one for each logical colour, not 17"},
        {0, "000,FFG", "'FFG'" + not_hex},
        {0, "000,FFF,", "''" + not_hex},
        {0, "0000,FFF", "'0000'" + not_hex},
        {0, "000 FFF", "'000 FFF'" + not_hex},
        {0, "", "''" + not_hex},
        {0, "-00,FFF", "'-00'" + not_hex},
    };
    for (const Case& c : cases) {
        NulaPalette palette;
        char reason[200] = "";
        char text[64] = "";
        if (parse_nula_palette(c.text, c.mode, palette, reason, sizeof reason)) format_nula_palette(palette, text);
        EXPECT_EQ(text[0] ? std::string(text) : std::string(reason), c.result) << c.mode << " " << c.text;
    }
}

// A picture of smooth browns, greens and a blue no palette of the
// machine's colours holds, with grain.
std::vector<uint8_t> photograph(int32_t width) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * kScreenLines * 3);
    std::mt19937 random(7);
    for (int32_t y = 0; y < kScreenLines; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            const int grain = static_cast<int>(random() % 9) - 4;
            const bool sky = y < 96 + x * 32 / width;
            p[0] = static_cast<uint8_t>((sky ? 70 : 150 - y / 4) + grain);
            p[1] = static_cast<uint8_t>((sky ? 110 + y / 2 : 100 + x * 40 / width) + grain);
            p[2] = static_cast<uint8_t>((sky ? 190 : 40) + grain);
        }
    return rgb;
}

// The error of a screen's dots in `palette` against the picture.
uint64_t error_of(const NulaPalette& palette, const uint8_t* dots, const std::vector<uint8_t>& picture, int32_t width) {
    BlurredPicture reference;
    uint64_t error = UINT64_MAX;
    EXPECT_TRUE(blur_samples(picture.data(), width, reference) && nula_error(palette, dots, reference, error));
    return error;
}

// With two, four and eight colours, the colours come out the same each
// time, tarnvil's conversion gives each dot its logical colour back, and
// the screen comes closer to the picture than the machine's colours do.
TEST(Nula, ChoiceIsRepeatableCarriedByTarnvilAndCloser) {
    for (const int32_t mode : {0, 5, 2}) {
        const int32_t width = screen_width(screen_mode_for(mode));
        const size_t pixels = static_cast<size_t>(width) * kScreenLines;
        const std::vector<uint8_t> picture = photograph(width);
        std::vector<uint8_t> fixed = picture;
        ASSERT_TRUE(diffuse_to_palette(mode, default_palette(mode), false, fixed.data(), width));
        std::vector<uint8_t> samples[2] = {picture, picture};
        NulaPalette chosen[2];
        for (int run = 0; run < 2; ++run)
            ASSERT_TRUE(fit_nula(mode, false, samples[run].data(), width, default_palette(mode), fixed.data(), chosen[run]));
        char text[2][64];
        format_nula_palette(chosen[0], text[0]);
        format_nula_palette(chosen[1], text[1]);
        EXPECT_STREQ(text[0], text[1]) << mode;
        EXPECT_EQ(chosen[0].colours, screen_mode_for(mode).colours) << mode;
        EXPECT_TRUE(samples[0] == samples[1]) << mode;

        ConversionOptions options = kDefaultOptions;
        options.mode = mode;
        options.halftone = kHalftoneNone;
        std::vector<uint8_t> dump(kMaxScreenBytes);
        uint8_t colours[8][3] = {};
        nula_samples(chosen[0], colours);
        IndexedImage screen;
        ASSERT_TRUE(screen_of_samples(options, samples[0].data(), width, dump.data()) &&
                    render_dump_in(mode, dump.data(), true, colours, screen));
        std::vector<uint8_t> again(pixels * 3);
        samples_of_dots(mode, screen.indices.get(), pixels, again.data());
        EXPECT_TRUE(again == samples[0]) << mode << ": tarnvil's conversion changed some dots";

        std::vector<uint8_t> fixed_dots(pixels);
        dots_of_samples(mode, fixed.data(), pixels, fixed_dots.data());
        const uint64_t nula = error_of(chosen[0], screen.indices.get(), picture, width);
        const uint64_t machine = error_of(nula_of_palette(default_palette(mode)), fixed_dots.data(), picture, width);
        EXPECT_LT(nula, machine / 2) << mode;
    }
}

// Where the machine's colours show the picture exactly, nothing can come
// closer: the machine's palette and its very dots stay, though colours
// tried along the way tie with them.
TEST(Nula, MachinesColoursStandUntilSomethingComesCloser) {
    std::mt19937 random(11);
    for (const int32_t mode : {4, 5, 2}) {
        const int32_t width = screen_width(screen_mode_for(mode));
        const size_t pixels = static_cast<size_t>(width) * kScreenLines;
        const Palette machine = default_palette(mode);
        std::vector<uint8_t> exact(pixels);
        for (uint8_t& dot : exact) dot = static_cast<uint8_t>(random() % static_cast<uint32_t>(machine.colours));
        std::vector<uint8_t> picture(pixels * 3);
        samples_of_dots(mode, exact.data(), pixels, picture.data());
        const NulaPalette own = nula_of_palette(machine);
        NulaPalette chosen;
        std::vector<uint8_t> dots(pixels, 0xFF);
        ASSERT_TRUE(choose_nula_palette(machine.colours, false, picture.data(), width, own, exact.data(), chosen, dots.data()));
        EXPECT_EQ(chosen.colours, own.colours) << mode;
        EXPECT_EQ(memcmp(chosen.rgb, own.rgb, sizeof own.rgb), 0) << mode;
        EXPECT_TRUE(dots == exact) << mode;
        EXPECT_EQ(error_of(chosen, dots.data(), picture, width), 0u) << mode;
    }
}

}  // namespace
