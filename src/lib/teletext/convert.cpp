// Pictures to teletext pages: row by row from the top, each row's codes
// chosen by dynamic programming over what the chip keeps from cell to
// cell, against costs that carry what the rows above got wrong.
//
// The cost of a cell. The measure (teletext.h) blurs the blocks' light
// 3 x 3 and sums the squared differences. The windows of the blur that
// reach a cell's six blocks are those centred from the block row above
// the cell's to the one below it, and from the block column left of it to
// the one right of it: twenty, fewer at the page's edges. A way of showing
// the cell costs the squared sums of the errors (shown less picture) in
// those windows, its own blocks' errors as it shows them and every other
// block's as far as it is known: the rows above as chosen, the cells
// either side as guessed (below), the rows below as nothing (shown as
// the picture), the page's edges repeated as the blur repeats them (an
// edge cell sees its own blocks beyond the edge as guessed). So a
// mid-tone costs least as a pattern of lit and unlit blocks (and of
// colours) whose windows come to it, and what the rows above got wrong is
// made good where the windows reach: error diffusion, by the measure's
// own windows. A window over two cells is counted in both, each taking the
// other as guessed, so the costs add up over a row, and the row's choice
// is exact for them.
//
// The guesses. Before a row's codes are chosen, each cell in turn, left to
// right, takes its cheapest way as though no code took a cell, seeing the
// guess just made on its left and the last one on its right; twice over,
// the first time with nothing on the right. The row's costs are then
// taken against these guesses. (Choosing the row's codes twice, the
// second time against the first choice, does worse than the guesses and
// takes longer: bench/RESULTS.md.)
//
// A channel's light in a block depends only on whether the foreground and
// the background have that channel, the shape, the block's row and
// whether it is lit (TeletextBlockLevels); so the costs are worked out a
// channel at a time, for each pair of those and each shape, in units of
// 2^kTeletextCostShift, rounded, so that a row of 40 fits 31 bits; the
// cost of each of a cell's 112 colours and shapes is the sum of three.
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
#include <array>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "lib/colour.h"
#include "lib/teletext/cells.h"
#include "lib/teletext/teletext.h"

namespace {

constexpr int32_t kShift = kTeletextCostShift;
constexpr int32_t kGuesses = 2;
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

int64_t squared(int64_t v) { return v * v; }

// Which counts of the lit blocks of rows 0-2 (a digit base 3 each) the
// window w of mosaic_costs sees: the digits of its rows.
constexpr auto kSeen = [] {
    std::array<std::array<uint8_t, 27>, 5> seen{};
    for (int32_t w = 0; w < 5; ++w)
        for (int32_t n = 0; n < 27; ++n) {
            const int32_t first = w < 2 ? 0 : w - 2, last = w > 2 ? 2 : w;
            int32_t unit = 1, width = 1;
            for (int32_t p = 0; p < first; ++p) unit *= 3;
            for (int32_t p = first; p <= last; ++p) width *= 3;
            seen[w][n] = static_cast<uint8_t>(n / unit % width);
        }
    return seen;
}();

// Each mosaic's left column and right column (a bit a row) and its count
// lit in each row (a digit base 3 a row).
constexpr auto kMosaicParts = [] {
    std::array<std::array<uint8_t, 3>, 64> parts{};
    for (int32_t m = 0; m < 64; ++m) {
        parts[m][0] = static_cast<uint8_t>((m & 1) | (m >> 1 & 2) | (m >> 2 & 4));
        parts[m][1] = static_cast<uint8_t>((m >> 1 & 1) | (m >> 2 & 2) | (m >> 3 & 4));
        parts[m][2] = static_cast<uint8_t>((m & 1) + (m >> 1 & 1) + 3 * ((m >> 2 & 1) + (m >> 3 & 1)) + 9 * ((m >> 4 & 1) + (m >> 5 & 1)));
    }
    return parts;
}();

// The costs of the 64 mosaics in one channel, for one kind of cell, in
// units of 2^kShift, rounded: `a` what each window sums besides the
// cell's blocks, `level` the light of a block in each of the cell's rows
// unlit and lit. A window left of the cell's blocks sees only their left
// column, one right of them only their right column, and each sees only
// some of their rows; the two centred on them see both columns, so for
// those the count lit in each row is all that matters.
void mosaic_costs(const int64_t (&a)[5][4], const bool (&rows)[5], const bool (&columns)[4], const int32_t (&level)[3][2],
                  int32_t* out) {
    uint64_t left[8] = {}, right[8] = {}, middle[27] = {};
    for (int32_t w = 0; w < 5; ++w) {
        if (!rows[w]) continue;
        const int32_t first = std::max(0, w - 2), last = std::min(2, w);
        // The window's part by the lit blocks of the rows it sees: a bit a
        // row for a side, a count a row (base 3) for the middle.
        uint64_t side[2][8], both[27];
        for (int32_t bits = 0; bits < 1 << (last - first + 1); ++bits) {
            int64_t shown = 0;
            for (int32_t p = first; p <= last; ++p) shown += level[p][bits >> (p - first) & 1];
            side[0][bits] = columns[0] ? static_cast<uint64_t>(squared(a[w][0] + shown)) : 0;
            side[1][bits] = columns[3] ? static_cast<uint64_t>(squared(a[w][3] + shown)) : 0;
        }
        int32_t counts = 1;
        for (int32_t p = first; p <= last; ++p) counts *= 3;
        for (int32_t n = 0; n < counts; ++n) {
            int64_t shown = 0;
            for (int32_t p = first, digits = n; p <= last; ++p, digits /= 3) shown += digits % 3 * level[p][1] + (2 - digits % 3) * level[p][0];
            both[n] = static_cast<uint64_t>(squared(a[w][1] + shown) + squared(a[w][2] + shown));
        }
        const int32_t mask = (1 << (last - first + 1)) - 1;
        for (int32_t bits = 0; bits < 8; ++bits) {
            left[bits] += side[0][bits >> first & mask];
            right[bits] += side[1][bits >> first & mask];
        }
        for (int32_t n = 0; n < 27; ++n) middle[n] += both[kSeen[w][n]];
    }
    const uint64_t half = uint64_t{1} << (kShift - 1);
    for (int32_t m = 0; m < 64; ++m)
        out[m] = static_cast<int32_t>((left[kMosaicParts[m][0]] + right[kMosaicParts[m][1]] + middle[kMosaicParts[m][2]] + half) >> kShift);
}

// The same for a cell whose every block shows `level`'s unlit light.
int32_t solid_cost(const int64_t (&a)[5][4], const bool (&rows)[5], const bool (&columns)[4], const int32_t (&level)[3][2]) {
    uint64_t sum = 0;
    for (int32_t w = 0; w < 5; ++w) {
        if (!rows[w]) continue;
        int64_t shown = 0;
        for (int32_t p = std::max(0, w - 2); p <= std::min(2, w); ++p) shown += level[p][0];
        for (int32_t v = 0; v < 4; ++v)
            if (columns[v]) sum += static_cast<uint64_t>(squared(a[w][v] + (v == 0 || v == 3 ? shown : 2 * shown)));
    }
    return static_cast<int32_t>((sum + (uint64_t{1} << (kShift - 1))) >> kShift);
}

size_t block_index(int32_t y, int32_t x) { return (static_cast<size_t>(y) * kTeletextBlockColumns + static_cast<size_t>(x)) * 3; }

// Sets the errors of the blocks of the cell in `column` of a row (3 block
// rows of `errors` and of the picture's light, from the row's first) to
// the light that `cell` shows, as the preview draws it, less the
// picture's.
void set_errors(const TeletextCell& cell, int32_t column, const TeletextBlockLevels& levels, const int32_t* picture,
                int32_t* errors) {
    const bool mosaic = cell.kind == TeletextCell::kMosaic;
    for (int32_t k = 0; k < 6; ++k) {
        const size_t at = block_index(k >> 1, 2 * column + (k & 1));
        for (size_t c = 0; c < 3; ++c)
            errors[at + c] = levels.level[mosaic && cell.separated][cell.foreground >> c & 1][cell.background >> c & 1][k >> 1]
                                         [mosaic && (cell.blocks >> k & 1)] -
                             picture[at + c];
    }
}

// The mosaic that costs least in a cell, as if no code took the cell.
TeletextCell cheapest_cell(const TeletextCellCosts& costs) {
    // The least of each colour and shape first, then the mosaic.
    const int32_t* all = &costs.cost[0][0][0][0];
    int32_t least = INT32_MAX, group = 0;
    for (int32_t g = 0; g < kGroups; ++g) {
        int32_t m = INT32_MAX;
        for (int32_t i = 0; i < 64; ++i) m = std::min(m, all[64 * g + i]);
        if (m < least) least = m, group = g;
    }
    int32_t i = 64 * group;
    while (all[i] != least) ++i;
    TeletextCell cell;
    cell.kind = TeletextCell::kMosaic;
    cell.blocks = static_cast<uint8_t>(i & 63);
    cell.separated = i >> 6 & 1;
    cell.background = static_cast<uint8_t>(i >> 7 & 7);
    cell.foreground = static_cast<uint8_t>((i >> 10) + 1);
    return cell;
}

}  // namespace

void teletext_cell_costs(const int32_t* picture, const int32_t* errors, const TeletextBlockLevels& levels, int32_t row,
                         int32_t column, TeletextCellCosts& costs) {
    // The blocks around the cell, from the block row two above its first to
    // two below its last, and two columns either side: errors, but the
    // cell's own, which start as the picture's light taken away.
    int32_t around[7][6][3];
    for (int32_t i = 0; i < 7; ++i) {
        const int32_t y = std::clamp(3 * row - 2 + i, 0, kTeletextBlockRows - 1);
        for (int32_t j = 0; j < 6; ++j) {
            const int32_t x = std::clamp(2 * column - 2 + j, 0, kTeletextBlockColumns - 1);
            const bool own = i >= 2 && i < 5 && j >= 2 && j < 4;
            for (int32_t c = 0; c < 3; ++c) around[i][j][c] = own ? -picture[block_index(y, x) + c] : errors[block_index(y, x) + c];
        }
    }
    // The windows that reach the cell, those centred in the page.
    bool rows[5], columns[4];
    for (int32_t w = 0; w < 5; ++w) rows[w] = 3 * row - 1 + w >= 0 && 3 * row - 1 + w < kTeletextBlockRows;
    for (int32_t w = 0; w < 4; ++w) columns[w] = 2 * column - 1 + w >= 0 && 2 * column - 1 + w < kTeletextBlockColumns;
    alignas(64) int32_t channel[3][2][2][2][64];  // [channel][separated][foreground has it][background has it][mosaic]
    for (int32_t c = 0; c < 3; ++c) {
        int64_t a[5][4];
        for (int32_t w = 0; w < 5; ++w)
            for (int32_t v = 0; v < 4; ++v) {
                a[w][v] = 0;
                for (int32_t i = w; i < w + 3; ++i)
                    for (int32_t j = v; j < v + 3; ++j) a[w][v] += around[i][j][c];
            }
        // By [separated][foreground has it][background has it]. A channel
        // both colours have or neither has shows the same in every block,
        // separated or not; one only the background has shows contiguous
        // mosaics as the other way round shows their complements.
        auto& kind = channel[c];
        for (int32_t lit = 0; lit < 2; ++lit) {
            const int32_t solid = solid_cost(a, rows, columns, levels.level[0][lit][lit]);
            for (int32_t separated = 0; separated < 2; ++separated) std::fill_n(kind[separated][lit][lit], 64, solid);
        }
        mosaic_costs(a, rows, columns, levels.level[0][1][0], kind[0][1][0]);
        for (int32_t m = 0; m < 64; ++m) kind[0][0][1][m] = kind[0][1][0][63 - m];
        mosaic_costs(a, rows, columns, levels.level[1][1][0], kind[1][1][0]);
        mosaic_costs(a, rows, columns, levels.level[1][0][1], kind[1][0][1]);
    }
    for (int32_t f = 1; f < 8; ++f)
        for (int32_t b = 0; b < 8; ++b)
            for (int32_t s = 0; s < 2; ++s) {
                const int32_t* red = channel[0][s][f & 1][b & 1];
                const int32_t* green = channel[1][s][f >> 1 & 1][b >> 1 & 1];
                const int32_t* blue = channel[2][s][f >> 2 & 1][b >> 2 & 1];
                int32_t* out = costs.cost[f - 1][b][s];
                for (int32_t m = 0; m < 64; ++m) out[m] = red[m] + green[m] + blue[m];
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

bool teletext_page_by_rows(const uint16_t* light, const TeletextRowChooser& chooser, uint8_t* page) {
    const std::unique_ptr<int32_t[]> picture(new (std::nothrow) int32_t[kTeletextBlockSamples]);
    const std::unique_ptr<int32_t[]> errors(new (std::nothrow) int32_t[kTeletextBlockSamples]());
    const std::unique_ptr<TeletextCellCosts[]> costs(new (std::nothrow) TeletextCellCosts[kTeletextColumns]);
    if (!picture || !errors || !costs) return false;
    TeletextBlockLevels levels;
    teletext_block_levels(levels);
    teletext_block_light(light, picture.get());
    for (int32_t row = 0; row < kTeletextRows; ++row) {
        const size_t first = block_index(3 * row, 0);
        for (int32_t guess = 0; guess < kGuesses; ++guess)
            for (int32_t x = 0; x < kTeletextColumns; ++x) {
                teletext_cell_costs(picture.get(), errors.get(), levels, row, x, costs[x]);
                set_errors(cheapest_cell(costs[x]), x, levels, picture.get() + first, errors.get() + first);
            }
        for (int32_t x = 0; x < kTeletextColumns; ++x) teletext_cell_costs(picture.get(), errors.get(), levels, row, x, costs[x]);
        uint8_t* codes = page + row * kTeletextColumns;
        if (!chooser.choose(chooser.context, costs.get(), codes)) return false;
        TeletextCell cells[kTeletextColumns];
        teletext_row_cells(codes, kTeletextColumns, false, cells);
        for (int32_t x = 0; x < kTeletextColumns; ++x) set_errors(cells[x], x, levels, picture.get() + first, errors.get() + first);
    }
    return true;
}

namespace {

bool choose_best_row(void* layers, const TeletextCellCosts* costs, uint8_t* codes) {
    int64_t total = 0;
    return best_row(costs, kTeletextColumns, static_cast<Layer*>(layers), codes, total);
}

}  // namespace

bool teletext_page_from_light(const uint16_t* light, uint8_t* page) {
    const std::unique_ptr<Layer[]> layers(new (std::nothrow) Layer[kTeletextColumns + 1]);
    return layers && teletext_page_by_rows(light, {layers.get(), choose_best_row}, page);
}
