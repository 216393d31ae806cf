#include "lib/fit/light.h"

#include "lib/colour.h"
#include "screen/halftone.h"

namespace {

struct LightTable {
    uint8_t sample[256];
};

// Worked out from tarnvil's own halftone and rule for a lit dot when
// compiling: over a flat area of sample s, a dot is lit where s plus the
// halftone's offset there passes 127, so s lights as many of the 256 dots
// as there are offsets that take it past. Of the shares some sample
// lights, the one nearest to v's light wins (the lower on a tie), and of
// the samples that light it, the one nearest to 255 times it (the lower
// on a tie). Halftones 1 to 4 order the same 256 offsets, so a flat area
// lights as many dots under each and one table serves them all; without a
// halftone a flat area is all lit or all dark.
constexpr LightTable make_light_table(HalftoneType halftone) {
    const ThresholdMatrix matrix = threshold_matrix(halftone);
    int32_t lit[256] = {};
    for (const auto& column : matrix.offset)
        for (const int32_t offset : column)
            for (int32_t s = 0; s < 256; ++s) lit[s] += is_lit(s, offset);
    // For each share a sample lights, the sample nearest to 255 times it:
    // |256 s - 255 k| is the distance in 256ths.
    int32_t best_for[257];
    for (int32_t& s : best_for) s = -1;
    auto distance = [](int32_t s, int32_t k) { return s * 256 > 255 * k ? s * 256 - 255 * k : 255 * k - s * 256; };
    for (int32_t s = 0; s < 256; ++s) {
        const int32_t k = lit[s];
        if (best_for[k] < 0 || distance(s, k) < distance(best_for[k], k)) best_for[k] = s;
    }
    LightTable table{};
    for (int32_t v = 0; v < 256; ++v) {
        // The light as a share of 256 dots, in units of 1 / (256 x 65535);
        // the shares on either side of it are the only ones that can win.
        const int64_t light = int64_t{linear_from_srgb8(static_cast<uint8_t>(v))} * 256;
        int32_t below = static_cast<int32_t>(light / 65535);
        int32_t above = below + (light % 65535 != 0);
        while (below >= 0 && best_for[below] < 0) --below;
        while (above <= 256 && best_for[above] < 0) ++above;
        auto miss = [&](int32_t k) { return k * int64_t{65535} > light ? k * int64_t{65535} - light : light - k * int64_t{65535}; };
        int32_t k = below;
        if (k < 0 || (above <= 256 && (miss(above) < miss(k) ||
                                        (miss(above) == miss(k) && distance(best_for[above], above) <
                                                                        distance(best_for[k], k)))))
            k = above;
        table.sample[v] = static_cast<uint8_t>(best_for[k]);
    }
    return table;
}

constexpr LightTable kWithoutHalftone = make_light_table(kHalftoneNone);
constexpr LightTable kWithHalftone = make_light_table(kHalftoneFine);

}  // namespace

uint8_t light_true_sample(HalftoneType halftone, uint8_t v) {
    return halftone == kHalftoneNone ? kWithoutHalftone.sample[v] : kWithHalftone.sample[v];
}

void make_light_true(HalftoneType halftone, uint8_t* samples, size_t count) {
    uint8_t table[256];
    for (int32_t v = 0; v < 256; ++v) table[v] = light_true_sample(halftone, static_cast<uint8_t>(v));
    for (size_t i = 0; i < count; ++i) samples[i] = table[samples[i]];
}
