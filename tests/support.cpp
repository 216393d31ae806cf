#if defined(_WIN32) && !defined(NTDDI_VERSION)
#define NTDDI_VERSION 0x0A000006  // Windows 10 1809, for the pseudo console
#endif
#include "support.h"

#include "cli/disc/disc_command.h"
#include "cli/fit/fit_command.h"
#include "cli/view/view_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// Test paths are UTF-8, as the programs take them on every system.
fs::path utf8_path(const std::string& path) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

std::string utf8_string(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir() {
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("tarnvil-test-" + std::to_string(seed()));
        if (fs::create_directory(candidate)) path_ = utf8_string(candidate);
    }
    if (path_.empty()) throw std::runtime_error("cannot make a scratch directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void write_file(const std::string& path, std::string_view bytes) {
    std::ofstream out(utf8_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(utf8_path(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(utf8_path(path), error));
}

long file_size(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(utf8_path(path), error);
    if (!fs::exists(status)) return -1;
    if (!fs::is_regular_file(status)) return 0;
    return static_cast<long>(fs::file_size(utf8_path(path), error));
}

void make_directory(const std::string& path) { ASSERT_TRUE(fs::create_directory(utf8_path(path))) << path; }

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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

std::string unavailable(Need need) {
    switch (need) {
    case Need::kDevFull:
#ifdef _WIN32
        return "Windows has no /dev/full";
#else
        return exists("/dev/full") ? "" : "this system has no /dev/full";
#endif
    case Need::kSymbolicLinks:
#ifdef _WIN32
        return "symbolic links need privileges on Windows";
#else
        return "";
#endif
    case Need::kFileSizeLimit:
#ifdef _WIN32
        return "Windows has no file-size limit for a process";
#else
        // Without the signal ignored, the limit ends the process: only the
        // platform layers that ignore it are tested with one.
        return std::string(TARNVIL_TEST_PLATFORM) == "portable" ? "the portable build does not ignore SIGXFSZ" : "";
#endif
    case Need::kFifos:
#ifdef _WIN32
        return "Windows has no FIFOs";
#else
        return "";
#endif
    case Need::kMemoryLimit:
#ifdef _WIN32
        return "the tests set no memory limit on Windows";
#else
        if (kAddressSanitizer) return "AddressSanitizer reserves more address space than any limit allows";
        return std::string(TARNVIL_TEST_EMULATOR).empty() ? "" : "an emulator needs more address space than the limit";
#endif
    }
    return "";
}

void link_to_dev_full(const std::string& path) { make_link("/dev/full", path); }

void make_link(const std::string& target, const std::string& path) {
    std::error_code error;
    fs::create_symlink(utf8_path(target), utf8_path(path), error);
    ASSERT_FALSE(error) << path;
}

std::string link_target(const std::string& path) {
    std::error_code error;
    const fs::path target = fs::read_symlink(utf8_path(path), error);
    return error ? "" : utf8_string(target);
}

void make_fifo([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
    FAIL() << "no FIFOs on Windows";
#else
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
#endif
}

namespace {

// Where the programs were built. Under wine the build directory has a
// Windows name of its own, which only the running test knows.
std::string program_directory() {
#ifdef _WIN32
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    return utf8_string(fs::path(std::wstring(path, length)).parent_path());
#else
    return TARNVIL_PROGRAM_DIR;
#endif
}

// On Windows the programs' text comes with CR LF line ends.
std::string with_unix_line_ends(std::string text) {
#ifdef _WIN32
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
#else
    return text;
#endif
}

#ifdef _WIN32

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()));
    return out;
}

// One argument quoted the way the C runtime splits a command line.
void append_quoted(std::wstring& line, const std::wstring& argument) {
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

HANDLE inheritable_temp_file(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

// A console for one run: the process attached to it, with nothing to
// read, showing what it writes to no one.
struct PseudoConsole {
    HPCON console = nullptr;
    HANDLE input_read = nullptr, input_write = nullptr, output = INVALID_HANDLE_VALUE;
    std::string attributes;
    PseudoConsole() {
        output = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE || !CreatePipe(&input_read, &input_write, nullptr, 0) ||
            CreatePseudoConsole(COORD{120, 50}, input_read, output, 0, &console) != S_OK)
            throw std::runtime_error("cannot make a pseudo console");
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        if (!InitializeProcThreadAttributeList(list(), 1, 0, &size) ||
            !UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console, sizeof console, nullptr,
                                       nullptr))
            throw std::runtime_error("cannot attach a pseudo console");
    }
    ~PseudoConsole() {
        DeleteProcThreadAttributeList(list());
        ClosePseudoConsole(console);
        CloseHandle(input_read);
        CloseHandle(input_write);
        CloseHandle(output);
    }
    PseudoConsole(const PseudoConsole&) = delete;
    PseudoConsole& operator=(const PseudoConsole&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST list() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data()); }
};

RunResult run_native(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const Limits& limits) {
    std::wstring line;
    append_quoted(line, wide(program));
    for (const std::string& argument : arguments) {
        line += L' ';
        append_quoted(line, wide(argument));
    }
    TempDir capture;
    const std::wstring out_path = wide(capture / "out"), err_path = wide(capture / "err");
    HANDLE out, err;
    if (limits.console == Console::kShared) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        out = err = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
    } else {
        out = inheritable_temp_file(out_path);
        err = inheritable_temp_file(err_path);
    }
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create the files for the output of " + program);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!limits.input.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        input = CreateFileW(wide(limits.input).c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
        if (input == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + limits.input);
    }
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = out;
    startup.StartupInfo.hStdError = err;
    std::optional<PseudoConsole> console;
    if (limits.console == Console::kOwn) startup.lpAttributeList = console.emplace().list();
    PROCESS_INFORMATION process{};
    RunResult result;
    result.exit_status = -1;
    const std::wstring where = wide(directory);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, console ? EXTENDED_STARTUPINFO_PRESENT : 0,
                        nullptr, where.c_str(), &startup.StartupInfo, &process))
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result.exit_status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(out);
    if (err != out) CloseHandle(err);
    if (!limits.input.empty()) CloseHandle(input);
    result.out = read_file(capture / "out").value_or("");
    result.err = read_file(capture / "err").value_or("");
    return result;
}

#else

RunResult run_native(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const Limits& limits) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    // Standard error goes to a file, so neither stream can block the other.
    FILE* err_file = tmpfile();
    if (!err_file) throw std::runtime_error("tmpfile failed");
    // A cross build's programs run under the emulator that runs the tests.
    std::vector<std::string> copies;
    const std::string emulator = TARNVIL_TEST_EMULATOR;
    for (size_t start = 0; start < emulator.size();) {
        const size_t bar = std::min(emulator.find('|', start), emulator.size());
        copies.push_back(emulator.substr(start, bar - start));
        start = bar + 1;
    }
    copies.push_back(program);
    copies.insert(copies.end(), arguments.begin(), arguments.end());
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
        if (!limits.input.empty()) {
            const int input = open(limits.input.c_str(), O_RDONLY);
            if (input < 0 || dup2(input, STDIN_FILENO) < 0) _exit(124);
            close(input);
        }
        if (limits.file_size > 0) {
            const rlimit limit{static_cast<rlim_t>(limits.file_size), static_cast<rlim_t>(limits.file_size)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!limits.cgroup.empty()) {
            const std::string pid = std::to_string(getpid());
            const int procs = open((limits.cgroup + "/cgroup.procs").c_str(), O_WRONLY);
            if (procs < 0 || write(procs, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) _exit(125);
            close(procs);
        }
        if (limits.address_space > 0) {
            const rlimit limit{static_cast<rlim_t>(limits.address_space), static_cast<rlim_t>(limits.address_space)};
            setrlimit(RLIMIT_AS, &limit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    RunResult result;
    result.exit_status = -1;
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
    struct rusage usage{};
    wait4(child, &status, 0, &usage);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    result.peak_kib = usage.ru_maxrss;
    rewind(err_file);
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, err_file)) > 0;) result.err.append(chunk, got);
    fclose(err_file);
    return result;
}

#endif

}  // namespace

std::string mode_line(int mode) {
    switch (mode) {
        case 0: return "MODE 0 has 80 bytes per row, 2 steady colours\nand 8 pixels per byte.\n";
        case 1: return "MODE 1 has 80 bytes per row, 4 steady colours\nand 4 pixels per byte.\n";
        case 2: return "MODE 2 has 80 bytes per row, 8 steady colours\nand 2 pixels per byte.\n";
        case 4: return "MODE 4 has 40 bytes per row, 2 steady colours\nand 8 pixels per byte.\n";
        case 5: return "MODE 5 has 40 bytes per row, 4 steady colours\nand 4 pixels per byte.\n";
        default: return "no such mode";
    }
}

std::string program(const std::string& name) {
    static const std::string directory = program_directory();
    return directory + "/" + name + TARNVIL_EXE_SUFFIX;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& directory, const Limits& limits) {
    RunResult result = run_native(program, arguments, directory, limits);
    result.raw_out = result.out;
    result.out = with_unix_line_ends(std::move(result.out));
    result.err = with_unix_line_ends(std::move(result.err));
    return result;
}

RunResult run_tarnvil(const std::vector<std::string>& arguments, const std::string& directory, const Limits& limits) {
    return run_program(program("tarnvil"), arguments, directory, limits);
}

namespace {

int64_t read_named(void* context, int32_t, InputKind, const char* path, uint8_t* buffer, size_t capacity) {
    const Files& files = *static_cast<const Files*>(context);
    const auto file = files.find(path);
    if (file == files.end()) {
        errno = ENOENT;
        return -1;
    }
    const size_t taken = std::min(file->second.size(), capacity);
    memcpy(buffer, file->second.data(), taken);
    return static_cast<int64_t>(taken);
}

bool load_named(void* context, int32_t, const char* path, LoadedFile& loaded) {
    const Files& files = *static_cast<const Files*>(context);
    const auto file = files.find(path);
    if (file == files.end()) {
        errno = ENOENT;
        return false;
    }
    loaded = {reinterpret_cast<const uint8_t*>(file->second.data()), file->second.size(), nullptr};
    return true;
}

}  // namespace

bool ToolCall::keep(const char* path, const void* bytes, size_t size) {
    results.emplace_back(path, std::string(static_cast<const char*>(bytes), size));
    return true;
}

ToolCall call_tool(Tool tool, std::vector<std::string> arguments, const Files& files, bool from_shell) {
    arguments.insert(arguments.begin(), tool == Tool::kFit ? "tarnvil-fit" : tool == Tool::kView ? "tarnvil-view" : "tarnvil-disc");
    std::vector<char*> argv;
    for (std::string& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    Messages out;
    Messages err;
    const ToolRun run{out.sink(), err.sink(), from_shell, const_cast<Files*>(&files), read_named, load_named};
    ToolCall call;
    const int argc = static_cast<int>(argv.size()) - 1;
    switch (tool) {
    case Tool::kFit:
        call.status = fit_pictures(argc, argv.data(), run, {&call, [](void* context, const ToolRun&, const char* path, const PpmBytes& ppm) {
                                       return static_cast<ToolCall*>(context)->keep(path, ppm.data.get(), ppm.size);
                                   }});
        break;
    case Tool::kView:
        call.status = view_dumps(argc, argv.data(), run, {&call, [](void* context, const ToolRun&, const char* path, const IndexedImage& image) {
                                     PngBytes png;
                                     return encode_png(image, png) && static_cast<ToolCall*>(context)->keep(path, png.data.get(), png.size);
                                 }});
        break;
    case Tool::kDisc:
        call.status = make_disc(argc, argv.data(), run, {&call, [](void* context, const ToolRun&, const char* path, const DiscImage& image) {
                                    return static_cast<ToolCall*>(context)->keep(path, image.bytes, image.size);
                                }});
        break;
    }
    call.out = out.text();
    call.err = err.text();
    return call;
}

}  // namespace testing_support
