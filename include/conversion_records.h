// The three records a conversion run owns and hands from step to step.
#pragma once

#include <cstdint>

// The digit after -h.
enum HalftoneType : int32_t {
    kHalftoneNone = 0,
    kHalftoneFine = 1,
    kHalftoneCoarse = 2,
    kHalftoneSpiral = 3,
    kHalftoneDiagonal = 4,
};

// Settings of one command-line argument; reset before every argument so
// nothing carries over from one file to the next.
struct ConversionOptions {
    int32_t mode;  // 0, 1, 2, 4 or 5
    HalftoneType halftone;
    bool stagger;
    bool aspect;
};

inline constexpr ConversionOptions kDefaultOptions{2, kHalftoneFine, false, false};

// The image being converted. The sample of column x, row y lives at index
// x * height + y of each plane (one image column is contiguous), and holds
// 0..255, or -1 where the file ended before that sample.
struct ImagePlanes {
    int32_t width;
    int32_t height;
    int32_t* red;
    int32_t* green;
    int32_t* blue;
};

// Ordered-dither offsets, indexed [screen x mod 16][screen y mod 16].
// All zero means no halftoning; otherwise the values lie in -115..114.
struct ThresholdMatrix {
    int32_t offset[16][16];
};
