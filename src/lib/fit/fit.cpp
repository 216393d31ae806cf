#include "lib/fit/fit.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "lib/colour.h"
#include "lib/fit/choose.h"
#include "lib/fit/dots.h"
#include "lib/fit/scale.h"
#include "lib/fit/tone.h"
#include "lib/modes.h"
#include "platform/platform.h"

ConversionOptions conversion_for(const FitSettings& settings) {
    ConversionOptions options = kDefaultOptions;
    options.mode = settings.mode;
    if (uses_tarnvil_halftone(settings)) {
        options.halftone = settings.halftone;
        options.stagger = settings.stagger;
        options.aspect = settings.aspect;
    } else {
        options.halftone = kHalftoneNone;
    }
    return options;
}

ScreenPlan plan_for(const FitSettings& settings) {
    const ConversionOptions conversion = conversion_for(settings);
    if (settings.mode == kTeletextMode)
        return {nullptr, kTeletextWidth, kTeletextHeight, kTeletextHeight, conversion, Palette{}};
    const ScreenMode& mode = screen_mode_for(settings.mode);
    return {&mode, conversion.aspect ? 320 : screen_width(mode), kScreenLines, 2 * kScreenLines, conversion,
            default_palette(settings.mode)};
}

int32_t fit_width(const FitSettings& settings) { return plan_for(settings).width; }

namespace {

// The first stages of every picture: decoded, turned upright and scaled
// onto the screen in light, then toned; the scaled light is let go before
// the next stage takes its memory.
bool scale_and_tone(const uint8_t* bytes, size_t size, const FitSettings& settings, const ScreenPlan& plan,
                    PpmBytes& toned, char* reason, size_t capacity) {
    LightPicture light;
    if (!scale_picture(bytes, size, settings, plan, light, reason, capacity)) return false;
    if (tone_picture(light, settings, toned)) return true;
    snprintf(reason, capacity, "out of memory");
    return false;
}

}  // namespace

bool fit_file(const uint8_t* bytes, size_t size, const FitSettings& settings, PpmBytes& ppm, char* reason,
              size_t capacity) {
    const ScreenPlan plan = plan_for(settings);
    PpmBytes toned;
    if (!scale_and_tone(bytes, size, settings, plan, toned, reason, capacity)) return false;
    uint8_t* samples = toned.data.get() + (toned.size - static_cast<size_t>(plan.width) * kScreenLines * 3);
    bool done = false;
    if (settings.nula_choice != FitSettings::NulaChoice::kNone) {
        done = prepare_for_nula(plan, settings, toned, ppm);
    } else switch (settings.palette_choice) {
    case FitSettings::PaletteChoice::kOwn:
        done = place_dots(plan, settings, nullptr, samples);
        ppm = std::move(toned);
        break;
    case FitSettings::PaletteChoice::kGiven:
        done = place_dots(plan, settings, &settings.palette, samples);
        ppm = std::move(toned);
        ppm.palette = settings.palette;
        break;
    case FitSettings::PaletteChoice::kBest:
        done = choose_palette(plan, settings, toned, ppm);
        break;
    }
    if (done) return true;
    snprintf(reason, capacity, "out of memory");
    ppm = PpmBytes{};
    return false;
}

bool fit_teletext(const uint8_t* bytes, size_t size, const FitSettings& settings, uint8_t* page, char* reason,
                  size_t capacity) {
    const ScreenPlan plan = plan_for(settings);
    PpmBytes toned;
    if (!scale_and_tone(bytes, size, settings, plan, toned, reason, capacity)) return false;
    const size_t samples = static_cast<size_t>(plan.width) * static_cast<size_t>(plan.lines) * 3;
    const uint8_t* rgb = toned.data.get() + (toned.size - samples);
    const std::unique_ptr<uint16_t[]> light(new (std::nothrow) uint16_t[samples]);
    if (light) {
        for (size_t i = 0; i < samples; ++i) light[i] = linear_from_srgb8(rgb[i]);
        if (teletext_page_from_light(light.get(), page)) return true;
    }
    snprintf(reason, capacity, "out of memory");
    return false;
}

bool name_with_extension(const char* path, const char* extension, char* out, size_t capacity) {
    const size_t keep = static_cast<size_t>(platform::extension_of(path) - path);
    return snprintf(out, capacity, "%.*s%s", static_cast<int>(keep), path, extension) < static_cast<int>(capacity);
}

bool ppm_name_for(const char* picture, char* out, size_t capacity) {
    return name_with_extension(picture, ".ppm", out, capacity);
}
