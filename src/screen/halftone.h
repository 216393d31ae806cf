// Ordered-dither threshold tables for the five halftone choices.
#pragma once

#include <cstdint>

#include "conversion_records.h"

// 16 x 16 ranks 0..255, indexed [x mod 16][y mod 16].
struct DitherOrder {
    int32_t rank[16][16];
};

// The unscaled table of halftone 1..4: the 4 x 4 base pattern subdivided
// twice. Every rank 0..255 appears once.
DitherOrder dither_order(HalftoneType halftone);

// Overwrites all 256 offsets of `matrix` for `halftone` (0..4): zeros for
// none, otherwise the ranks scaled into -115..114.
void build_threshold_matrix(HalftoneType halftone, ThresholdMatrix& matrix);
