// Ordered-dither threshold tables for the five halftone choices.
#pragma once

#include <cstdint>

#include "conversion_records.h"

// The halftones' names, by their digit.
inline constexpr const char* kHalftoneNames[] = {"none", "fine", "coarse", "spiral", "diagonal"};
static_assert(sizeof kHalftoneNames / sizeof kHalftoneNames[0] == kHalftoneDiagonal + 1);

// 16 x 16 ranks 0..255, indexed [x mod 16][y mod 16].
struct DitherOrder {
    int32_t rank[16][16];
};

namespace halftone_tables {

using BaseTable = int32_t[4][4];

// Base patterns [u][v] for fine, coarse, spiral and diagonal halftoning.
inline constexpr BaseTable kBaseTables[4] = {
    {{8, 7, 11, 4}, {2, 13, 1, 14}, {10, 5, 9, 6}, {0, 15, 3, 12}},
    {{9, 13, 0, 2}, {11, 15, 6, 4}, {1, 3, 8, 12}, {7, 5, 10, 14}},
    {{3, 4, 5, 6}, {2, 13, 14, 7}, {1, 12, 15, 8}, {0, 11, 10, 9}},
    {{0, 4, 8, 12}, {13, 1, 5, 9}, {10, 14, 2, 6}, {7, 11, 15, 3}},
};

// Each subdivision doubles the table: the top-left quarter keeps its rank,
// then the diagonal opposite, the quarter across in u and the quarter
// across in v follow with growing increments.
constexpr DitherOrder subdivide(const BaseTable& base) {
    DitherOrder order{};
    for (int u = 0; u < 4; ++u) {
        for (int v = 0; v < 4; ++v) {
            const int32_t b = 16 * base[u][v];
            order.rank[u][v] = b;
            order.rank[u + 4][v + 4] = b + 4;
            order.rank[u + 4][v] = b + 8;
            order.rank[u][v + 4] = b + 12;
        }
    }
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            const int32_t t = order.rank[u][v];
            order.rank[u + 8][v + 8] = t + 1;
            order.rank[u + 8][v] = t + 2;
            order.rank[u][v + 8] = t + 3;
        }
    }
    return order;
}

constexpr bool is_permutation_of_ranks(const DitherOrder& order) {
    bool seen[256] = {};
    for (const auto& column : order.rank) {
        for (const int32_t rank : column) {
            if (rank < 0 || rank > 255 || seen[rank]) return false;
            seen[rank] = true;
        }
    }
    return true;
}

inline constexpr DitherOrder kOrders[4] = {subdivide(kBaseTables[0]), subdivide(kBaseTables[1]),
                                    subdivide(kBaseTables[2]), subdivide(kBaseTables[3])};
static_assert(is_permutation_of_ranks(kOrders[0]) && is_permutation_of_ranks(kOrders[1]) &&
              is_permutation_of_ranks(kOrders[2]) && is_permutation_of_ranks(kOrders[3]));

}  // namespace halftone_tables

// The unscaled table of halftone 1..4: the 4 x 4 base pattern subdivided
// twice. Every rank 0..255 appears once.
constexpr DitherOrder dither_order(HalftoneType halftone) {
    if (halftone < kHalftoneFine || halftone > kHalftoneDiagonal) return DitherOrder{};
    return halftone_tables::kOrders[halftone - kHalftoneFine];
}

// The offset a rank adds to a sample: the ranks scaled into -115..114.
constexpr int32_t rank_offset(int32_t rank) { return (rank - 128) * 9 / 10; }

// A channel's dot is lit where its sample plus the offset there passes 127.
constexpr bool is_lit(int32_t sample, int32_t offset) { return sample + offset > 127; }

// The 256 offsets of `halftone` (0..4): zeros for none, otherwise the
// ranks' offsets.
constexpr ThresholdMatrix threshold_matrix(HalftoneType halftone) {
    ThresholdMatrix matrix{};
    if (halftone == kHalftoneNone) return matrix;
    const DitherOrder order = dither_order(halftone);
    for (int u = 0; u < 16; ++u)
        for (int v = 0; v < 16; ++v) matrix.offset[u][v] = rank_offset(order.rank[u][v]);
    return matrix;
}

// Overwrites all 256 offsets of `matrix` with threshold_matrix(halftone).
void build_threshold_matrix(HalftoneType halftone, ThresholdMatrix& matrix);
