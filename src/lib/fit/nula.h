// Palettes for the VideoNuLA, which shows each logical colour as any of
// 4,096: four bits each of red, green and blue, level n showing as the
// sample 17 n. With error diffusion tarnvil-fit chooses the colours for
// the picture as well as the dots.
//
// How the colours are chosen. The measure is --palette auto's: the
// diffused screen against the picture, both in linear light after a 3 x 3
// box blur. Error diffusion mixes neighbouring dots, so good colours lie
// near the picture's own (less noise is left after the blur) yet span
// them (colours beyond what the dots mix cannot be reached). Three steps,
// each kept only where it comes closer; the figures are the error left on
// the median picture of bench/nula.cpp's seven, as a share of the best
// palette of the machine's colours (bench/RESULTS.md has them all):
//
// 1. Plain k-means of the picture's colours in linear light, seeded by the
//    mean colour and then, one at a time, the colour furthest from those
//    chosen, weighted by how often it occurs; each centre rounded to the
//    nearest level. Alone: 0.45 in MODE 0, 0.44 in MODE 1, 0.20 in MODE 2.
// 2. Colours fitted to the dots and the dots diffused to the colours, in
//    turn, while that comes closer. With the dots fixed the blurred screen
//    is linear in the colours, so the closest colours for them solve a
//    least-squares problem. From the k-means colours and from the
//    machine's best palette with its own dots. With step 3 after it: MODE
//    1 0.17 rather than 0.21, and the worst MODE 2 picture 0.11 rather
//    than 0.14.
// 3. Each channel of each colour stepped 4 levels up or down while that
//    comes closer, then 2, then 1, by the measure itself. The dots change
//    with every colour, so the measure is rough at the scale of a level: a
//    single level at a time stopped sooner, in its small hollows (MODE 1
//    0.19, MODE 2 0.063, against 0.17 and 0.051). At most 450 diffusions
//    in all, for the time on a large photograph: without the limit MODE 2
//    comes to 0.043.
//
// Two colours mix only to the line between them, and the picture is moved
// onto it first, as the machine's pairs are (MODE 0: 0.34, against 0.45
// without). The machine's best palette, with its dots, stands until
// something comes closer, so --nula is never further from the picture
// than --palette auto. Integers throughout: every target chooses alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/fit/diffuse.h"
#include "lib/fit/measure.h"
#include "lib/palette.h"

// The colours --nula chooses in `mode`: its logical colours, 8 in MODE 2,
// as tarnvil writes only logical colours 0 to 7 there.
int32_t nula_colours(int32_t mode);

// Reads the colours "RGB,RGB,..." (three hex digits each, one for each
// logical colour) for `mode`. False with a one-line `reason` when the text
// is not that.
bool parse_nula_palette(const char* text, int32_t mode, NulaPalette& palette, char* reason, size_t capacity);

// The colours as parse_nula_palette reads them, upper-case, NUL-terminated.
void format_nula_palette(const NulaPalette& palette, char (&text)[64]);

// The machine's own colours as a VideoNuLA's: every channel 0 or F.
NulaPalette nula_of_palette(const Palette& palette);

// The sample each colour shows as, 17 n a channel: the first 8, as many
// as a dump's logical colours.
void nula_samples(const NulaPalette& palette, uint8_t (&rgb)[8][3]);

// The colours in linear light, for error diffusion.
DiffusionColours nula_light(const NulaPalette& palette);

// palette_error's measure for the dots `dots` (one logical colour a pixel
// of `reference`'s width x 256) shown in `palette`: the sum of the squared
// differences of the blurred screen from `reference`. False when memory
// runs out.
bool nula_error(const NulaPalette& palette, const uint8_t* dots, const BlurredPicture& reference, uint64_t& error);

// Chooses `colours` colours for the `width` x 256 samples `rgb`, as error
// diffusion is given them (`samples_as_light` as there), and the dots that
// show them, by the measure of nula_error against the samples' blur. The
// result is never further from the picture than `fallback` with its
// `fallback_dots`, which it is when nothing found comes closer. False
// when memory runs out.
bool choose_nula_palette(int32_t colours, bool samples_as_light, const uint8_t* rgb, int32_t width,
                         const NulaPalette& fallback, const uint8_t* fallback_dots, NulaPalette& chosen,
                         uint8_t* dots);

// --nula in the fit pipeline: `rgb` holds the samples as error diffusion
// is given them; `fixed` and `fixed_samples` are the best palette of the
// machine's colours and its diffused samples. On return `rgb` holds the
// dots as diffuse_to_palette writes them, for `chosen`. False when memory
// runs out.
bool fit_nula(int32_t mode, bool samples_as_light, uint8_t* rgb, int32_t width, const Palette& fixed,
              const uint8_t* fixed_samples, NulaPalette& chosen);

// --nula-palette: the samples diffused to the given colours, written as
// fit_nula writes them. False when memory runs out.
bool diffuse_to_nula(int32_t mode, const NulaPalette& palette, bool samples_as_light, uint8_t* rgb, int32_t width);
