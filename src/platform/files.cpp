// File access in binary mode: descriptors of POSIX or of the Windows C
// runtime (whose wide-character calls take the UTF-8 names), or standard C
// streams.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/target.h"

#if defined(TARNVIL_POSIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(TARNVIL_WINDOWS)
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cwchar>
#else
#include <filesystem>
#include <system_error>
#endif

namespace platform {

const char* file_name_of(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

const char* extension_of(const char* path) {
    const char* name = file_name_of(path);
    const char* dot = strrchr(name, '.');
    return dot && dot != name ? dot : name + strlen(name);
}

namespace {

// Everything `read_some(into, room)` gives (a count, 0 at the end, -1 with
// errno set on an error), in a buffer that doubles as it fills. A regular
// file's size, where known, sizes it at once, so a large picture is read in
// one call into memory touched once. The memory check keeps a huge file
// from taking more than there is.
template <typename ReadSome>
bool read_all(ReadSome read_some, uint64_t expected, uint8_t*& bytes, size_t& size) {
    size_t capacity = 64 * 1024;
    if (expected >= capacity && expected < SIZE_MAX && memory_fits(expected + 1))
        capacity = static_cast<size_t>(expected) + 1;  // one more, to see the end without growing
    size_t used = 0;
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(capacity));
    int error = buffer ? 0 : ENOMEM;
    while (error == 0) {
        if (used == capacity) {
            uint8_t* grown = capacity <= SIZE_MAX / 2 && memory_fits(2 * static_cast<uint64_t>(capacity))
                                 ? static_cast<uint8_t*>(std::realloc(buffer, 2 * capacity))
                                 : nullptr;
            if (!grown) {
                error = ENOMEM;
                break;
            }
            buffer = grown;
            capacity *= 2;
        }
        const int64_t got = read_some(buffer + used, capacity - used);
        if (got < 0) error = errno;
        if (got <= 0) break;
        used += static_cast<size_t>(got);
    }
    if (error != 0) {
        std::free(buffer);
        errno = error;
        return false;
    }
    bytes = buffer;
    size = used;
    return true;
}

}  // namespace

#if defined(TARNVIL_POSIX) || defined(TARNVIL_WINDOWS)

namespace {

// ---- The system's own descriptor calls ----

enum class Access { kRead, kCreate };

// A directory opens for reading and reads as an empty file, as on Linux.
// On Windows, where it does not open, it stands in as this descriptor.
constexpr int kEmptyFile = -2;

#if defined(TARNVIL_POSIX)

int open_descriptor(const char* path, Access access) {
    const int flags = access == Access::kRead ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    for (;;) {
        const int fd = open(path, flags | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// Bytes read or written by one call, or -1 with errno set.
int64_t read_some(int fd, void* buffer, size_t size) {
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

int64_t write_some(int fd, const void* data, size_t size) {
    for (;;) {
        const ssize_t done = write(fd, data, size);
        if (done >= 0 || errno != EINTR) return done;
    }
}

int close_descriptor(int fd) { return close(fd); }

// The size of the regular file behind `fd`, or 0.
uint64_t regular_file_size(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Opens `path` for reading if it is a regular file. Without O_NONBLOCK a
// FIFO with no writer would wait in open(); on a regular file the flag
// changes nothing. -1 with errno set, or with `refused` set to what the
// path is instead.
int open_regular_input(const char* path, int64_t& refused) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd == -1 && errno == EINTR);
    struct stat info;
    if (fd == -1) {
        const int saved = errno;
        if (saved == ENOENT && lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) refused = kLinkToNothing;
        errno = saved;
        return -1;
    }
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
    const int saved = errno;
    close(fd);
    errno = saved;
    refused = kNotRegularFile;
    return -1;
}

// The file an output descriptor writes to, so that a failed write removes
// that file and nothing else.
struct OutputFile {
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool is(const struct stat& info) const {
        return S_ISREG(info.st_mode) && info.st_dev == device && info.st_ino == inode;
    }
};

void describe_output(int fd, OutputFile& file) {
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) file = {true, info.st_dev, info.st_ino};
}

// Removes the file `path` led to, once its descriptor is closed: the name
// itself when it is that file, else the end of the links it leads through.
void remove_output_file(const char* path, const OutputFile& file) {
    if (!file.regular) return;
    struct stat info;
    if (lstat(path, &info) == 0 && !S_ISLNK(info.st_mode)) {
        if (file.is(info)) unlink(path);
        return;
    }
    char* target = realpath(path, nullptr);
    if (!target) return;
    if (lstat(target, &info) == 0 && file.is(info)) unlink(target);
    free(target);
}

#else

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

int open_descriptor(const char* path, Access access) {
    wchar_t wide[kMaxPath];
    if (!wide_path(path, wide)) return -1;
    const int flags = access == Access::kRead ? _O_RDONLY : _O_WRONLY | _O_CREAT | _O_TRUNC;
    const int fd = _wopen(wide, flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd >= 0 || wide[0] == L'\0') return fd;
    // A wildcard left in a name is a pattern that matched nothing: no file
    // has such a name, which is what the same command says where the shell
    // leaves such a pattern alone.
    const wchar_t* name = wcsncmp(wide, L"\\\\?\\", 4) == 0 ? wide + 4 : wide;  // past a "\\?\" prefix
    if (access == Access::kRead && errno == EINVAL && wcspbrk(name, L"*?")) {
        errno = ENOENT;
        return -1;
    }
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return fd;
    if (access == Access::kRead) return kEmptyFile;
    errno = EISDIR;
    return -1;
}

constexpr size_t kLargestCall = size_t{1} << 30;

int64_t read_some(int fd, void* buffer, size_t size) {
    if (fd == kEmptyFile) return 0;
    return _read(fd, buffer, static_cast<unsigned>(size < kLargestCall ? size : kLargestCall));
}

int64_t write_some(int fd, const void* data, size_t size) {
    const int done = _write(fd, data, static_cast<unsigned>(size < kLargestCall ? size : kLargestCall));
    if (done == 0) errno = ENOSPC;
    return done == 0 ? -1 : done;
}

int close_descriptor(int fd) { return fd == kEmptyFile ? 0 : _close(fd); }

uint64_t regular_file_size(int fd) {
    struct _stat64 info;
    return _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFREG) && info.st_size > 0 ? static_cast<uint64_t>(info.st_size)
                                                                                       : 0;
}

int open_regular_input(const char* path, int64_t& refused) {
    const int fd = open_descriptor(path, Access::kRead);
    if (fd == kEmptyFile) {
        refused = kNotRegularFile;
        return -1;
    }
    if (fd == -1) {
        const int saved = errno;
        wchar_t wide[kMaxPath];
        if (saved == ENOENT && wide_path(path, wide)) {
            const DWORD attributes = GetFileAttributesW(wide);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                refused = kLinkToNothing;
        }
        errno = saved;
        return -1;
    }
    struct _stat64 info;
    if (_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG) return fd;
    _close(fd);
    refused = kNotRegularFile;
    return -1;
}

// The file an output descriptor writes to, by its final path, links
// resolved; empty for a device, or when the system cannot say.
struct OutputFile {
    bool regular = false;
    wchar_t target[kMaxPath] = {};
};

void describe_output(int fd, OutputFile& file) {
    struct _stat64 info;
    if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return;
    file.regular = true;
    const DWORD length = GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), file.target,
                                                   static_cast<DWORD>(kMaxPath), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= kMaxPath) file.target[0] = L'\0';
}

void remove_output_file(const char* path, const OutputFile& file) {
    if (!file.regular) return;
    if (file.target[0] != L'\0') {
        DeleteFileW(file.target);
        return;
    }
    // Without the final path: the name itself, unless it is a link.
    wchar_t wide[kMaxPath];
    if (!wide_path(path, wide)) return;
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        _wunlink(wide);
}

#endif

// ---- What the tools need, on either kind of descriptor ----

int descriptor(File file) { return static_cast<int>(file.handle); }

// Up to `size` bytes; fewer only at the end of the file; -1 on an error.
int64_t read_fully(int fd, void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const int64_t got = read_some(fd, static_cast<char*>(buffer) + done, size - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

// Writes every byte; false with errno set when a write fails.
bool write_fully(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int64_t done = write_some(fd, bytes, size);
        if (done < 0) return false;
        bytes += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

int64_t read_and_close(int fd, uint8_t* buffer, size_t capacity) {
    const int64_t got = read_fully(fd, buffer, capacity);
    const int saved = errno;
    close_descriptor(fd);
    errno = saved;
    return got;
}

}  // namespace

bool open_input(const char* path, File& file) {
    file.handle = open_descriptor(path, Access::kRead);
    return file.handle != -1;
}

size_t read_input(File file, void* buffer, size_t size) {
    const int64_t got = read_fully(descriptor(file), buffer, size);
    return got < 0 ? 0 : static_cast<size_t>(got);
}

void close_input(File file) { close_descriptor(descriptor(file)); }

Written write_whole_file(const char* path, const void* data, size_t size) {
    const int fd = open_descriptor(path, Access::kCreate);
    if (fd == -1) return Written::kNotCreated;
    OutputFile file;
    describe_output(fd, file);
    const bool written = write_fully(fd, data, size);
    int error = errno;
    const bool closed = close_descriptor(fd) == 0;
    if (written && closed) return Written::kDone;
    if (written) error = errno;
    remove_output_file(path, file);
    errno = error;
    return Written::kNotWritten;
}

int64_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity) {
    const int fd = open_descriptor(path, Access::kRead);
    if (fd == -1) return -1;
    if (fd == kEmptyFile) {
        errno = EISDIR;  // as reading a directory on Linux says
        return -1;
    }
    return read_and_close(fd, buffer, capacity);
}

int64_t read_regular_file(const char* path, uint8_t* buffer, size_t capacity) {
    int64_t refused = -1;
    const int fd = open_regular_input(path, refused);
    return fd == -1 ? refused : read_and_close(fd, buffer, capacity);
}

bool read_whole_file(const char* path, uint8_t*& bytes, size_t& size) {
    const int fd = open_descriptor(path, Access::kRead);
    if (fd == -1) return false;
    if (fd == kEmptyFile) {
        errno = EISDIR;
        return false;
    }
    const bool read =
        read_all([fd](uint8_t* into, size_t room) { return read_some(fd, into, room); }, regular_file_size(fd), bytes, size);
    const int saved = errno;
    close_descriptor(fd);
    errno = saved;
    return read;
}

bool read_whole_stdin(uint8_t*& bytes, size_t& size) {
#if defined(TARNVIL_WINDOWS)
    _setmode(0, _O_BINARY);
#endif
    return read_all([](uint8_t* into, size_t room) { return read_some(0, into, room); }, regular_file_size(0), bytes, size);
}

#if defined(TARNVIL_POSIX)

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

namespace {

// Makes the one folder `path` unless a folder is there; what is there and
// no folder is ENOTDIR.
bool make_folder(const char* path) {
    if (mkdir(path, 0777) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat info;
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
}

bool is_separator(char c) { return c == '/'; }

}  // namespace

bool same_file(const char* first, const char* second) {
    struct stat a;
    struct stat b;
    return stat(first, &a) == 0 && stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#else

bool stdout_is_terminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

namespace {

bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    wchar_t wide[kMaxPath];
    if (!wide_path(path, wide)) return false;
    const HANDLE file = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

namespace {

bool make_folder(const char* path) {
    wchar_t wide[kMaxPath];
    if (!wide_path(path, wide)) return false;
    if (_wmkdir(wide) == 0) return true;
    if (errno != EEXIST) return false;
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    errno = ENOTDIR;
    return false;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool same_file(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return file_identity(first, a) && file_identity(second, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

#endif

bool make_directories(const char* path) {
    const size_t length = strlen(path);
    if (length >= kMaxPath) {
        errno = ENAMETOOLONG;
        return false;
    }
    char partial[kMaxPath];
    memcpy(partial, path, length + 1);
    // Up, cutting off one name at a time, to the first folder that is there
    // or can be made: only what is missing is made, and nothing above it
    // is touched (a drive or a share may refuse even to be tried).
    size_t end = length;
    while (!make_folder(partial)) {
        if (errno != ENOENT) return false;
        size_t cut = end;
        while (cut > 0 && !is_separator(partial[cut - 1])) --cut;
        while (cut > 0 && is_separator(partial[cut - 1])) --cut;
        if (cut == 0) return false;
        partial[cut] = '\0';
        end = cut;
    }
    // Down again, one name at a time.
    while (end < length) {
        partial[end] = path[end];
        end = strlen(partial);
        if (!make_folder(partial)) return false;
    }
    return true;
}

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

Written write_whole_file(const char* path, const void* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) return Written::kNotCreated;
    const bool written = fwrite(data, 1, size, file) == size;
    int error = errno;
    const bool closed = fclose(file) == 0;
    if (written && closed) return Written::kDone;
    if (written) error = errno;
    // The regular file the name leads to, through any links.
    namespace fs = std::filesystem;
    std::error_code failed;
    const bool link = fs::is_symlink(fs::symlink_status(path, failed));
    const fs::path target = link ? fs::canonical(path, failed) : fs::path(path);
    if (!failed && fs::is_regular_file(fs::symlink_status(target, failed))) fs::remove(target, failed);
    errno = error;
    return Written::kNotWritten;
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

namespace {

bool read_stream(FILE* file, uint64_t expected, uint8_t*& bytes, size_t& size) {
    return read_all(
        [file](uint8_t* into, size_t room) -> int64_t {
            const size_t got = fread(into, 1, room, file);
            if (got == 0 && ferror(file)) {
                if (errno == 0) errno = EIO;
                return -1;
            }
            return static_cast<int64_t>(got);
        },
        expected, bytes, size);
}

}  // namespace

bool read_whole_file(const char* path, uint8_t*& bytes, size_t& size) {
    if (is_directory(path)) {
        errno = EISDIR;
        return false;
    }
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    std::error_code error;
    const std::uintmax_t length = std::filesystem::is_regular_file(path, error) ? std::filesystem::file_size(path, error) : 0;
    const uint64_t expected = error ? 0 : static_cast<uint64_t>(length);
    const bool read = read_stream(file, expected, bytes, size);
    const int saved = errno;
    fclose(file);
    errno = saved;
    return read;
}

bool read_whole_stdin(uint8_t*& bytes, size_t& size) { return read_stream(stdin, 0, bytes, size); }

bool make_directories(const char* path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error)) error = std::make_error_code(std::errc::not_a_directory);
    if (!error) return true;
    errno = error.value();
    return false;
}

bool same_file(const char* first, const char* second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error) && !error;
}

int64_t read_regular_file(const char* path, uint8_t* buffer, size_t capacity) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) return kNotRegularFile;
    if (!fs::exists(status) && fs::is_symlink(fs::symlink_status(path, error))) return kLinkToNothing;
    return read_file_prefix(path, buffer, capacity);
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
