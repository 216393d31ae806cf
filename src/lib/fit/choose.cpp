#include "lib/fit/choose.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "lib/fit/dots.h"
#include "lib/fit/measure.h"
#include "lib/fit/nula.h"
#include "lib/fit/reach.h"
#include "screen/modes.h"

bool choose_palette(const ScreenPlan& plan, const FitSettings& settings, const PpmBytes& toned, PpmBytes& ppm) {
    const size_t header = toned.size - static_cast<size_t>(plan.width) * kScreenLines * 3;
    Palette candidates[kMaxCandidates];
    const int32_t count = palette_candidates(settings.mode, settings.dither == Dither::kDiffuse, candidates);
    std::unique_ptr<uint8_t[]> trial(new (std::nothrow) uint8_t[toned.size]);
    ppm.data.reset(new (std::nothrow) uint8_t[toned.size]);
    if (!trial || !ppm.data) return false;
    ppm.size = toned.size;
    // A mode with one candidate has nothing to measure.
    BlurredPicture blurred;
    if (count > 1 && !blur_samples(toned.data.get() + header, plan.width, blurred)) return false;
    uint64_t bound[kMaxCandidates] = {};
    int32_t order[kMaxCandidates];
    for (int32_t i = 0; i < count; ++i) {
        if (count > 1) bound[i] = mixture_bound(candidates[i], blurred);
        order[i] = i;
    }
    std::stable_sort(order, order + count, [&](int32_t a, int32_t b) { return bound[a] < bound[b]; });
    uint64_t best = UINT64_MAX;
    int32_t chosen = -1;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = order[k];
        if (chosen >= 0 && bound[i] > best) break;
        if (chosen >= 0 && bound[i] == best && i > chosen) continue;
        memcpy(trial.get(), toned.data.get(), toned.size);
        if (!place_dots(plan, settings, &candidates[i], trial.get() + header)) return false;
        uint64_t error = 0;
        if (count > 1 && !palette_error(plan.conversion, candidates[i], blurred, trial.get() + header, error)) return false;
        if (chosen >= 0 && (error > best || (error == best && i > chosen))) continue;
        best = error;
        chosen = i;
        std::swap(trial, ppm.data);
    }
    ppm.palette = candidates[chosen];
    return true;
}

bool prepare_for_nula(const ScreenPlan& plan, const FitSettings& settings, PpmBytes& toned, PpmBytes& ppm) {
    const size_t header = toned.size - static_cast<size_t>(plan.width) * kScreenLines * 3;
    uint8_t* samples = toned.data.get() + header;
    const bool samples_as_light = settings.tone == Tone::kPlain;
    NulaPalette colours = settings.nula;
    if (settings.nula_choice == FitSettings::NulaChoice::kGiven) {
        if (!diffuse_to_nula(settings.mode, colours, samples_as_light, samples, plan.width)) return false;
    } else {
        FitSettings machine = settings;
        machine.nula_choice = FitSettings::NulaChoice::kNone;
        machine.dither = Dither::kDiffuse;
        PpmBytes fixed;
        if (!choose_palette(plan, machine, toned, fixed) ||
            !fit_nula(settings.mode, samples_as_light, samples, plan.width, fixed.palette, fixed.data.get() + header,
                      colours))
            return false;
    }
    ppm = std::move(toned);
    ppm.nula = colours;
    return true;
}
