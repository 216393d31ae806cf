// Arbitrary bytes as one command-line argument for the option-block parser.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver/driver.h"
#include "screen/modes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly sized copy, so any read past its terminator is caught.
    const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    const std::unique_ptr<char[]> argument(new char[length + 1]);
    memcpy(argument.get(), data, length);
    argument[length] = '\0';

    ConversionOptions options = kDefaultOptions;
    MessageText messages;
    const char* name = parse_option_block(argument.get(), options, collect_into(messages));
    if (name < argument.get() || name > argument.get() + length) abort();
    if (!is_screen_mode(options.mode)) abort();
    if (options.halftone < kHalftoneNone || options.halftone > kHalftoneDiagonal) abort();
    if (argument[0] != '-' && name != argument.get()) abort();
    // Every message is a whole line.
    if (messages.size > 0 && messages.text[messages.size - 1] != '\n') abort();
    release_text(messages);
    return 0;
}
