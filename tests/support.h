// Helpers shared by the test files: scratch directories, file contents,
// running the built program, and capturing what a call prints.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A binary PPM: magic, optional comment line, size line, "255" line, pixels.
std::string make_ppm(int width, int height, std::string_view pixels, std::string_view comment = {});

struct RunResult {
    std::string out;
    int exit_status;  // -1 when the process did not exit normally
    std::string err;
};

// Runs `program` in `directory` with the given arguments. A positive
// `file_size_limit` (bytes) is set as the process's RLIMIT_FSIZE.
RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& directory, long file_size_limit = 0);

// The same for the built converter.
RunResult run_tarnvil(const std::vector<std::string>& arguments, const std::string& directory,
                      long file_size_limit = 0);

// Everything `call` writes to standard output.
std::string capture_stdout(const std::function<void()>& call);

}  // namespace testing_support
