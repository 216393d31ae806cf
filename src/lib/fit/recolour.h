// Pictures for a palette other than the mode's own. tarnvil's colour
// matching is fixed, so tarnvil-fit changes the picture instead: in MODEs
// 1 and 5 it reorders the red, green and blue channels, in MODEs 0 and 4
// the picture becomes grey, light where it is nearer the lit colour, in
// MODE 2 each colour moves to the logical colour that shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/palette.h"
#include "records.h"

// Whether tarnvil's matching can land on `palette` in `mode`; when it
// cannot, `reason` says which palettes it can.
bool palette_reachable(int32_t mode, const Palette& palette, char* reason, size_t capacity);

// Maps `pixels` RGB samples so that tarnvil and `palette` show them in
// their own colours.
void map_to_palette(int32_t mode, const Palette& palette, uint8_t* rgb, size_t pixels);

// Moves each pixel of `rgb` to the nearest colour, in linear light, that
// the palette's dots can mix: between the two colours of a 2-colour
// palette; in a 4-colour one, where the primary's channel is at least the
// secondary's other one and that at least the third (black, the primary,
// the secondary and white mix nothing else); in MODE 2 every colour. Light
// is the sRGB light of the samples, or with `samples_as_light` the samples
// themselves.
void keep_within_palette(const Palette& palette, bool samples_as_light, uint8_t* rgb, size_t pixels);

// The palettes --palette auto tries for `mode`, the mode's own first: the
// six of MODEs 1 and 5; in MODEs 0 and 4 the 28 pairs of colours, the
// lighter one lit; in MODE 2 the 48 that reorder and invert the channels
// (the other arrangements bend the colours between the corners). Returns
// how many it wrote.
int32_t palette_candidates(int32_t mode, Palette* candidates);

inline constexpr int32_t kMaxCandidates = 48;

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
