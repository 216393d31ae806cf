#include "cli/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

bool is_standard_output(const char* path) { return strcmp(path, "-") == 0; }

}  // namespace

bool output_can_go_to(const ToolRun& run, const char* program, const char* path, const char* what) {
    if (!run.from_shell || !is_standard_output(path) || !platform::stdout_is_terminal()) return true;
    say(run.errors, "%s: not writing %s to a terminal; redirect standard output or name a file with -o\n", program,
        what);
    return false;
}

bool would_overwrite(const ToolRun& run, const char* output, const char* input) {
    if (is_standard_output(output)) return false;
    return strcmp(output, input) == 0 || (run.from_shell && platform::same_file(output, input));
}

bool write_output_file(const ToolRun& run, const char* program, const char* path, const void* data, size_t size) {
    if (is_standard_output(path)) {
        if (platform::write_stdout_bytes(data, size)) return true;
        say(run.errors, "%s: standard output: %s\n", program, strerror(errno));
        return false;
    }
    if (platform::write_whole_file(path, data, size) == platform::Written::kDone) {
        say(run.out, "Wrote %s\n", path);
        return true;
    }
    say(run.errors, "%s: %s: %s\n", program, path, strerror(errno));
    return false;
}
