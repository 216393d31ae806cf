// How close MODE 7 pages come to pictures by the mode's measure
// (teletext_block_error: the blocks' light, blurred 3 x 3 over the blocks),
// for three ways of making the page:
//   (a) white mosaics on black, each block lit where the picture there is
//       brighter than sample 128 (its mean light over the block and the
//       three channels above that sample's light);
//   (b) one graphics colour a row, on black: the colour code, then each
//       cell's mosaic the cheapest in that colour by the converter's own
//       costs, so with the same diffusion of error; the row's colour the
//       one whose mosaics cost least;
//   (c) the converter (teletext_page_from_light).
// Each picture is scaled in light to the page's 640 x 500 pixels. Prints
// a Markdown table; exit status 0 when (c) is at most half of (a) on the
// median picture and below (b) on every picture, 1 when not, 2 usage, 3 a
// picture could not be read.
//
//   teletext_quality [--previews DIR] PICTURE...
//
// --previews writes the three pages of each picture as DIR/NAME-a.png and
// so on, as render_teletext draws them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lib/colour.h"
#include "lib/fit/decode.h"
#include "lib/render/png.h"
#include "lib/render/render.h"
#include "lib/teletext/cells.h"
#include "lib/teletext/teletext.h"

namespace {

constexpr size_t kPixels = static_cast<size_t>(kTeletextWidth) * kTeletextHeight;

// A picture's 8-bit RGB or RGBA rows, as RGBA.
struct Collected {
    int32_t width = 0, height = 0, channels = 0, rows = 0;
    std::vector<uint8_t> rgba;
};

bool collect_start(void* context, int32_t width, int32_t height, int32_t bits, int32_t channels, char* reason,
                   size_t capacity) {
    Collected& c = *static_cast<Collected*>(context);
    if (bits != 8 || channels < 3) {
        snprintf(reason, capacity, "only 8-bit colour pictures are measured here");
        return false;
    }
    c.width = width, c.height = height, c.channels = channels;
    c.rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 255);
    return true;
}

void collect_row(void* context, const void* samples) {
    Collected& c = *static_cast<Collected*>(context);
    const uint8_t* in = static_cast<const uint8_t*>(samples);
    uint8_t* out = c.rgba.data() + static_cast<size_t>(c.rows++) * static_cast<size_t>(c.width) * 4;
    for (int32_t x = 0; x < c.width; ++x) memcpy(out + 4 * x, in + static_cast<size_t>(x) * static_cast<size_t>(c.channels), 3);
}

// The picture's light at the page's size.
bool read_light(const char* path, std::vector<uint16_t>& light) {
    FILE* file = fopen(path, "rb");
    std::vector<uint8_t> bytes;
    if (file) {
        uint8_t buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
        fclose(file);
    }
    Collected collected;
    char reason[256] = "cannot be read";
    if (!file || !decode_picture(bytes.data(), bytes.size(), 1, {&collected, collect_start, collect_row}, reason, sizeof reason)) {
        fprintf(stderr, "teletext_quality: %s: %s\n", path, reason);
        return false;
    }
    std::vector<uint8_t> scaled(kPixels * 4);
    if (!scale_in_light(collected.rgba.data(), collected.width, collected.height, scaled.data(), kTeletextWidth, kTeletextHeight))
        return false;
    light.resize(kPixels * 3);
    for (size_t i = 0; i < kPixels; ++i)
        for (size_t c = 0; c < 3; ++c) light[3 * i + c] = linear_from_srgb8(scaled[4 * i + c]);
    return true;
}

// Each block lit where the picture is brighter than sample 128, white
// on black.
void threshold_page(const std::vector<uint16_t>& light, uint8_t* page) {
    static const int32_t threshold = linear_from_srgb8(128);
    std::vector<int32_t> blocks(kTeletextBlockSamples);
    teletext_block_light(light.data(), blocks.data());
    for (int32_t row = 0; row < kTeletextRows; ++row) {
        page[row * kTeletextColumns] = 151;
        for (int32_t column = 1; column < kTeletextColumns; ++column) {
            int32_t lit = 0;
            for (int32_t k = 0; k < 6; ++k) {
                const int32_t* at = &blocks[(static_cast<size_t>(3 * row + (k >> 1)) * kTeletextBlockColumns +
                                            static_cast<size_t>(2 * column + (k & 1))) * 3];
                if (at[0] + at[1] + at[2] > 3 * threshold) lit |= 1 << k;
            }
            page[row * kTeletextColumns + column] = mosaic_code(lit);
        }
    }
}

// A colour code and 39 mosaics in that colour on black: the row's colour
// the one whose cheapest mosaics cost least, each cell's mosaic the
// cheapest in it. The costs are the converter's, so the rows get the
// same diffusion of error in their one colour.
bool one_colour_row(void*, const TeletextCellCosts* costs, uint8_t* codes) {
    int64_t best = INT64_MAX;
    for (int32_t colour = 1; colour < 8; ++colour) {
        uint8_t row[kTeletextColumns];
        row[0] = static_cast<uint8_t>(144 + colour);
        int64_t total = costs[0].cost[colour - 1][0][0][0];
        for (int32_t x = 1; x < kTeletextColumns; ++x) {
            const int32_t* cost = costs[x].cost[colour - 1][0][0];
            const int32_t blocks = static_cast<int32_t>(std::min_element(cost, cost + 64) - cost);
            row[x] = mosaic_code(blocks);
            total += cost[blocks];
        }
        if (total < best) best = total, memcpy(codes, row, sizeof row);
    }
    return true;
}

// The root of the mean squared difference per sample, in percent of full
// light: the blur's sums are of nine samples.
double rms_percent(uint64_t error) { return std::sqrt(double(error) / (81.0 * kTeletextBlockSamples)) / 65535.0 * 100.0; }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool write_preview(const char* directory, const char* name, char route, const uint8_t* page) {
    char path[1024];
    IndexedImage image;
    PngBytes png;
    if (snprintf(path, sizeof path, "%s/%s-%c.png", directory, name, route) >= int{sizeof path} ||
        !render_teletext(page, image) || !encode_png(image, png))
        return false;
    FILE* file = fopen(path, "wb");
    const bool written = file && fwrite(png.data.get(), 1, png.size, file) == png.size;
    return file && fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    const char* previews = nullptr;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "--previews") == 0) previews = argv[2], first = 3;
    if (first >= argc) {
        fputs("usage: teletext_quality [--previews DIR] PICTURE...\n", stderr);
        return 2;
    }
    printf("| picture | (a) white, threshold | (b) a colour a row | (c) converter | (c) / (a) | (c) / (b) |\n");
    printf("|---|---:|---:|---:|---:|---:|\n");
    std::vector<double> over_white;
    bool below_rows = true;
    for (int i = first; i < argc; ++i) {
        std::vector<uint16_t> light;
        BlurredPicture picture;
        if (!read_light(argv[i], light) || !blur_teletext_blocks(light.data(), picture)) return 3;
        uint8_t white[kTeletextPageBytes], rows[kTeletextPageBytes], converted[kTeletextPageBytes];
        threshold_page(light, white);
        uint64_t error[3];
        if (!teletext_page_by_rows(light.data(), {nullptr, one_colour_row}, rows) ||
            !teletext_page_from_light(light.data(), converted) || !teletext_block_error(white, picture, error[0]) ||
            !teletext_block_error(rows, picture, error[1]) || !teletext_block_error(converted, picture, error[2]))
            return 3;
        const char* name = strrchr(argv[i], '/') ? strrchr(argv[i], '/') + 1 : argv[i];
        if (previews && !(write_preview(previews, name, 'a', white) && write_preview(previews, name, 'b', rows) &&
                          write_preview(previews, name, 'c', converted))) {
            fprintf(stderr, "teletext_quality: %s: the previews could not be written into %s\n", name, previews);
            return 3;
        }
        const double ratio_white = double(error[2]) / double(error[0]), ratio_rows = double(error[2]) / double(error[1]);
        printf("| %s | %.2f | %.2f | %.2f | %.3f | %.3f |\n", name, rms_percent(error[0]), rms_percent(error[1]),
               rms_percent(error[2]), ratio_white, ratio_rows);
        over_white.push_back(ratio_white);
        below_rows = below_rows && error[2] < error[1];
    }
    const double middle = median(over_white);
    printf("\nRMS difference of the blurred page from the blurred picture, in percent of full light; ratios of the\n"
           "squared differences. Median (c) / (a): %.3f (target at most 0.5); (c) below (b) on every picture: %s.\n",
           middle, below_rows ? "yes" : "no");
    return middle <= 0.5 && below_rows ? 0 : 1;
}
