// Helpers shared by the test files: scratch directories, file contents,
// running the built programs, running the companion tools in memory, and
// collecting what a call prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/tool.h"
#include "console/console.h"

namespace testing_support {

// A fresh directory, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

void write_file(const std::string& path, std::string_view bytes);
std::optional<std::string> read_file(const std::string& path);
bool exists(const std::string& path);  // without following a symbolic link
long file_size(const std::string& path);  // -1 when there is no such file
void make_directory(const std::string& path);

// A binary PPM: magic, optional comment line, size line, "255" line, pixels.
std::string make_ppm(int width, int height, std::string_view pixels, std::string_view comment = {});

// The lines tarnvil prints of screen mode 0, 1, 2, 4 or 5, written out by
// hand from the machine's layout rather than taken from tarnvil's tables.
std::string mode_line(int mode);

// What some checks need of the system. `unavailable` says why this system
// lacks it, or returns "" when it has it.
enum class Need { kDevFull, kSymbolicLinks, kFileSizeLimit, kMemoryLimit, kFifos };
std::string unavailable(Need need);
// Links `path` to /dev/full (only where unavailable(Need::kDevFull) is "").
void link_to_dev_full(const std::string& path);
// A symbolic link at `path` to `target`, taken as it is written.
void make_link(const std::string& target, const std::string& path);
// Where the symbolic link `path` points; "" when it is not a link.
std::string link_target(const std::string& path);
// A FIFO at `path` (only where unavailable(Need::kFifos) is "").
void make_fifo(const std::string& path);

// Where a run's text goes on Windows: into files, as everywhere (kNone);
// onto a console of its own, a pseudo console, with standard output and
// error still going to files (kOwn); or onto this process's console
// (kShared), not captured.
enum class Console { kNone, kOwn, kShared };

struct Limits {
    long file_size = 0;          // bytes; RLIMIT_FSIZE
    uint64_t address_space = 0;  // bytes; RLIMIT_AS
    std::string cgroup = {};     // a control group directory to run in
    Console console = Console::kNone;  // Windows only
    std::string input = {};      // a file that standard input reads, if any
};

struct RunResult {
    std::string out;     // line ends as on Linux, whatever the system writes
    int exit_status = -1;  // -1 when the process did not exit normally
    std::string err;
    long peak_kib = -1;  // the child's peak resident memory, where known
    std::string raw_out; // standard output exactly as written
};

// The path of one of the built programs: "tarnvil", "tarnvil-view" or
// "tarnvil-disc".
std::string program(const std::string& name);

// Runs `program` in `directory` with the given arguments.
RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& directory, const Limits& limits = {});

// The same for the built converter.
RunResult run_tarnvil(const std::vector<std::string>& arguments, const std::string& directory,
                      const Limits& limits = {});

// Messages collected in memory, for comparing with what a program prints.
class Messages {
public:
    Messages() = default;
    ~Messages() { release_text(text_); }
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;
    MessageSink sink() { return collect_into(text_); }
    std::string text() const { return text_.text ? std::string(text_.text, text_.size) : std::string(); }

private:
    MessageText text_;
};

// Files in memory, by the names a command line gives them.
using Files = std::map<std::string, std::string>;

// What a companion tool's request function did in memory: the exit
// status, the messages, and each result with the path it was bound for.
struct ToolCall {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::pair<std::string, std::string>> results;
    bool keep(const char* path, const void* bytes, size_t size);  // true
};

// Runs a companion tool's request function (fit_pictures, view_dumps or
// make_disc) as `tarnvil-fit ARGUMENTS` and so on, every file it reads or
// loads taken from `files` by name, a name not there missing (ENOENT); its
// results are kept as their files' bytes (tarnvil-view's pictures as PNG).
// `from_shell` as the ToolRun's: mistakes then point to --help, and names
// are compared as files of the current directory.
enum class Tool { kFit, kView, kDisc };
ToolCall call_tool(Tool tool, std::vector<std::string> arguments, const Files& files, bool from_shell = false);

}  // namespace testing_support
