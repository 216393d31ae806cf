#include "lib/fit/screen.h"

#include <memory>
#include <new>

#include "screen/conversion.h"
#include "screen/modes.h"

bool screen_of_samples(const ConversionOptions& options, const uint8_t* rgb, int32_t width, uint8_t* dump) {
    const size_t pixels = static_cast<size_t>(width) * kScreenLines;
    const std::unique_ptr<int32_t[]> planes(new (std::nothrow) int32_t[pixels * 3]);
    if (!planes) return false;
    // The planes are column after column, as tarnvil reads a PPM into them.
    const ImagePlanes image{width, kScreenLines, planes.get(), planes.get() + pixels, planes.get() + 2 * pixels};
    int32_t* const channels[3] = {image.red, image.green, image.blue};
    for (int32_t y = 0; y < kScreenLines; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                channels[c][static_cast<size_t>(x) * kScreenLines + static_cast<size_t>(y)] =
                    rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)];
    convert_to_screen(options, image, dump);
    return true;
}

bool convert_prepared(const FitSettings& settings, const PpmBytes& ppm, ScreenFiles& files) {
    const int32_t width = fit_width(settings);
    const size_t samples = static_cast<size_t>(width) * kScreenLines * 3;
    const ScreenMode& mode = screen_mode_for(settings.mode);
    if (ppm.size < samples || !screen_of_samples(conversion_for(settings), ppm.data.get() + (ppm.size - samples), width, files.dump))
        return false;
    files.dump_size = screen_bytes(mode);
    files.inf_size = sidecar_line(mode.screen_start, files.inf);
    return true;
}
