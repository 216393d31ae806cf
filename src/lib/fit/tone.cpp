#include "lib/fit/tone.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "lib/colour.h"
#include "screen/modes.h"

namespace {

// The final colour of one PPM pixel from its linear light.
void finish_pixel(const int32_t linear[3], const FitSettings& settings, const ToneCurve& tone, uint8_t* out) {
    int32_t colour[3] = {linear[0], linear[1], linear[2]};
    if (settings.grey || settings.saturation != 0) {
        const int32_t luminance = (kLuminanceWeights[0] * colour[0] + kLuminanceWeights[1] * colour[1] +
                                   kLuminanceWeights[2] * colour[2] + 5000) / 10000;
        const int32_t keep = settings.grey ? 0 : 100 + settings.saturation;
        for (int32_t& c : colour) {
            const int64_t spread = int64_t{c - luminance} * keep * 2 + (c >= luminance ? 100 : -100);
            c = std::clamp<int32_t>(luminance + static_cast<int32_t>(spread / 200), 0, 65535);
        }
    }
    for (int c = 0; c < 3; ++c) out[c] = tone.out[srgb8_from_linear(colour[c])];
}

}  // namespace

bool tone_picture(const LightPicture& picture, const FitSettings& settings, PpmBytes& ppm) {
    char header[32];
    const int header_size = snprintf(header, sizeof header, "P6\n%d %d\n255\n", static_cast<int>(picture.width),
                                     static_cast<int>(picture.lines));
    const size_t samples = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.lines) * 3;
    ppm.size = static_cast<size_t>(header_size) + samples;
    ppm.data.reset(new (std::nothrow) uint8_t[ppm.size]);
    if (!ppm.data) return false;
    memcpy(ppm.data.get(), header, static_cast<size_t>(header_size));
    uint8_t* pixels = ppm.data.get() + header_size;
    const ToneCurve tone = make_tone_curve(settings.brightness, settings.contrast, settings.gamma);
    for (size_t i = 0; i < samples; i += 3) finish_pixel(picture.light.get() + i, settings, tone, pixels + i);
    return true;
}
