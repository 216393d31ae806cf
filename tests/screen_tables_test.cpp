#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "screen/halftone.h"
#include "screen/modes.h"

namespace {

// ---- Threshold matrix ----

std::vector<int32_t> column(const ThresholdMatrix& m, int u, int count) {
    return {m.offset[u], m.offset[u] + count};
}

TEST(ThresholdMatrix, KnownRowsOfEveryHalftone) {
    ThresholdMatrix m;
    build_threshold_matrix(kHalftoneFine, m);
    EXPECT_EQ(column(m, 0, 16), (std::vector<int32_t>{0, -14, 43, -57, 10, -3, 54, -46, 2, -11, 45, -54, 13, 0, 56, -44}));
    EXPECT_EQ(column(m, 1, 16),
              (std::vector<int32_t>{-86, 72, -100, 86, -75, 82, -90, 97, -83, 74, -98, 89, -72, 85, -87, 99}));
    build_threshold_matrix(kHalftoneCoarse, m);
    EXPECT_EQ(column(m, 0, 4), (std::vector<int32_t>{14, 72, -115, -86}));
    build_threshold_matrix(kHalftoneSpiral, m);
    EXPECT_EQ(column(m, 0, 4), (std::vector<int32_t>{-72, -57, -43, -28}));
    build_threshold_matrix(kHalftoneDiagonal, m);
    EXPECT_EQ(column(m, 0, 4), (std::vector<int32_t>{-115, -57, 0, 57}));
    EXPECT_EQ(column(m, 1, 4), (std::vector<int32_t>{72, -100, -43, 14}));
}

TEST(ThresholdMatrix, QuartersFollowTheSubdivisionOrder) {
    // Diagonal base B[0][0] = 0: ranks 0, 4, 8, 12 at the 8x8 quarters and
    // +1, +2, +3 at the 16x16 quarters of each.
    const DitherOrder order = dither_order(kHalftoneDiagonal);
    EXPECT_EQ(order.rank[0][0], 0);
    EXPECT_EQ(order.rank[4][4], 4);
    EXPECT_EQ(order.rank[4][0], 8);
    EXPECT_EQ(order.rank[0][4], 12);
    EXPECT_EQ(order.rank[8][8], 1);
    EXPECT_EQ(order.rank[8][0], 2);
    EXPECT_EQ(order.rank[0][8], 3);
    EXPECT_EQ(order.rank[12][12], 5);
    EXPECT_EQ(order.rank[15][15], 16 * 3 + 4 + 1);
}

TEST(ThresholdMatrix, EveryHalftoneScalesIntoRange) {
    for (HalftoneType h : {kHalftoneFine, kHalftoneCoarse, kHalftoneSpiral, kHalftoneDiagonal}) {
        ThresholdMatrix m;
        build_threshold_matrix(h, m);
        std::set<int32_t> values;
        for (const auto& col : m.offset) values.insert(std::begin(col), std::end(col));
        EXPECT_EQ(*values.begin(), -115) << "halftone " << h;
        EXPECT_EQ(*values.rbegin(), 114) << "halftone " << h;
        EXPECT_EQ(values.size(), 230u) << "halftone " << h;
        // Truncation toward zero: ranks 127, 128 and 129 all scale to 0.
        int zeros = 0;
        for (const auto& col : m.offset) zeros += static_cast<int>(std::count(std::begin(col), std::end(col), 0));
        EXPECT_EQ(zeros, 3) << "halftone " << h;
    }
}

TEST(ThresholdMatrix, RebuildLeavesNoTraceOfThePreviousHalftone) {
    for (HalftoneType first : {kHalftoneNone, kHalftoneFine, kHalftoneCoarse, kHalftoneSpiral, kHalftoneDiagonal}) {
        for (HalftoneType second : {kHalftoneNone, kHalftoneFine, kHalftoneCoarse, kHalftoneSpiral, kHalftoneDiagonal}) {
            ThresholdMatrix fresh;
            build_threshold_matrix(second, fresh);
            ThresholdMatrix reused;
            for (auto& col : reused.offset)
                for (auto& v : col) v = 12345;
            build_threshold_matrix(first, reused);
            build_threshold_matrix(second, reused);
            for (int u = 0; u < 16; ++u)
                for (int v = 0; v < 16; ++v)
                    ASSERT_EQ(reused.offset[u][v], fresh.offset[u][v]) << first << " then " << second;
        }
    }
    ThresholdMatrix none;
    build_threshold_matrix(kHalftoneNone, none);
    for (const auto& col : none.offset)
        for (int32_t v : col) EXPECT_EQ(v, 0);
}

// ---- Modes, palettes, colour matching, packing ----

TEST(NearestColour, AllTriplesInEveryMode) {
    // Rows: r g b, then the result in 2, 4 and 8 colours.
    const int table[8][6] = {{0, 0, 0, 0, 0, 0}, {1, 0, 0, 1, 1, 1}, {0, 1, 0, 1, 2, 2}, {1, 1, 0, 1, 2, 3},
                             {0, 0, 1, 1, 3, 4}, {1, 0, 1, 1, 3, 5}, {0, 1, 1, 1, 3, 6}, {1, 1, 1, 1, 3, 7}};
    for (const auto& row : table) {
        for (int32_t mode : {0, 4}) EXPECT_EQ(nearest_colour(mode, row[0], row[1], row[2]), row[3]);
        for (int32_t mode : {1, 5}) EXPECT_EQ(nearest_colour(mode, row[0], row[1], row[2]), row[4]);
        EXPECT_EQ(nearest_colour(2, row[0], row[1], row[2]), row[5]);
    }
}

TEST(PackByte, ExamplesAndExtremes) {
    const struct {
        int32_t mode;
        std::vector<int32_t> pixels;
        uint8_t byte;
    } cases[] = {
        {1, {3, 0, 1, 2}, 0x9A},
        {5, {3, 0, 1, 2}, 0x9A},
        {2, {5, 6}, 0x36},
        {0, {1, 0, 0, 0, 0, 0, 0, 1}, 0x81},
        {4, {1, 0, 0, 0, 0, 0, 0, 1}, 0x81},
        {0, {0, 0, 0, 0, 0, 0, 0, 0}, 0x00},
        {0, {1, 1, 1, 1, 1, 1, 1, 1}, 0xFF},
        {0, {0, 1, 0, 1, 0, 1, 0, 1}, 0x55},
        {1, {0, 0, 0, 0}, 0x00},
        {1, {3, 3, 3, 3}, 0xFF},
        {1, {1, 1, 1, 1}, 0x0F},
        {1, {2, 2, 2, 2}, 0xF0},
        {1, {1, 0, 0, 0}, 0x08},
        {1, {0, 0, 0, 2}, 0x10},
        {2, {0, 0}, 0x00},
        {2, {7, 7}, 0x3F},
        {2, {7, 0}, 0x2A},
        {2, {0, 7}, 0x15},
        {2, {1, 0}, 0x02},
        {2, {4, 0}, 0x20},
        {2, {0, 2}, 0x04},
    };
    for (const auto& c : cases) EXPECT_EQ(pack_byte(c.mode, c.pixels.data()), c.byte) << "mode " << c.mode;
}

TEST(UnpackByte, InvertsPackByteForEveryByteOfEveryMode) {
    for (int32_t mode : {0, 1, 2, 4, 5}) {
        const ScreenMode& m = screen_mode_for(mode);
        for (int byte = 0; byte < 256; ++byte) {
            if (mode == 2 && (byte & 0xC0)) continue;  // bits 7 and 6 carry no pixel
            int32_t pixels[8];
            unpack_byte(mode, static_cast<uint8_t>(byte), pixels);
            for (int32_t k = 0; k < m.pixels_per_byte; ++k) ASSERT_LT(pixels[k], m.colours);
            ASSERT_EQ(pack_byte(mode, pixels), byte) << "mode " << mode;
        }
    }
}

}  // namespace
