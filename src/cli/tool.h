// A companion tool's run: where its messages go and where its inputs come
// from. From a shell the tools read files and write to the standard
// streams; the web page hands over bytes it holds and collects the
// messages. Either way the same request code makes the same checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"

enum class InputKind { kDump, kSidecar };

// A whole input file in memory; `owned`, if set, is freed with std::free.
struct LoadedFile {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    void* owned = nullptr;
};

struct ToolRun {
    MessageSink out;     // --help, --version and the files a run from a shell wrote
    MessageSink errors;
    bool from_shell;     // mistakes point to --help; "-o -" refuses a terminal
    void* context;
    // Reads at most `capacity` bytes of `path`, the `index`th dump named or
    // that dump's sidecar. Returns the count, or -1 with errno set; for a
    // sidecar that is there but not a regular file, without waiting on it,
    // platform::kNotRegularFile or platform::kLinkToNothing.
    int64_t (*read)(void* context, int32_t index, InputKind kind, const char* path, uint8_t* buffer,
                    size_t capacity);
    // Reads the whole of `path`, the `index`th operand. False with errno set.
    bool (*load)(void* context, int32_t index, const char* path, LoadedFile& file);
};

void release_file(LoadedFile& file);

// Where a tool's results go, the same shape for each tool: files or
// standard output from a shell, memory for the web page and the tests.
// `take` gets each result bound for `path`; false, after saying why on
// `run.errors`, when it could not keep it. Each tool's request function
// (fit_pictures, view_dumps, make_disc) returns the exit status.
template <typename Result>
struct ToolOutput {
    void* context;
    bool (*take)(void* context, const ToolRun& run, const char* path, const Result& result);
};

// Files, standard output and standard error.
ToolRun shell_run();
