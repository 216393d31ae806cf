// Pictures for a palette other than the mode's own. tarnvil's colour
// matching is fixed, so tarnvil-fit changes the picture instead: in MODEs
// 1 and 5 it reorders the red, green and blue channels, in MODEs 0 and 4
// the picture becomes grey, light where it is nearer the lit colour, in
// MODE 2 each colour moves to the logical colour that shows it. With error
// diffusion tarnvil-fit chooses each dot's logical colour itself, so any
// colours can stand in the palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/palette.h"
#include "records.h"

// Whether tarnvil's matching (or with `diffused` the error diffusion) can
// land on `palette` in `mode`; when it cannot, `reason` says which
// palettes it can. Diffused, any different colours can: each dot's logical
// colour is chosen, and VDU 19 shows it as any physical colour.
bool palette_reachable(int32_t mode, const Palette& palette, bool diffused, char* reason, size_t capacity);

// Maps `pixels` RGB samples so that tarnvil and `palette` show them in
// their own colours.
void map_to_palette(int32_t mode, const Palette& palette, uint8_t* rgb, size_t pixels);

// Moves each pixel of `rgb` to the nearest colour, in linear light, that
// the palette's dots can mix: between the two colours of a 2-colour
// palette; in a 4-colour one, inside the solid (or the flat shape) whose
// corners are its colours, for black, a primary, a secondary containing it
// and white where the primary's channel is at least the secondary's other
// one and that at least the third; in MODE 2 every colour. Light
// is the sRGB light of the samples, or with `samples_as_light` the samples
// themselves.
void keep_within_palette(const Palette& palette, bool samples_as_light, uint8_t* rgb, size_t pixels);

// The palettes --palette auto tries for `mode`, the mode's own first: the
// six of MODEs 1 and 5; in MODEs 0 and 4 the 28 pairs of colours, the
// lighter one lit; in MODE 2 the 48 that reorder and invert the channels
// (the other arrangements bend the colours between the corners). With
// `diffused`, every set of colours once, whose order shows nothing
// different: the 70 sets of four and the 28 pairs, each in ascending order
// of the physical colours' numbers, and in MODE 2 its own eight alone.
// Returns how many it wrote.
int32_t palette_candidates(int32_t mode, bool diffused, Palette* candidates);

inline constexpr int32_t kMaxCandidates = 70;

// The colours a palette's dots mix, in linear light: the segment between
// two colours, the solid (or flat shape) whose corners are four, or with
// eight the whole cube. Each physical colour is a corner of the cube, 0 or
// 1 a channel.
struct Mixtures {
    int32_t colours = 0;
    int64_t corner[4][3] = {};
    // Four colours that span a solid: each face's outward normal, the
    // corner opposite it left out.
    bool solid = false;
    int64_t normal[4][3] = {};
};

Mixtures mixtures_of(const Palette& palette);

// The nearest colour to `light` (0..65535 a channel) that `mixtures` holds,
// in `nearest`, each channel rounded to a whole number; returns the
// squared distance between them. keep_within_palette moves colours there
// but for the mode's own palette and those tarnvil reaches by reordering
// the channels, which it moves the same way with its own rounding.
int64_t nearest_mixture(const Mixtures& mixtures, const int32_t (&light)[3], int32_t (&nearest)[3]);

// A picture of `width` x 256 in linear light (0..65535 a channel) after a
// 3 x 3 box blur, as the sums of the nine samples, edges repeated: how a
// screen looks from a little way off.
struct BlurredPicture {
    int32_t width = 0;
    std::unique_ptr<int32_t[]> sums;  // width x 256 x 3
};

// The blur of the RGB samples of a PPM of `width` x 256. False when memory
// runs out.
bool blur_samples(const uint8_t* rgb, int32_t width, BlurredPicture& blurred);

// The same blur of `width` x `height` pixels of light (0..65535 a
// channel, RGB), for pictures of other sizes than the modes' screens.
bool blur_linear(const int32_t* linear, int32_t width, int32_t height, BlurredPicture& blurred);

// A bound that palette_error cannot go below for any screen in `palette`:
// each blurred pixel of a screen mixes the palette's colours, so it is no
// nearer the picture's than the nearest mixture is. Taken for the mean of
// each block of 4 x 4 pixels (the squared distance from a solid is convex,
// so the block's pixels are at least as far on the whole), less the
// rounding, to be quick.
uint64_t mixture_bound(const Palette& palette, const BlurredPicture& reference);

// The dump tarnvil makes from the RGB samples of a PPM of `width` x 256
// converted with `options` (`dump` holds kMaxScreenBytes). False when
// memory runs out.
bool screen_of_samples(const ConversionOptions& options, const uint8_t* rgb, int32_t width, uint8_t* dump);

// How far what the machine shows for `candidate` (the samples of a PPM
// prepared for `palette`, converted as tarnvil converts it with `options`,
// and painted as tarnvil-view paints it) is from `reference`, the picture
// with its plain samples, blurred: the sum over every pixel and channel of
// the squared differences of the two blurs, each PPM pixel taken as the
// screen pixel that shows it (the mean of the two in MODE 0 with aspect
// correction). False when memory runs out.
bool palette_error(const ConversionOptions& options, const Palette& palette, const BlurredPicture& reference,
                   const uint8_t* candidate, uint64_t& error);
