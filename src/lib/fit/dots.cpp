#include "lib/fit/dots.h"

#include "lib/fit/diffuse.h"
#include "lib/fit/light.h"
#include "lib/fit/reach.h"
#include "screen/modes.h"

bool place_dots(const ScreenPlan& plan, const FitSettings& settings, const Palette* palette, uint8_t* rgb) {
    const size_t pixels = static_cast<size_t>(plan.width) * kScreenLines;
    const bool light = settings.tone == Tone::kLight;
    const Palette& shown = palette ? *palette : plan.own;
    if (settings.dither == Dither::kDiffuse) {
        keep_within_palette(shown, !light, rgb, pixels);
        return diffuse_to_palette(settings.mode, shown, !light, rgb, plan.width);
    }
    if (light) keep_within_palette(shown, false, rgb, pixels);
    if (!palette) {
        if (light) make_light_true(settings.halftone, rgb, pixels * 3);
        return true;
    }
    // The two-colour mapping makes a grey whose light is the picture's, so
    // the light-true samples come after it. The others move whole channels,
    // and in MODE 2 may invert them: share(255 - s) is 1 - share(s) to a
    // dot, so there they come first.
    const bool two_colours = palette->colours == 2;
    if (light && !two_colours) make_light_true(settings.halftone, rgb, pixels * 3);
    map_to_palette(*palette, rgb, pixels);
    if (light && two_colours) make_light_true(settings.halftone, rgb, pixels * 3);
    return true;
}
