#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int create_file(const char* path) { return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); }

bool write_and_close(int fd, const void* data, size_t size) {
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

int write_new_file(const char* path, const void* data, size_t size) {
    const int fd = create_file(path);
    if (fd < 0) return -1;
    return write_and_close(fd, data, size) ? 1 : 0;
}

bool write_output_file(const char* program, const char* path, const void* data, size_t size) {
    const int written = write_new_file(path, data, size);
    if (written == 1) return true;
    const int saved = errno;
    if (written == 0) remove_failed_output(path);
    fprintf(stderr, "%s: %s: %s\n", program, path, strerror(saved));
    return false;
}

ssize_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < capacity) {
        const ssize_t got = read(fd, buffer + done, capacity - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            close(fd);
            errno = saved;
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    close(fd);
    return static_cast<ssize_t>(done);
}
