// A whole conversion: option bytes, then a PPM file, through the writer.
// Input layout: one byte n, then n % 16 bytes of option block (up to the
// first NUL), then the PPM file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "harness.h"
#include "image/ppm.h"
#include "screen/halftone.h"
#include "screen/modes.h"
#include "screen/writer.h"

namespace {

std::vector<uint8_t> read_all(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return -1;
    const size_t option_bytes = std::min<size_t>(data[0] % 16, size - 1);
    const uint8_t* ppm = data + 1 + option_bytes;
    const size_t ppm_size = size - 1 - option_bytes;
    if (fuzzing::declares_too_many_pixels(ppm, ppm_size)) return -1;
    fuzzing::silence_stdout();

    const std::string block(reinterpret_cast<const char*>(data + 1), strnlen(reinterpret_cast<const char*>(data + 1), option_bytes));
    ConversionOptions options = kDefaultOptions;
    parse_option_block(block.c_str(), options);

    static const std::string path = fuzzing::scratch_directory() + "/picture.ppm";
    static const std::string dump_path = path + ".bbc";
    static const std::string inf_path = path + ".bbc.inf";
    if (!fuzzing::write_bytes(path, ppm, ppm_size)) abort();
    std::remove(dump_path.c_str());
    std::remove(inf_path.c_str());

    ImagePlanes planes{};
    ThresholdMatrix matrix{};
    if (read_ppm(path.c_str(), planes) != 1) return 0;
    build_threshold_matrix(options.halftone, matrix);
    write_screen(path.c_str(), options, planes, matrix);
    release_planes(planes);

    const ScreenMode& mode = screen_mode_for(options.mode);
    const std::vector<uint8_t> dump = read_all(dump_path);
    if (dump.size() != static_cast<size_t>(screen_bytes(mode))) abort();
    if (options.mode == 2)
        for (uint8_t byte : dump)
            if (byte & 0xC0) abort();
    char expected[32];
    snprintf(expected, sizeof expected, "$.SCREEN %06lx 000000\n", static_cast<unsigned long>(mode.screen_start));
    const std::vector<uint8_t> inf = read_all(inf_path);
    if (std::string(inf.begin(), inf.end()) != expected) abort();
    return 0;
}
