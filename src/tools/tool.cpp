#include "tools/tool.h"

#include "platform/platform.h"

namespace {

int64_t read_file(void*, int32_t, InputKind, const char* path, uint8_t* buffer, size_t capacity) {
    return platform::read_file_prefix(path, buffer, capacity);
}

}  // namespace

ToolRun shell_run() { return {standard_output(), standard_error(), true, nullptr, read_file}; }
