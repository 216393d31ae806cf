// MODE 7 pages and VideoNuLA colours through the companion tools, in
// memory: the files each writes, the route through the separate commands
// against the one command, and what each refuses, word for word.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "lib/tarnvil.h"
#include "pictures.h"
#include "support.h"

using namespace testing_support;

namespace {

// A picture of colour and mid-tones: what teletext and a VideoNuLA show differently.
std::string picture() {
    std::mt19937 random(7);
    Samples samples{96, 72, 3, {}};
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 96; ++x)
            for (const int value : {x * 255 / 95, y * 255 / 71, static_cast<int>(random() & 63) + 96})
                samples.values.push_back(static_cast<uint32_t>(value));
    return png_file(samples, 8, 2);
}

std::string result(const ToolCall& call, const std::string& path) {
    for (const auto& [name, bytes] : call.results)
        if (name == path) return bytes;
    return "";
}

TEST(Colours, TeletextPagesAndNulaColoursTakeTheSameRouteAsTheOtherScreens) {
    const Files files = {{"pic.png", picture()}};
    // MODE 7: tarnvil-fit writes the page and its sidecar, which
    // tarnvil-view shows as it shows the picture itself.
    const ToolCall page = call_tool(Tool::kFit, {"-m", "7", "pic.png"}, files);
    ASSERT_EQ(page.status, 0) << page.err;
    EXPECT_EQ(page.out, "pic.bbc: a MODE 7 page, with its sidecar pic.bbc.inf\n  tarnvil-view -m 7 pic.bbc\n"
                        "  tarnvil-disc -m 7 -o pic.ssd pic.bbc\n");
    EXPECT_EQ(result(page, "pic.bbc").size(), 1000u);
    EXPECT_EQ(result(page, "pic.bbc.inf"), "$.SCREEN 007c00 000000\n");
    const ToolCall shown = call_tool(Tool::kView, {"-m", "7", "pic.bbc"}, {{"pic.bbc", result(page, "pic.bbc")}});
    const ToolCall direct = call_tool(Tool::kView, {"-m", "7", "pic.png"}, files);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(result(shown, "pic.bbc.png"), result(direct, "pic.bbc.png"));

    // --nula: tarnvil-fit's colours, carried by the commands it prints, show
    // tarnvil's dump as tarnvil-view shows the picture with --nula.
    const ToolCall fitted = call_tool(Tool::kFit, {"-m", "1", "--nula", "pic.png"}, files);
    ASSERT_EQ(fitted.status, 0) << fitted.err;
    const size_t at = fitted.out.find("--nula-palette ") + 15;
    const std::string colours = fitted.out.substr(at, fitted.out.find('\n', at) - at);
    EXPECT_EQ(colours.size(), 15u) << fitted.out;  // four twelve-bit colours
    const std::string ppm = result(fitted, "pic.ppm");
    ConvertedPicture converted;
    convert_picture("-h01pic.ppm", reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), no_messages(), converted);
    const std::string dump(reinterpret_cast<const char*>(converted.files.dump), 20480);
    const ToolCall route = call_tool(Tool::kView, {"-m", "1", "--nula-palette", colours, "pic.ppm.bbc"}, {{"pic.ppm.bbc", dump}});
    const ToolCall nula = call_tool(Tool::kView, {"-m", "1", "--nula", "pic.png"}, files);
    ASSERT_EQ(route.status, 0) << route.err;
    EXPECT_EQ(result(route, "pic.ppm.bbc.png"), result(nula, "pic.bbc.png"));
}

TEST(Colours, WhatMeansNothingIsRefused) {
    const Files files = {{"pic.png", picture()}, {"page.bbc", std::string(1000, ' ')}, {"big.bbc", std::string(20480, 0)}};
    const struct {
        Tool tool;
        std::vector<std::string> arguments;
        std::string err;
    } cases[] = {
        {Tool::kFit, {"-m", "7", "-p", "01", "pic.png"}, "tarnvil-fit: -p means nothing in MODE 7"},
        {Tool::kFit, {"--halftone", "3", "-m", "7", "pic.png"}, "tarnvil-fit: --halftone means nothing in MODE 7"},
        {Tool::kView, {"-m", "7", "--stagger", "page.bbc"}, "tarnvil-view: --stagger means nothing in MODE 7"},
        {Tool::kView, {"-a", "-m", "7", "pic.png"}, "tarnvil-view: -a means nothing in MODE 7"},
        {Tool::kDisc, {"-m", "7", "--tone", "plain", "pic.png"}, "tarnvil-disc: --tone means nothing in MODE 7"},
        {Tool::kDisc, {"-m", "7", "--dither", "diffuse", "pic.png"}, "tarnvil-disc: --dither means nothing in MODE 7"},
        {Tool::kDisc, {"-m", "7", "--nula-palette", "000,FFF", "page.bbc"},
         "tarnvil-disc: --nula-palette means nothing in MODE 7"},
        {Tool::kFit, {"-m", "2", "--nula-palette", "000,F00", "pic.png"},
         "tarnvil-fit: a MODE 2 NuLA palette is 8 colours, one for each logical colour, not 2"},
        {Tool::kFit, {"-m", "0", "--nula-palette", "000,G00", "pic.png"},
         "tarnvil-fit: 'G00' is not a NuLA colour: each is three hex digits, red, green and blue (000 black to FFF white)"},
        {Tool::kView, {"--nula", "big.bbc"},
         "tarnvil-view: big.bbc: --nula is for pictures; show a dump in the colours it was prepared for with --nula-palette"},
        {Tool::kView, {"-m", "1", "page.bbc"}, "tarnvil-view: page.bbc: 1000 bytes: a MODE 7 dump? Use -m 7"},
        {Tool::kView, {"-m", "7", "big.bbc"},
         "tarnvil-view: big.bbc: 20480 bytes: a MODE 0, 1 or 2 dump? Use -m 0, -m 1 or -m 2"},
    };
    for (const auto& c : cases) {
        const ToolCall call = call_tool(c.tool, c.arguments, files);
        EXPECT_NE(call.status, 0) << c.err;
        EXPECT_EQ(call.err.substr(0, c.err.size()), c.err);
        EXPECT_TRUE(call.results.empty()) << c.err;
    }
}

}  // namespace
