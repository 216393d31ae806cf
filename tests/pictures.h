// Writers of small test pictures in the formats tarnvil-fit reads, with
// every layout the decoders must handle: independent of tarnvil's code, and
// plain enough to check by eye (deflate and LZW store their data
// uncompressed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Samples of a picture, `channels` per pixel, row by row from the top.
struct Samples {
    int width;
    int height;
    int channels;  // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA; or 1 palette index
    std::vector<uint32_t> values;
};

// `depth` bits per sample (1, 2, 4, 8 or 16), colour type 0 grey, 2 RGB, 3
// palette, 4 grey and alpha or 6 RGBA; Adam7 when interlaced; PLTE and
// tRNS chunks with the bytes given, where not empty.
std::string png_file(const Samples& samples, int depth, int colour_type, bool interlaced = false,
                     const std::string& palette = "", const std::string& transparency = "");

// A GIF of palette indices (one channel) with a 256-colour palette of RGB
// bytes and, if `transparent` >= 0, that index transparent.
std::string gif_file(const Samples& indices, const std::string& palette, int transparent = -1);

// P1 .. P6 and P7 (PAM, with `tuple_type`) with the given maximum value.
std::string netpbm_file(char type, const Samples& samples, uint32_t maxval, const std::string& tuple_type = "");

// A JPEG's bytes with an EXIF block carrying `orientation` put in after
// its start marker, in big- or little-endian TIFF order.
std::string with_orientation(const std::string& jpeg, int orientation, bool big_endian);

}  // namespace testing_support
