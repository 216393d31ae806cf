// File access in binary mode: POSIX descriptors, the wide-character CRT
// calls on Windows (file names arrive as UTF-8), or standard C streams.
#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/target.h"

#if defined(TARNVIL_POSIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(TARNVIL_WINDOWS)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <filesystem>
#include <system_error>
#endif

namespace platform {

#if defined(TARNVIL_POSIX)

namespace {

int descriptor(File file) { return static_cast<int>(file.handle); }

int open_retrying(const char* path, int flags) {
    for (;;) {
        const int fd = open(path, flags | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// Up to `size` bytes; fewer only at the end of the file; -1 on an error.
int64_t read_fully(int fd, void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, static_cast<char*>(buffer) + done, size - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

}  // namespace

bool open_input(const char* path, File& file) {
    const int fd = open_retrying(path, O_RDONLY);
    file.handle = fd;
    return fd >= 0;
}

size_t read_input(File file, void* buffer, size_t size) {
    const int64_t got = read_fully(descriptor(file), buffer, size);
    return got < 0 ? 0 : static_cast<size_t>(got);
}

void close_input(File file) { close(descriptor(file)); }

bool create_output(const char* path, File& file) {
    const int fd = open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC);
    file.handle = fd;
    return fd >= 0;
}

bool write_and_close(File file, const void* data, size_t size) {
    const int fd = descriptor(file);
    const char* bytes = static_cast<const char*>(data);
    bool written = true;
    while (size > 0) {
        const ssize_t done = write(fd, bytes, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            written = false;
            break;
        }
        bytes += done;
        size -= static_cast<size_t>(done);
    }
    const int saved = errno;
    const bool closed = close(fd) == 0;
    if (!written) errno = saved;
    return written && closed;
}

void remove_failed_output(const char* path) {
    struct stat info;
    if (lstat(path, &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))) unlink(path);
}

int64_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity) {
    const int fd = open_retrying(path, O_RDONLY);
    if (fd < 0) return -1;
    const int64_t got = read_fully(fd, buffer, capacity);
    const int saved = errno;
    close(fd);
    errno = saved;
    return got;
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

#elif defined(TARNVIL_WINDOWS)

namespace {

// A directory stands in as a file with nothing in it.
constexpr intptr_t kEmptyFile = -2;

int descriptor(File file) { return static_cast<int>(file.handle); }

// The UTF-8 path as UTF-16 for the wide CRT calls. False (errno set) for a
// path too long to convert.
bool wide_path(const char* path, wchar_t (&wide)[kMaxPath]) {
    if (path[0] == '\0') {
        wide[0] = L'\0';
        return true;
    }
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, static_cast<int>(kMaxPath)) == 0) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

bool is_directory(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int open_wide(const char* path, int flags, bool& directory) {
    directory = false;
    wchar_t wide[kMaxPath];
    if (!wide_path(path, wide)) return -1;
    const int fd = _wopen(wide, flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0 && wide[0] != L'\0') directory = is_directory(wide);
    return fd;
}

int64_t read_fully(int fd, void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t chunk = size - done < (1u << 30) ? size - done : (1u << 30);
        const int got = _read(fd, static_cast<char*>(buffer) + done, static_cast<unsigned>(chunk));
        if (got == 0) break;
        if (got < 0) return -1;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

}  // namespace

bool open_input(const char* path, File& file) {
    bool directory = false;
    const int fd = open_wide(path, _O_RDONLY, directory);
    file.handle = fd >= 0 ? fd : directory ? kEmptyFile : -1;
    return file.handle != -1;
}

size_t read_input(File file, void* buffer, size_t size) {
    if (file.handle == kEmptyFile) return 0;
    const int64_t got = read_fully(descriptor(file), buffer, size);
    return got < 0 ? 0 : static_cast<size_t>(got);
}

void close_input(File file) {
    if (file.handle != kEmptyFile) _close(descriptor(file));
}

bool create_output(const char* path, File& file) {
    bool directory = false;
    const int fd = open_wide(path, _O_WRONLY | _O_CREAT | _O_TRUNC, directory);
    if (fd < 0 && directory) errno = EISDIR;
    file.handle = fd;
    return fd >= 0;
}

bool write_and_close(File file, const void* data, size_t size) {
    const int fd = descriptor(file);
    const char* bytes = static_cast<const char*>(data);
    bool written = true;
    while (size > 0) {
        const size_t chunk = size < (1u << 30) ? size : (1u << 30);
        const int done = _write(fd, bytes, static_cast<unsigned>(chunk));
        if (done <= 0) {
            if (done == 0) errno = ENOSPC;
            written = false;
            break;
        }
        bytes += done;
        size -= static_cast<size_t>(done);
    }
    const int saved = errno;
    const bool closed = _close(fd) == 0;
    if (!written) errno = saved;
    return written && closed;
}

void remove_failed_output(const char* path) {
    wchar_t wide[kMaxPath];
    struct _stat64 info;
    if (wide_path(path, wide) && _wstat64(wide, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG) _wunlink(wide);
}

int64_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity) {
    bool directory = false;
    const int fd = open_wide(path, _O_RDONLY, directory);
    if (fd < 0) {
        if (directory) errno = EISDIR;
        return -1;
    }
    const int64_t got = read_fully(fd, buffer, capacity);
    const int saved = errno;
    _close(fd);
    errno = saved;
    return got;
}

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

#else

namespace {

FILE* stream(File file) { return reinterpret_cast<FILE*>(file.handle); }

// A directory opens as a stream on some systems and not on others; either
// way it must read as empty.
bool is_directory(const char* path) {
    std::error_code error;
    return path[0] != '\0' && std::filesystem::is_directory(path, error);
}

}  // namespace

bool open_input(const char* path, File& file) {
    if (is_directory(path)) {
        file.handle = 0;  // no stream: nothing to read
        return true;
    }
    FILE* opened = fopen(path, "rb");
    file.handle = reinterpret_cast<intptr_t>(opened);
    return opened != nullptr;
}

size_t read_input(File file, void* buffer, size_t size) {
    return file.handle == 0 ? 0 : fread(buffer, 1, size, stream(file));
}

void close_input(File file) {
    if (file.handle != 0) fclose(stream(file));
}

bool create_output(const char* path, File& file) {
    FILE* opened = fopen(path, "wb");
    file.handle = reinterpret_cast<intptr_t>(opened);
    return opened != nullptr;
}

bool write_and_close(File file, const void* data, size_t size) {
    const bool written = fwrite(data, 1, size, stream(file)) == size;
    const int saved = errno;
    const bool closed = fclose(stream(file)) == 0;
    if (!written) errno = saved;
    return written && closed;
}

void remove_failed_output(const char* path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    if (!error && (std::filesystem::is_regular_file(status) || std::filesystem::is_symlink(status)))
        std::filesystem::remove(path, error);
}

int64_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity) {
    if (is_directory(path)) {
        errno = EISDIR;
        return -1;
    }
    FILE* file = fopen(path, "rb");
    if (!file) return -1;
    const size_t got = fread(buffer, 1, capacity, file);
    const bool failed = ferror(file) != 0;
    const int saved = errno;
    fclose(file);
    errno = saved;
    return failed ? -1 : static_cast<int64_t>(got);
}

bool stdout_is_terminal() { return false; }

#endif

bool write_stdout_bytes(const void* data, size_t size) {
#if defined(TARNVIL_WINDOWS)
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const bool written = fwrite(data, 1, size, stdout) == size;
    return fflush(stdout) == 0 && written;
}

}  // namespace platform
