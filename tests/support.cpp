#include "support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnvil-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string make_ppm(int width, int height, std::string_view pixels, std::string_view comment) {
    std::string text = "P6\n";
    if (!comment.empty()) {
        text += '#';
        text.append(comment);
        text += '\n';
    }
    text.append(std::to_string(width)).append(" ").append(std::to_string(height)).append("\n255\n");
    text.append(pixels);
    return text;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& directory, long file_size_limit) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    // Standard error goes to a file, so neither stream can block the other.
    FILE* err_file = tmpfile();
    if (!err_file) throw std::runtime_error("tmpfile failed");
    std::vector<std::string> copies = arguments;
    copies.insert(copies.begin(), program);
    std::vector<char*> argv;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        dup2(fileno(err_file), STDERR_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        if (chdir(directory.c_str()) != 0) _exit(126);
        if (file_size_limit > 0) {
            const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    RunResult result{{}, -1, {}};
    char chunk[65536];
    for (ssize_t got; (got = read(pipe_fds[0], chunk, sizeof chunk)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        result.out.append(chunk, static_cast<size_t>(got));
    }
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    rewind(err_file);
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, err_file)) > 0;) result.err.append(chunk, got);
    fclose(err_file);
    return result;
}

RunResult run_tarnvil(const std::vector<std::string>& arguments, const std::string& directory,
                      long file_size_limit) {
    return run_program(TARNVIL_BINARY, arguments, directory, file_size_limit);
}

std::string capture_stdout(const std::function<void()>& call) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    call();
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace testing_support
