// Pictures to teletext pages: each row's codes chosen by dynamic
// programming over what the chip keeps from cell to cell.
//
// The cost of a cell. A row's cells cannot be chosen against the blurred
// picture one at a time: the blur reaches into the neighbours, so the
// cost of a cell would depend on choices not yet made. What is additive
// over cells is the squared difference, pixel by pixel and unblurred,
// between the light the page shows and the picture's: every pixel of the
// preview belongs to one cell, and shows one of four levels a channel
// (nothing, the blend 145 or 199, full 240). Within a block of a mosaic
// the pixels fall into a few regions of one colour each: the whole block,
// or when separated its lit part, the blended column at its left and the
// gap. For a region of n pixels whose picture light sums to S (a channel)
// and whose squares sum to Q, shown at level L, the sum of squared
// differences is Q - 2LS + nL^2, so a cell's cost for every foreground,
// background, shape and mosaic comes from each region's sums and counts,
// exactly: it is the preview's own squared error against the picture over
// the cell, in units of 2^18 (rounded, so a row of 40 fits 31 bits). The
// blur then changes only what happens at block edges, a pixel either way.
//
// The states. Before each cell the chip holds the foreground (1-7), the
// background (0-7), whether mosaics are separated, whether hold is on, and
// the held mosaic with its shape. A row starts in letters: until the first
// graphics colour every cell is a control code shown as a space, white on
// black or (after New Background) on white. The held mosaic only matters
// while hold is on, or to a Hold Graphics in the very next cell; so the
// states are, for each foreground, background and shape:
// - hold on, with the held mosaic (64, none being the empty one);
// - hold off, the held mosaic forgotten (a space was shown since);
// - hold off after a mosaic or a release: the mosaic would show again at a
//   Hold Graphics next, which these states forbid. After a mosaic that
//   path has states of its own, the mosaic just placed with hold off;
//   after a release, Hold Graphics next shows what two Hold Graphics would,
//   and ends in the same state, so nothing is lost.
// Separated and contiguous are switched only with hold off: a held mosaic
// keeps its own shape, which would need both shapes in the states, and
// twice the work.
//
// Each cell's step is a handful of passes over vectors of the 64 held
// mosaics (the compiler's vector instructions do several at once): showing
// the held mosaic (Hold, a colour, Release), placing a mosaic (the least
// over the held ones, plus the new one's cost), New and Black Background.
// The way back is found by looking for a step whose costs add up.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "lib/teletext/cells.h"
#include "lib/teletext/teletext.h"

namespace {

constexpr int32_t kShift = 18;
constexpr int32_t kInfinity = 1 << 30;
constexpr int32_t kGroups = 7 * 8 * 2;
constexpr uint8_t kHold = 158, kRelease = 159, kBlack = 156, kNewBackground = 157;

constexpr int32_t group(int32_t foreground, int32_t background, int32_t separated) {
    return ((foreground - 1) * 8 + background) * 2 + separated;
}
// alpha: background black (0) or white (1), separated, hold.
constexpr int32_t alpha_state(int32_t white, int32_t separated, int32_t hold) { return white * 4 + separated * 2 + hold; }

// The best costs of the row so far in each state, after some cells.
struct Layer {
    int32_t held[kGroups][64];      // hold on, by the held mosaic
    int32_t held_off[kGroups][64];  // hold off, this mosaic just placed
    int32_t blank[kGroups];         // hold off, nothing held
    int32_t dead[kGroups];          // hold off, Hold next forbidden
    int32_t alpha[8];               // still in letters
};

void fill_layer(Layer& layer) {
    std::fill_n(&layer.held[0][0], kGroups * 64, kInfinity);
    std::fill_n(&layer.held_off[0][0], kGroups * 64, kInfinity);
    std::fill_n(layer.blank, kGroups, kInfinity);
    std::fill_n(layer.dead, kGroups, kInfinity);
    std::fill_n(layer.alpha, 8, kInfinity);
}

int32_t least(const int32_t* v, int32_t from = 0) {
    int32_t m = kInfinity;
    for (int32_t i = from; i < 64; ++i) m = std::min(m, v[i]);
    return m;
}

void lower_to(int32_t* to, const int32_t* from) {
    for (int32_t i = 0; i < 64; ++i) to[i] = std::min(to[i], from[i]);
}

void lower_to_sum(int32_t* to, const int32_t* a, const int32_t* b) {
    for (int32_t i = 0; i < 64; ++i) to[i] = std::min(to[i], a[i] + b[i]);
}

void lower_to_plus(int32_t* to, const int32_t* a, int32_t b) {
    for (int32_t i = 0; i < 64; ++i) to[i] = std::min(to[i], a[i] + b);
}

// The space's cost on `background`, and a solid cell of `colour`.
int32_t space_cost(const TeletextCellCosts& c, int32_t background) { return c.cost[6][background][0][0]; }
int32_t solid_cost(const TeletextCellCosts& c, int32_t colour) { return c.cost[colour - 1][colour][0][0]; }

void step(const Layer& cur, const TeletextCellCosts& c, Layer& next) {
    fill_layer(next);
    alignas(64) int32_t by_background[8][2][64];  // shown held, least over the foreground
    alignas(64) int32_t by_foreground[8][2][64];  // held, least over the background
    alignas(64) int32_t shown[64];
    std::fill_n(&by_background[0][0][0], 8 * 2 * 64, kInfinity);
    std::fill_n(&by_foreground[0][0][0], 8 * 2 * 64, kInfinity);
    int32_t space_by_background[8][2];
    std::fill_n(&space_by_background[0][0], 16, kInfinity);
    for (int32_t f = 1; f < 8; ++f) {
        for (int32_t b = 0; b < 8; ++b) {
            for (int32_t s = 0; s < 2; ++s) {
                const int32_t g = group(f, b, s);
                const int32_t* v = cur.held[g];
                const int32_t* cost = c.cost[f - 1][b][s];
                // Hold on: a control code shows the held mosaic.
                for (int32_t i = 0; i < 64; ++i) shown[i] = v[i] + cost[i];
                lower_to(next.held[g], shown);                   // Hold again
                lower_to(by_background[b][s], shown);            // a colour
                next.dead[g] = std::min(next.dead[g], least(shown));  // Release
                lower_to_plus(next.held[g], cost, least(v));     // a mosaic
                lower_to(by_foreground[f][s], v);                // New or Black Background
                // Hold placed right after a mosaic with hold off.
                lower_to_sum(next.held[g], cur.held_off[g], cost);

                // Hold off: control codes show a space.
                const int32_t off = std::min(cur.blank[g], cur.dead[g]);
                const int32_t space = off + space_cost(c, b);
                for (int32_t i = 0; i < 64; ++i) next.held_off[g][i] = off + cost[i];  // a mosaic
                next.dead[g] = std::min(next.dead[g], least(next.held_off[g], 1));
                next.blank[g] = std::min(next.blank[g], next.held_off[g][0]);
                space_by_background[b][s] = std::min(space_by_background[b][s], space);  // a colour
                next.blank[group(f, b, 0)] = std::min(next.blank[group(f, b, 0)], space);  // contiguous
                next.blank[group(f, b, 1)] = std::min(next.blank[group(f, b, 1)], space);  // separated
                next.blank[group(f, 0, s)] = std::min(next.blank[group(f, 0, s)], off + space_cost(c, 0));
                next.blank[group(f, f, s)] = std::min(next.blank[group(f, f, s)], off + solid_cost(c, f));
                next.blank[g] = std::min(next.blank[g], space);  // Release
                next.held[g][0] = std::min(next.held[g][0], cur.blank[g] + space_cost(c, b));  // Hold
            }
        }
    }
    for (int32_t f = 1; f < 8; ++f) {
        for (int32_t s = 0; s < 2; ++s) {
            for (int32_t b = 0; b < 8; ++b) {
                lower_to(next.held[group(f, b, s)], by_background[b][s]);
                next.blank[group(f, b, s)] = std::min(next.blank[group(f, b, s)], space_by_background[b][s]);
            }
            lower_to_sum(next.held[group(f, 0, s)], by_foreground[f][s], c.cost[f - 1][0][s]);
            lower_to_plus(next.held[group(f, f, s)], by_foreground[f][s], solid_cost(c, f));
        }
    }
    // Letters: every code shows a space, white on black or on white.
    for (int32_t white = 0; white < 2; ++white) {
        const int32_t b = white * 7;
        for (int32_t s = 0; s < 2; ++s) {
            for (int32_t h = 0; h < 2; ++h) {
                const int32_t a = cur.alpha[alpha_state(white, s, h)];
                const int32_t space = a + space_cost(c, b);
                for (int32_t f = 1; f < 8; ++f) {
                    if (h)
                        next.held[group(f, b, s)][0] = std::min(next.held[group(f, b, s)][0], space);
                    else
                        next.blank[group(f, b, s)] = std::min(next.blank[group(f, b, s)], space);
                }
                if (!h)
                    for (int32_t t = 0; t < 2; ++t) next.alpha[alpha_state(white, t, 0)] = std::min(next.alpha[alpha_state(white, t, 0)], space);
                next.alpha[alpha_state(0, s, h)] = std::min(next.alpha[alpha_state(0, s, h)], a + space_cost(c, 0));
                next.alpha[alpha_state(1, s, h)] = std::min(next.alpha[alpha_state(1, s, h)], a + space_cost(c, 7));
                for (int32_t t = 0; t < 2; ++t) next.alpha[alpha_state(white, s, t)] = std::min(next.alpha[alpha_state(white, s, t)], space);
            }
        }
    }
}

// A state after some cells.
struct State {
    enum Kind { kHeld, kHeldOff, kBlank, kDead, kAlpha } kind = kAlpha;
    int32_t f = 7, b = 0, s = 0, held = 0;  // for kAlpha: b 0 or 7, held is hold
};

int32_t value_of(const Layer& layer, const State& t) {
    const int32_t g = t.kind == State::kAlpha ? 0 : group(t.f, t.b, t.s);
    switch (t.kind) {
        case State::kHeld: return layer.held[g][t.held];
        case State::kHeldOff: return layer.held_off[g][t.held];
        case State::kBlank: return layer.blank[g];
        case State::kDead: return layer.dead[g];
        default: return layer.alpha[alpha_state(t.b ? 1 : 0, t.s, t.held)];
    }
}

constexpr uint8_t colour_code(int32_t f) { return static_cast<uint8_t>(144 + f); }
constexpr uint8_t shape_code(int32_t s) { return static_cast<uint8_t>(s ? 154 : 153); }

// The state before the cell and the cell's code that lead to `t` (worth
// `value`) after it. The steps are tried in a fixed order, so every
// machine takes the same way back.
bool find_way_back(const Layer& cur, const TeletextCellCosts& c, const State& t, int32_t value, State& from,
                   uint8_t& code) {
    auto found = [&](const State& source, int32_t cost, uint8_t with) {
        if (value_of(cur, source) + cost != value) return false;
        from = source;
        code = with;
        return true;
    };
    // The hold-off states a step can start from, nothing held first.
    auto off = [&](int32_t f, int32_t b, int32_t s, int32_t cost, uint8_t with) {
        return found({State::kBlank, f, b, s, 0}, cost, with) || found({State::kDead, f, b, s, 0}, cost, with);
    };
    const int32_t f = t.f, b = t.b, s = t.s;
    switch (t.kind) {
        case State::kHeld: {
            const int32_t* cost = c.cost[f - 1][b][s];
            const int32_t p = t.held;
            if (found({State::kHeld, f, b, s, p}, cost[p], kHold) || found({State::kHeldOff, f, b, s, p}, cost[p], kHold))
                return true;
            if (p == 0 && found({State::kBlank, f, b, s, 0}, space_cost(c, b), kHold)) return true;
            for (int32_t q = 0; q < 64; ++q)
                if (found({State::kHeld, f, b, s, q}, cost[p], mosaic_code(p))) return true;
            for (int32_t e = 1; e < 8; ++e)
                if (found({State::kHeld, e, b, s, p}, c.cost[e - 1][b][s][p], colour_code(f))) return true;
            for (int32_t a = 0; a < 8; ++a) {
                if (b == 0 && found({State::kHeld, f, a, s, p}, cost[p], kBlack)) return true;
                if (b == f && found({State::kHeld, f, a, s, p}, solid_cost(c, f), kNewBackground)) return true;
            }
            return p == 0 && (b == 0 || b == 7) && found({State::kAlpha, 7, b, s, 1}, space_cost(c, b), colour_code(f));
        }
        case State::kHeldOff:
            return off(f, b, s, c.cost[f - 1][b][s][t.held], mosaic_code(t.held));
        case State::kBlank: {
            const int32_t space = space_cost(c, b);
            if (off(f, b, s, c.cost[f - 1][b][s][0], mosaic_code(0))) return true;
            for (int32_t e = 1; e < 8; ++e)
                if (off(e, b, s, space, colour_code(f))) return true;
            if (off(f, b, 0, space, shape_code(s)) || off(f, b, 1, space, shape_code(s))) return true;
            for (int32_t a = 0; a < 8; ++a) {
                if (b == 0 && off(f, a, s, space, kBlack)) return true;
                if (b == f && off(f, a, s, solid_cost(c, f), kNewBackground)) return true;
            }
            if (off(f, b, s, space, kRelease)) return true;
            return (b == 0 || b == 7) && found({State::kAlpha, 7, b, s, 0}, space, colour_code(f));
        }
        case State::kDead: {
            const int32_t* cost = c.cost[f - 1][b][s];
            for (int32_t q = 1; q < 64; ++q)
                if (off(f, b, s, cost[q], mosaic_code(q))) return true;
            for (int32_t p = 0; p < 64; ++p)
                if (found({State::kHeld, f, b, s, p}, cost[p], kRelease)) return true;
            return false;
        }
        default: {
            const int32_t space = space_cost(c, b);
            const int32_t h = t.held;
            if (h == 0 && (found({State::kAlpha, 7, b, 0, 0}, space, shape_code(s)) ||
                           found({State::kAlpha, 7, b, 1, 0}, space, shape_code(s))))
                return true;
            for (int32_t a = 0; a < 2; ++a) {
                if (b == 0 && found({State::kAlpha, 7, 7 * a, s, h}, space_cost(c, 0), kBlack)) return true;
                if (b == 7 && found({State::kAlpha, 7, 7 * a, s, h}, space_cost(c, 7), kNewBackground)) return true;
            }
            return found({State::kAlpha, 7, b, s, 0}, space, h ? kHold : kRelease) ||
                   found({State::kAlpha, 7, b, s, 1}, space, h ? kHold : kRelease);
        }
    }
}

// The state with the least cost after the row.
State best_final(const Layer& layer, int32_t& value) {
    State best;
    value = kInfinity;
    auto consider = [&](const State& t) {
        const int32_t v = value_of(layer, t);
        if (v < value) value = v, best = t;
    };
    for (int32_t white = 0; white < 2; ++white)
        for (int32_t s = 0; s < 2; ++s)
            for (int32_t h = 0; h < 2; ++h) consider({State::kAlpha, 7, 7 * white, s, h});
    for (int32_t f = 1; f < 8; ++f)
        for (int32_t b = 0; b < 8; ++b)
            for (int32_t s = 0; s < 2; ++s) {
                consider({State::kBlank, f, b, s, 0});
                consider({State::kDead, f, b, s, 0});
                for (int32_t p = 0; p < 64; ++p) consider({State::kHeld, f, b, s, p});
            }
    return best;
}

bool best_row(const TeletextCellCosts* costs, int32_t count, Layer* layers, uint8_t* codes, int64_t& total) {
    fill_layer(layers[0]);
    layers[0].alpha[alpha_state(0, 0, 0)] = 0;
    for (int32_t x = 0; x < count; ++x) step(layers[x], costs[x], layers[x + 1]);
    int32_t value = 0;
    State t = best_final(layers[count], value);
    total = value;
    for (int32_t x = count - 1; x >= 0; --x) {
        State from;
        if (!find_way_back(layers[x], costs[x], t, value, from, codes[x])) return false;
        value = value_of(layers[x], from);
        t = from;
    }
    return true;
}

// The picture's sums over the regions of one block, a channel each.
struct BlockSums {
    int64_t all[3] = {}, core[3] = {}, blend[3] = {};
};

constexpr int32_t kBlockTop[3] = {0, 6, 14};
constexpr int32_t kBlockHeight[3] = {6, 8, 6};

int64_t region_cost(int64_t pixels, int64_t sum, int64_t level) { return pixels * level * level - 2 * level * sum; }

}  // namespace

void teletext_cell_costs(const uint16_t* light, int32_t stride, TeletextCellCosts& costs) {
    // The light of each channel as full, and of the separated blocks'
    // blended column, by whether the foreground and background have it.
    const int64_t full = linear_from_srgb8(teletext_sample(true, true, 1));
    int64_t blend_levels[4];
    for (int32_t fb = 0; fb < 4; ++fb) blend_levels[fb] = linear_from_srgb8(teletext_sample(fb >> 1, fb & 1, 1));
    BlockSums sums[6];
    int64_t squares = 0;
    for (int32_t y = 0; y < 20; ++y) {
        const int32_t pair = y < 6 ? 0 : y < 14 ? 1 : 2;
        const bool gap_line = y - kBlockTop[pair] >= kBlockHeight[pair] - 2;
        const uint16_t* line = light + static_cast<ptrdiff_t>(y) * stride;
        for (int32_t x = 0; x < 16; ++x) {
            BlockSums& block = sums[2 * pair + x / 8];
            const int32_t column = x % 8;
            for (int32_t ch = 0; ch < 3; ++ch) {
                const int64_t v = line[3 * x + ch];
                squares += v * v;
                block.all[ch] += v;
                if (!gap_line && column >= 3) block.core[ch] += v;
                if (!gap_line && column == 2) block.blend[ch] += v;
            }
        }
    }
    // Each block's cost lit in every colour, whole and separated.
    int64_t whole[6][8];
    int64_t separated[6][8][8];
    for (int32_t k = 0; k < 6; ++k) {
        const int64_t height = kBlockHeight[k >> 1];
        const int64_t n_all = 8 * height, n_core = 5 * (height - 2), n_blend = height - 2;
        int64_t all[3], core[3], gap[3], blend[3][4];
        for (int32_t ch = 0; ch < 3; ++ch) {
            const BlockSums& s = sums[k];
            all[ch] = region_cost(n_all, s.all[ch], full);
            core[ch] = region_cost(n_core, s.core[ch], full);
            gap[ch] = region_cost(n_all - n_core - n_blend, s.all[ch] - s.core[ch] - s.blend[ch], full);
            for (int32_t lit = 0; lit < 4; ++lit) blend[ch][lit] = region_cost(n_blend, s.blend[ch], blend_levels[lit]);
        }
        for (int32_t f = 0; f < 8; ++f) {
            whole[k][f] = 0;
            for (int32_t ch = 0; ch < 3; ++ch) whole[k][f] += (f >> ch & 1) ? all[ch] : 0;
            for (int32_t b = 0; b < 8; ++b) {
                int64_t sum = 0;
                for (int32_t ch = 0; ch < 3; ++ch) {
                    const int32_t fg = f >> ch & 1, bg = b >> ch & 1;
                    sum += (fg ? core[ch] : 0) + (bg ? gap[ch] : 0) + blend[ch][fg * 2 + bg];
                }
                separated[k][f][b] = sum;
            }
        }
    }
    const int64_t half = int64_t{1} << (kShift - 1);
    for (int32_t f = 1; f < 8; ++f) {
        for (int32_t b = 0; b < 8; ++b) {
            for (int32_t s = 0; s < 2; ++s) {
                // Three blocks at a time: the cost of every mosaic is the sum
                // of its top-and-middle-left half and the rest.
                int64_t low[8], high[8];
                for (int32_t m = 0; m < 8; ++m) {
                    low[m] = squares + half;
                    high[m] = 0;
                    for (int32_t j = 0; j < 3; ++j) {
                        const int32_t k = j + 3;
                        low[m] += (m >> j & 1) ? (s ? separated[j][f][b] : whole[j][f]) : whole[j][b];
                        high[m] += (m >> j & 1) ? (s ? separated[k][f][b] : whole[k][f]) : whole[k][b];
                    }
                }
                int32_t* out = costs.cost[f - 1][b][s];
                for (int32_t p = 0; p < 64; ++p) out[p] = static_cast<int32_t>((low[p & 7] + high[p >> 3]) >> kShift);
            }
        }
    }
}

int32_t teletext_shown_cost(const TeletextCell& cell, const TeletextCellCosts& costs) {
    if (cell.kind != TeletextCell::kMosaic) return space_cost(costs, cell.background);
    return costs.cost[cell.foreground - 1][cell.background][cell.separated][cell.blocks];
}

bool teletext_best_row(const TeletextCellCosts* costs, int32_t count, uint8_t* codes, int64_t& total) {
    const std::unique_ptr<Layer[]> layers(new (std::nothrow) Layer[static_cast<size_t>(count) + 1]);
    return layers && best_row(costs, count, layers.get(), codes, total);
}

bool teletext_page_from_light(const uint16_t* light, uint8_t* page) {
    const std::unique_ptr<Layer[]> layers(new (std::nothrow) Layer[kTeletextColumns + 1]);
    const std::unique_ptr<TeletextCellCosts[]> costs(new (std::nothrow) TeletextCellCosts[kTeletextColumns]);
    if (!layers || !costs) return false;
    constexpr int32_t stride = kTeletextWidth * 3;
    for (int32_t row = 0; row < kTeletextRows; ++row) {
        for (int32_t x = 0; x < kTeletextColumns; ++x)
            teletext_cell_costs(light + static_cast<ptrdiff_t>(row * kTeletextCellHeight) * stride + x * kTeletextCellWidth * 3,
                                stride, costs[x]);
        int64_t total = 0;
        if (!best_row(costs.get(), kTeletextColumns, layers.get(), page + row * kTeletextColumns, total)) return false;
    }
    return true;
}
