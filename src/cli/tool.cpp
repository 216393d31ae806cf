#include "cli/tool.h"

#include <cstdlib>

#include "platform/platform.h"

namespace {

// A sidecar is optional, so one that is not a regular file is not waited
// on; a dump is what the user named, so a FIFO there is read.
int64_t read_file(void*, int32_t, InputKind kind, const char* path, uint8_t* buffer, size_t capacity) {
    return kind == InputKind::kSidecar ? platform::read_regular_file(path, buffer, capacity)
                                       : platform::read_file_prefix(path, buffer, capacity);
}

bool load_file(void*, int32_t, const char* path, LoadedFile& file) {
    uint8_t* bytes = nullptr;
    size_t size = 0;
    // "-" is standard input, as it is to the netpbm tools.
    const bool read = path[0] == '-' && path[1] == '\0' ? platform::read_whole_stdin(bytes, size)
                                                          : platform::read_whole_file(path, bytes, size);
    if (!read) return false;
    file = {bytes, size, bytes};
    return true;
}

}  // namespace

ToolRun shell_run() { return {standard_output(), standard_error(), true, nullptr, read_file, load_file}; }

void release_file(LoadedFile& file) {
    std::free(file.owned);
    file = LoadedFile{};
}
