#include "cli/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace {

bool is_standard_output(const char* path) { return strcmp(path, "-") == 0; }

// "./photo.png" and "photo.png" name one file wherever they are.
const char* without_leading_dots(const char* path) {
    while (path[0] == '.' && (path[1] == '/' || path[1] == '\\')) path += 2;
    return path;
}

bool same_name(const char* first, const char* second) {
    return strcmp(without_leading_dots(first), without_leading_dots(second)) == 0;
}

}  // namespace

bool output_can_go_to(const ToolRun& run, const char* program, const char* path, const char* what) {
    if (!run.from_shell || !is_standard_output(path) || !platform::stdout_is_terminal()) return true;
    say(run.errors, "%s: not writing %s to a terminal; redirect standard output or name a file with -o\n", program,
        what);
    return false;
}

bool would_overwrite(const ToolRun& run, const char* output, const char* input) {
    if (is_standard_output(output)) return false;
    return same_name(output, input) || (run.from_shell && platform::same_file(output, input));
}

bool choose_name(ChosenNames& chosen, const char* name) {
    const size_t length = strlen(name) + 1;
    if (chosen.capacity - chosen.size < length) {
        size_t capacity = chosen.capacity ? chosen.capacity : 4096;
        while (capacity - chosen.size < length) capacity *= 2;
        std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
        if (!grown) return false;
        if (chosen.size) memcpy(grown.get(), chosen.text.get(), chosen.size);
        chosen.text = std::move(grown);
        chosen.capacity = capacity;
    }
    memcpy(chosen.text.get() + chosen.size, name, length);
    chosen.size += length;
    return true;
}

bool already_chosen(const ChosenNames& chosen, const char* name) {
    for (size_t at = 0; at < chosen.size; at += strlen(chosen.text.get() + at) + 1)
        if (same_name(name, chosen.text.get() + at)) return true;
    return false;
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
