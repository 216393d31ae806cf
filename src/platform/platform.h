// The one place that knows which operating system tarnvil runs on. Every
// call has a portable fallback built on the C++ standard library alone, so
// a new target starts from working code and only adds its fast paths here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The longest path the tools form: longer names are reported like any
// other file that cannot be created.
inline constexpr size_t kMaxPath = 4096;

// ---- Start of a program -------------------------------------------------

// Which conventions a program's arguments follow. tarnvil takes them as
// they come on every system. The companion tools behave as Windows ports
// of Unix tools do, where no shell expands wildcards for them: an argument
// with * or ? in its last component that names no file stands for the
// files it matches, sorted as Explorer sorts them, each with the directory
// part as written; one that matches nothing stays as it is, and opening it
// then fails as a missing file. The value of an option ("-o *.png") is
// taken as written, as is every argument with no pattern. Elsewhere the
// shell has expanded them.
enum class Arguments { kAsGiven, kToolConventions };

// For kToolConventions: whether an argument is an option whose value is the
// next argument, as "-o" is in "-o NAME". Up to "--", after which nothing is.
using TakesValue = bool (*)(const char* argument);

// Prepares the process for a batch of files: a file-size limit smaller
// than an output becomes a write error on that file instead of ending the
// run. On Windows the arguments are taken from the wide command line as
// UTF-8, so any file name reaches the file system intact, and a console
// that standard output or standard error writes to shows UTF-8 until the
// program ends, when it gets its own code page back.
void start_program(int& argc, char**& argv, Arguments arguments = Arguments::kAsGiven,
                   TakesValue takes_value = nullptr);

// True for "/?", the argument that asks a Windows program for its help;
// elsewhere that is a path like any other.
bool asks_for_help(const char* argument);

// The shell whose quoting a command printed for the user follows: cmd.exe
// on Windows, a POSIX shell elsewhere.
enum class Shell { kPosix, kCmd };
Shell native_shell();

// ---- Names --------------------------------------------------------------

// The last component of `path`, after its last '/' or '\\'. The names the
// tools choose and show are made from it in one way on every system, so
// that every system writes the same names; a '\\' in a POSIX name is
// taken as the end of a folder's name too.
const char* file_name_of(const char* path);

// The extension of `path`'s last component, from its last dot; "" for a
// name with none, or whose only dot starts it (".profile").
const char* extension_of(const char* path);

// ---- Files --------------------------------------------------------------

// An open file, in binary mode.
struct File {
    intptr_t handle = -1;
};

// Opens `path` for reading. A directory opens and reads as an empty file,
// as it does on Linux, so every system reports it the same way. False
// with errno set when the file cannot be opened.
bool open_input(const char* path, File& file);

// Reads up to `size` bytes; fewer only at the end of the file. A read
// error counts as the end of the file.
size_t read_input(File file, void* buffer, size_t size);

void close_input(File file);

// How write_whole_file ended.
enum class Written { kDone, kNotCreated, kNotWritten };

// Creates `path`, or truncates it, and writes `size` bytes to it. A path
// that is a symbolic link writes to the file the link leads to: the link
// is a name, not the output. kNotCreated or kNotWritten with errno set.
// What could not be written completely is removed, so nothing truncated
// is left looking finished: the regular file that was written, wherever
// the links lead, never a link itself. Devices, pipes and directories (a
// path that is /dev/full, or a link to it) are left alone.
Written write_whole_file(const char* path, const void* data, size_t size);

// Reads at most `capacity` bytes of `path` into `buffer`. Returns the count
// read, or -1 with errno set when the file cannot be opened or read.
int64_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity);

// Reads the whole file at `path` into memory from std::malloc, for the
// caller to std::free. False with errno set: ENOMEM when the file is more
// than this process can hold.
bool read_whole_file(const char* path, uint8_t*& bytes, size_t& size);

// read_whole_file for standard input, in binary mode.
bool read_whole_stdin(uint8_t*& bytes, size_t& size);

// Creates the folder `path`, and every folder above it that is missing,
// unless it is there. False with errno set: ENOTDIR when `path`, or a
// folder on the way, is there as something else.
bool make_directories(const char* path);

// True when both paths name one existing file.
bool same_file(const char* first, const char* second);

// What read_regular_file returns for a path it does not read.
inline constexpr int64_t kNotRegularFile = -2;  // a directory, FIFO, device or socket
inline constexpr int64_t kLinkToNothing = -3;   // a symbolic link whose target does not exist

// read_file_prefix for a file that is optional and must be a regular one:
// anything else is never opened in a way that waits (a FIFO without a
// writer would wait for ever) and is never read.
int64_t read_regular_file(const char* path, uint8_t* buffer, size_t capacity);

// True when standard output is an interactive terminal (on Windows, a
// console: not the NUL device, which the C runtime calls a terminal too).
bool stdout_is_terminal();

// Writes bytes to standard output unchanged (no line-end translation) and
// flushes it. False (errno set) on failure.
bool write_stdout_bytes(const void* data, size_t size);

// ---- Memory -------------------------------------------------------------

// True unless `bytes` more would exceed the memory this process can really
// have: available physical memory, address-space and data limits, and a
// container's memory limit, where the system tells them.
bool memory_fits(uint64_t bytes);

// Three planes of `samples` 32-bit samples each, for one image. False with
// nothing allocated when they cannot all be had.
bool allocate_planes(size_t samples, int32_t*& red, int32_t*& green, int32_t*& blue);

// Releases the planes of allocate_planes, red, then green, then blue, and
// clears the pointers. Memory may be kept for the next image.
void release_planes(int32_t*& red, int32_t*& green, int32_t*& blue);

}  // namespace platform
