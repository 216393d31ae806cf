// A whole conversion in memory: an argument, then the file it names.
// Input layout: one byte n, then n % 16 bytes of option block (up to the
// first NUL), followed by the name "picture.ppm" in the argument, then the
// file's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/driver.h"
#include "harness.h"
#include "screen/modes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return -1;
    const size_t option_bytes = std::min<size_t>(data[0] % 16, size - 1);
    const uint8_t* ppm = data + 1 + option_bytes;
    const size_t ppm_size = size - 1 - option_bytes;
    if (fuzzing::declares_too_many_pixels(ppm, ppm_size)) return -1;
    // The check below tells a read picture by the converter's words; a
    // comment line, which the converter echoes with only the bytes from
    // space to 'z' kept, must not say them.
    std::string echoed;
    for (size_t i = 0; i < ppm_size; ++i)
        if (ppm[i] >= 32 && ppm[i] <= 122) echoed += static_cast<char>(ppm[i]);
    if (echoed.find("Now analysing file...") != std::string::npos) return -1;

    const std::string argument =
        std::string(reinterpret_cast<const char*>(data + 1), strnlen(reinterpret_cast<const char*>(data + 1), option_bytes)) +
        "picture.ppm";
    ConversionOptions options = kDefaultOptions;
    parse_option_block(argument.c_str(), options, no_messages());

    static ConvertedPicture out;
    MessageText console;
    convert_picture(argument.c_str(), ppm, ppm_size, collect_into(console), out);
    const std::string text(console.text, console.size);
    release_text(console);

    // A dump and its sidecar exactly when the picture was read.
    const bool read = text.find("\nNow analysing file...\n") != std::string::npos;
    if (read != (out.files.dump_size > 0) || read != (out.files.inf_size > 0)) abort();
    if (text.size() < 16 || text.compare(text.size() - 16, 16, "100% completed.\n") != 0) abort();
    if (!read) return 0;

    const ScreenMode& mode = screen_mode_for(options.mode);
    if (out.files.dump_size != screen_bytes(mode)) abort();
    if (options.mode == 2)
        for (int32_t i = 0; i < out.files.dump_size; ++i)
            if (out.files.dump[i] & 0xC0) abort();
    char expected[32];
    const int length =
        snprintf(expected, sizeof expected, "$.SCREEN %06lx 000000\n", static_cast<unsigned long>(mode.screen_start));
    if (out.files.inf_size != length || memcmp(out.files.inf, expected, static_cast<size_t>(length)) != 0) abort();
    return 0;
}
