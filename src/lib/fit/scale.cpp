#include "lib/fit/scale.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "lib/colour.h"
#include "lib/fit/decode.h"
#include "screen/modes.h"

namespace {

// The screen is 640 display dots across in every mode, and 512 down in
// the graphics modes (500 in MODE 7): a pixel of the grid covers 640 /
// width of them across and dots / lines down. Scaling works in dots, so
// the picture keeps its proportions on the machine.
constexpr int64_t kDotsAcross = 640;

// One direction of the scaling. A dot X of the screen shows the picture at
// (a X + b) / c pixels along this direction, so the PPM's cell t, dots
// [t cell, (t + 1) cell), covers picture pixels [(a t cell + b) / c,
// (a (t + 1) cell + b) / c): with integers only, each cell's share of each
// pixel is exact.
struct Axis {
    int32_t cells = 0;
    int64_t total = 0;  // a cell's whole area, in 1 / c pixel units
    std::unique_ptr<int32_t[]> first;  // per cell: the first pixel it covers
    std::unique_ptr<int32_t[]> count;  // and how many
    std::unique_ptr<int32_t[]> start;  // where its weights start in `weight`
    std::unique_ptr<int64_t[]> weight;
};

// The scale in dots per picture pixel along one direction, n / d: the same
// for both directions unless stretched.
struct Scale {
    int64_t n;
    int64_t d;
};

Scale uniform_scale(int64_t width, int64_t height, Fill fill, int64_t dots_down) {
    // 640 / width against 512 / height, compared without dividing.
    const bool across_is_larger = kDotsAcross * height > dots_down * width;
    const bool use_across = fill == Fill::kCrop ? across_is_larger : !across_is_larger;
    return use_across ? Scale{kDotsAcross, width} : Scale{dots_down, height};
}

bool build_axis(int64_t pixels, int64_t dots, int32_t cells, Scale scale, Axis& axis) {
    const int64_t a = 2 * scale.d;
    const int64_t b = pixels * scale.n - dots * scale.d;  // centres the picture
    const int64_t c = 2 * scale.n;
    const int64_t cell = dots / cells;
    axis.cells = cells;
    axis.total = a * cell;
    axis.first.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    axis.count.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    axis.start.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells)]);
    // Each pixel falls into at most two cells, or each cell onto at most
    // two pixels.
    const size_t room = 2 * (static_cast<size_t>(pixels) + static_cast<size_t>(cells)) + 2;
    axis.weight.reset(new (std::nothrow) int64_t[room]);
    if (!axis.first || !axis.count || !axis.start || !axis.weight) return false;
    size_t used = 0;
    for (int32_t t = 0; t < cells; ++t) {
        const int64_t from = a * t * cell + b;
        const int64_t to = from + axis.total;
        const int64_t first = std::max<int64_t>(0, from >= 0 ? from / c : -((-from + c - 1) / c));
        const int64_t end = std::min<int64_t>(pixels, to <= 0 ? 0 : (to + c - 1) / c);
        axis.first[t] = static_cast<int32_t>(std::min(first, pixels));
        axis.count[t] = static_cast<int32_t>(std::max<int64_t>(0, end - first));
        axis.start[t] = static_cast<int32_t>(used);
        for (int64_t k = first; k < end; ++k)
            axis.weight[used++] = std::min(to, (k + 1) * c) - std::max(from, k * c);
    }
    return true;
}

// Linear light of each 8-bit sample, looked up here rather than through a
// call per sample: this is the innermost loop of a large picture.
struct LinearTable {
    int32_t of[256];
};

LinearTable make_linear_table() {
    LinearTable table;
    for (int32_t v = 0; v < 256; ++v) table.of[v] = linear_from_srgb8(static_cast<uint8_t>(v));
    return table;
}

// Columns [from, to) of a row of the picture in linear light, over the
// background where it is transparent.
template <typename Sample, int kChannels>
void linear_row(const Sample* rgba, int32_t from, int32_t to, const LinearTable& table, const int32_t background[3],
                int32_t* out) {
    constexpr int32_t kOpaque = sizeof(Sample) == 1 ? 255 : 65535;
    rgba += static_cast<size_t>(from) * kChannels;
    out += static_cast<size_t>(from) * 3;
    // One or two channels are grey, and grey with alpha.
    constexpr int kColours = kChannels >= 3 ? 3 : 1;
    for (int32_t x = from; x < to; ++x, rgba += kChannels, out += 3) {
        int32_t lit[3];
        for (int c = 0; c < kColours; ++c)
            lit[c] = sizeof(Sample) == 1 ? table.of[rgba[c] & 0xff] : linear_from_srgb16(static_cast<uint16_t>(rgba[c]));
        if (kColours == 1) lit[1] = lit[2] = lit[0];
        const int64_t alpha = kChannels == 4 || kChannels == 2 ? rgba[kChannels - 1] : kOpaque;
        for (int c = 0; c < 3; ++c)
            out[c] = alpha == kOpaque ? lit[c]
                                      : static_cast<int32_t>((alpha * lit[c] + (kOpaque - alpha) * background[c] + kOpaque / 2) /
                                                             kOpaque);
    }
}

int32_t rounded_average(int64_t sum, int64_t total) { return static_cast<int32_t>((sum + total / 2) / total); }

template <typename Sample, int kChannels>
void linear_samples(const void* rgba, int32_t from, int32_t to, const LinearTable& table, const int32_t background[3],
                    int32_t* out) {
    linear_row<Sample, kChannels>(static_cast<const Sample*>(rgba), from, to, table, background, out);
}

}  // namespace

namespace {

// decode_reduction for `plan`'s grid: its pixels, or in MODE 7, where
// the grid's are far finer than what the screen shows, a quarter of a
// mosaic's block (4 dots across, about 3 down).
int32_t reduction_for(int32_t width, int32_t height, Fill fill, const ScreenPlan& plan) {
    const bool teletext = plan.mode == nullptr;
    const int64_t cell_across = teletext ? 4 : kDotsAcross / plan.width;
    const int64_t cell_down = teletext ? 3 : plan.dots_down / plan.lines;
    const Scale uniform = uniform_scale(width, height, fill, plan.dots_down);
    const bool stretch = fill == Fill::kStretch;
    const Scale across = stretch ? Scale{kDotsAcross, width} : uniform;
    const Scale down = stretch ? Scale{plan.dots_down, height} : uniform;
    // Picture pixels per cell: cell dots over dots per pixel.
    const int64_t most = std::min(cell_across * across.d / across.n, cell_down * down.d / down.n);
    int32_t reduce = 8;
    while (reduce > 1 && reduce > most) reduce /= 2;
    return reduce;
}

}  // namespace

int32_t decode_reduction(int32_t width, int32_t height, const FitSettings& settings) {
    return reduction_for(width, height, settings.fill, plan_for(settings));
}

namespace {

// The picture scaled to the screen as the decoder hands its rows over:
// only one row of the picture and the sums of the PPM's cells are held.
struct Scaler {
    const FitSettings* settings = nullptr;
    const ScreenPlan* plan = nullptr;
    Axis across;
    Axis down;
    LinearTable table;
    int32_t background[3] = {0, 0, 0};
    // Only the columns some cell covers: a cropped picture's sides are never read.
    int32_t from = 0;
    int32_t to = 0;
    // The next row of the picture, y, and the cells of the PPM's rows that
    // cover it, [low, high).
    int32_t y = 0;
    int32_t low = 0;
    int32_t high = 0;
    void (*linear)(const void*, int32_t, int32_t, const LinearTable&, const int32_t*, int32_t*) = nullptr;
    std::unique_ptr<int32_t[]> row;
    std::unique_ptr<int32_t[]> spread;
    std::unique_ptr<int64_t[]> sums;

    bool start(int32_t width, int32_t height, int32_t bits, int32_t channels) {
        const bool stretch = settings->fill == Fill::kStretch;
        const int64_t dots_down = plan->dots_down;
        const Scale uniform = uniform_scale(width, height, settings->fill, dots_down);
        const int32_t cells = plan->width;
        if (!build_axis(width, kDotsAcross, cells, stretch ? Scale{kDotsAcross, width} : uniform, across) ||
            !build_axis(height, dots_down, plan->lines, stretch ? Scale{dots_down, height} : uniform, down))
            return false;
        row.reset(new (std::nothrow) int32_t[static_cast<size_t>(width) * 3]);
        spread.reset(new (std::nothrow) int32_t[static_cast<size_t>(cells) * 3]);
        sums.reset(new (std::nothrow) int64_t[static_cast<size_t>(cells) * static_cast<size_t>(plan->lines) * 3]());
        if (!row || !spread || !sums) return false;
        table = make_linear_table();
        for (int c = 0; c < 3; ++c) background[c] = table.of[settings->background[c]];
        from = across.first[0];
        to = across.first[cells - 1] + across.count[cells - 1];
        using Linear = decltype(linear);
        const Linear narrow[4] = {linear_samples<uint8_t, 1>, linear_samples<uint8_t, 2>, linear_samples<uint8_t, 3>,
                                  linear_samples<uint8_t, 4>};
        const Linear wide[4] = {linear_samples<uint16_t, 1>, linear_samples<uint16_t, 2>, linear_samples<uint16_t, 3>,
                                linear_samples<uint16_t, 4>};
        if (channels < 1 || channels > 4) return false;
        linear = (bits == 16 ? wide : narrow)[channels - 1];
        return true;
    }

    void add_row(const void* samples) {
        const int32_t at = y++;
        while (low < down.cells && down.first[low] + down.count[low] <= at) ++low;
        while (high < down.cells && down.first[high] <= at) ++high;
        if (low >= high) return;
        const int32_t width = across.cells;
        linear(samples, from, to, table, background, row.get());
        for (int32_t t = 0; t < width; ++t) {
            int64_t sum[3] = {0, 0, 0};
            const int64_t* weight = across.weight.get() + across.start[t];
            const int32_t* in = row.get() + static_cast<size_t>(across.first[t]) * 3;
            for (int32_t k = 0; k < across.count[t]; ++k, in += 3)
                for (int c = 0; c < 3; ++c) sum[c] += weight[k] * in[c];
            for (int c = 0; c < 3; ++c) spread[static_cast<size_t>(t) * 3 + c] = rounded_average(sum[c], across.total);
        }
        for (int32_t r = low; r < high; ++r) {
            const int64_t weight = down.weight[static_cast<size_t>(down.start[r] + at - down.first[r])];
            int64_t* into = sums.get() + static_cast<size_t>(r) * width * 3;
            for (size_t i = 0; i < static_cast<size_t>(width) * 3; ++i) into[i] += weight * spread[i];
        }
    }

    // The mean light of each cell.
    bool finish(LightPicture& picture) {
        const size_t samples = static_cast<size_t>(across.cells) * static_cast<size_t>(down.cells) * 3;
        picture.width = across.cells;
        picture.lines = down.cells;
        picture.light.reset(new (std::nothrow) int32_t[samples]);
        if (!picture.light) return false;
        for (size_t i = 0; i < samples; ++i) picture.light[i] = rounded_average(sums[i], down.total);
        return true;
    }
};

PictureRows rows_into(Scaler& scaler) {
    PictureRows rows;
    rows.context = &scaler;
    rows.start = [](void* context, int32_t width, int32_t height, int32_t bits, int32_t channels, char* reason,
                    size_t capacity) {
        if (static_cast<Scaler*>(context)->start(width, height, bits, channels)) return true;
        snprintf(reason, capacity, "out of memory");
        return false;
    };
    rows.row = [](void* context, const void* samples) { static_cast<Scaler*>(context)->add_row(samples); };
    return rows;
}

}  // namespace

bool scale_picture(const uint8_t* bytes, size_t size, const FitSettings& settings, const ScreenPlan& plan,
                   LightPicture& picture, char* reason, size_t capacity) {
    int32_t width = 0;
    int32_t height = 0;
    if (!read_picture_size(bytes, size, width, height, reason, capacity)) return false;
    // The decoders check whatever they hold whole before they take it; the
    // rest comes a row at a time.
    Scaler scaler;
    scaler.settings = &settings;
    scaler.plan = &plan;
    if (!decode_picture(bytes, size, reduction_for(width, height, settings.fill, plan), rows_into(scaler), reason, capacity))
        return false;
    if (scaler.finish(picture)) return true;
    snprintf(reason, capacity, "out of memory");
    return false;
}
