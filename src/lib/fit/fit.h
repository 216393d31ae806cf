// tarnvil-fit's core: from a picture's bytes to the binary PPM that tarnvil
// converts, at the size that fills the chosen mode's screen. Works on
// memory only, so the command line and the web page run the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lib/fit/nula.h"
#include "lib/fit/picture.h"
#include "lib/modes.h"
#include "lib/palette.h"
#include "conversion_records.h"
#include "screen/modes.h"

// How the picture covers the screen: filled with the overflow cropped from
// the centre, fitted inside with black bars, or stretched to it.
enum class Fill { kCrop, kFit, kStretch };

// What the samples stand for. Light: over a flat area, tarnvil lights the
// share of dots that the picture has light (see light.h). Plain: the
// picture's own sRGB samples, which tarnvil shows far too bright in the
// mid-tones.
enum class Tone { kLight, kPlain };

// Who chooses the dots. Ordered: tarnvil, with its halftone. Diffuse:
// tarnvil-fit, by error diffusion (see diffuse.h), at the mode's own
// pixels; tarnvil converts them without a halftone or aspect correction.
enum class Dither { kOrdered, kDiffuse };

// A setting's choices, in its enum's order, as the command line and the
// page name them, and what each does, in the words of --help and the page.
struct Choice {
    const char* name;
    const char* does;
};

inline constexpr Choice kFillChoices[] = {
    {"crop", "fill the screen and crop the centre"},
    {"fit", "fit inside, with black bars"},
    {"stretch", "stretch to the screen"},
};
inline constexpr Choice kToneChoices[] = {
    {"light", "samples with which the screen gives the picture's light"},
    {"plain", "the picture's own samples"},
};
inline constexpr Choice kDitherChoices[] = {
    {"ordered", "tarnvil's halftone chooses the dots"},
    {"diffuse", "tarnvil-fit chooses them, by error diffusion at the mode's own pixels, and tarnvil passes them "
                "through (no halftone, no aspect correction)"},
};

struct FitSettings {
    int32_t mode = 2;
    bool aspect = false;       // the PPM will be converted with tarnvil's 'a'
    Fill fill = Fill::kCrop;
    int32_t brightness = 0;    // -100..100, percent of full scale
    int32_t contrast = 0;      // -100..100
    int32_t saturation = 0;    // -100..100; -100 is grey
    int32_t gamma = 100;       // in hundredths, 10..1000
    bool grey = false;
    uint8_t background[3] = {0, 0, 0};  // shows through transparent pixels
    Tone tone = Tone::kLight;
    Dither dither = Dither::kOrdered;
    // The halftone and stagger tarnvil converts the PPM with, for ordered
    // dithering.
    HalftoneType halftone = kHalftoneFine;
    bool stagger = false;
    // A palette the picture is prepared for (see reach.h), or the one
    // whose screen comes closest to it.
    enum class PaletteChoice { kOwn, kGiven, kBest } palette_choice = PaletteChoice::kOwn;
    Palette palette;
    // Colours for a VideoNuLA (nula.h) in place of the machine's: none,
    // given, or chosen for the picture. Either way the dots are diffused.
    enum class NulaChoice { kNone, kGiven, kBest } nula_choice = NulaChoice::kNone;
    NulaPalette nula;
};

// Whether tarnvil-fit chooses every dot by error diffusion: asked for, or
// for a VideoNuLA's colours.
constexpr bool diffuses(const FitSettings& settings) {
    return settings.dither == Dither::kDiffuse || settings.nula_choice != FitSettings::NulaChoice::kNone;
}

// Whether tarnvil's halftone, stagger and aspect correction reach the
// screen of a picture prepared with `settings`: not after error diffusion,
// whose dots tarnvil passes through at the mode's own pixels.
constexpr bool uses_tarnvil_halftone(const FitSettings& settings) {
    return !diffuses(settings) && settings.mode != kTeletextMode;
}

// The options tarnvil converts the PPM with, as it was prepared.
ConversionOptions conversion_for(const FitSettings& settings);

// What the screen asks of a picture prepared for it, looked up once and
// handed down the stages.
struct ScreenPlan {
    const ScreenMode* mode;        // null for MODE 7
    int32_t width;                 // the grid's: 640, 320 or 160 pixels across, 640 for MODE 7
    int32_t lines;                 // and down: 256, or 500 for MODE 7
    int32_t dots_down;             // the display dots that span: 512, or 500
    ConversionOptions conversion;  // how tarnvil converts it
    Palette own;                   // the mode's own palette
};

ScreenPlan plan_for(const FitSettings& settings);

// The PPM's width: 640, 320 or 160 (the height is always 256 lines).
int32_t fit_width(const FitSettings& settings);

struct PpmBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    // The palette it was prepared for when one was given or chosen; none
    // (no colours) when it was prepared for the mode's own.
    Palette palette{};
    // The VideoNuLA's colours it was prepared for, if any (no colours).
    NulaPalette nula{};
};

// MODE 7's way from a file's bytes: decoded and scaled onto the 640 x 500
// pixels of the teletext display in linear light, with the brightness,
// contrast, gamma and colour settings, then made a teletext page
// (teletext.h) of kTeletextPageBytes into `page`. False with `reason` when
// the picture cannot be read or memory runs out.
bool fit_teletext(const uint8_t* bytes, size_t size, const FitSettings& settings, uint8_t* page, char* reason,
                  size_t capacity);

// Where a PPM goes by default: the picture's name with its extension, if
// any, replaced by ".ppm". False when that does not fit `capacity`.
bool ppm_name_for(const char* picture, char* out, size_t capacity);

// `path` with the extension of its last component, if any, replaced by
// `extension` (".png"). False when that does not fit `capacity`.
bool name_with_extension(const char* path, const char* extension, char* out, size_t capacity);

// The whole way, from a file's bytes, stage by stage: decodes the picture
// and turns it as shown, scales it onto the screen by averaging in linear
// light (scale.h), gives it its tone and colour (tone.h), then, for the
// palette given, the mode's own or the best (choose.h), the palette's
// reach and the dots (dots.h). With the plain tone and ordered dithering,
// a picture that maps pixel for pixel onto the PPM, or onto whole blocks
// of it, keeps its samples exactly. False with `reason` when the picture
// cannot be read or memory runs out.
bool fit_file(const uint8_t* bytes, size_t size, const FitSettings& settings, PpmBytes& ppm, char* reason,
              size_t capacity);
