// Error diffusion: tarnvil-fit chooses every dot itself, in linear light,
// and hands tarnvil samples that it passes through unchanged with
// halftoning off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/palette.h"

// The colours the dots are chosen from, each in linear light (0..65535 a
// channel): the machine's eight are 0 or 65535, a VideoNuLA's any of 16
// levels a channel.
struct DiffusionColours {
    int32_t count = 0;  // 2 to 16
    int32_t light[16][3] = {};
};

// Chooses the colour of each pixel of a `width` x 256 picture in linear
// light (three channels a pixel, 0..65535 each, row by row), into `dots`
// (one logical colour a pixel), spreading each dot's error onto its
// neighbours (Floyd-Steinberg, alternate rows right to left). False when
// memory runs out.
bool diffuse_light(const DiffusionColours& colours, const int32_t* picture, int32_t width, uint8_t* dots);

// The light of `pixels` RGB samples, into `light`: the sRGB light of the
// samples, or with `samples_as_light` the samples themselves as shares of
// full light. False when memory runs out.
bool light_of_samples(bool samples_as_light, const uint8_t* rgb, size_t pixels, std::unique_ptr<int32_t[]>& light);

// diffuse_light on the light of the samples `rgb`.
bool diffuse_to_colours(const DiffusionColours& colours, bool samples_as_light, const uint8_t* rgb, int32_t width,
                        uint8_t* dots);

// Writes each dot as the colour that tarnvil's matching turns into its
// logical colour, which in the mode's own palette is the colour itself:
// `pixels` dots of `mode`'s logical colours to RGB samples.
void samples_of_dots(int32_t mode, const uint8_t* dots, size_t pixels, uint8_t* rgb);

// The other way: the logical colour tarnvil's matching gives each sample
// that a diffusion wrote.
void dots_of_samples(int32_t mode, const uint8_t* rgb, size_t pixels, uint8_t* dots);

// Replaces the `width` x 256 RGB samples at `rgb` with the palette's
// colours, dot for dot, by diffusion in the palette's colours at full
// intensity, written as samples_of_dots writes them. False when memory
// runs out.
bool diffuse_to_palette(int32_t mode, const Palette& palette, bool samples_as_light, uint8_t* rgb, int32_t width);
