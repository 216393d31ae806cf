// How close a screen comes to the picture, as the eye sees it from a
// little way off: both in linear light, blurred, compared pixel by pixel.
// --palette auto chooses by it, and every claim about quality is made
// with it.
#pragma once

#include <cstdint>
#include <memory>

#include "conversion_records.h"
#include "lib/palette.h"

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

// How far what the machine shows for `candidate` (the samples of a PPM
// prepared for `palette`, converted as tarnvil converts it with `options`,
// and painted as tarnvil-view paints it) is from `reference`, the picture
// with its plain samples, blurred: the sum over every pixel and channel of
// the squared differences of the two blurs, each PPM pixel taken as the
// screen pixel that shows it (the mean of the two in MODE 0 with aspect
// correction). False when memory runs out.
bool palette_error(const ConversionOptions& options, const Palette& palette, const BlurredPicture& reference,
                   const uint8_t* candidate, uint64_t& error);
