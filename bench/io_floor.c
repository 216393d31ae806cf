/* The I/O floor of converting one picture per process: a statically
 * linked C program that reads the input file whole and writes a
 * 20480-byte dump and a 23-byte sidecar beside it, as tarnvil does, and
 * computes nothing.
 *
 *   io_floor FILE...
 */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static unsigned char input[1 << 20];

static int write_file(const char* path, const void* data, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return -1;
    const int written = write(fd, data, size) == (ssize_t)size;
    return close(fd) == 0 && written ? 0 : -1;
}

int main(int argc, char** argv) {
    static const char sidecar[] = "$.SCREEN 003000 000000\n";
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        char dump_path[4096 + 8], inf_path[4096 + 8];
        if (strlen(argv[i]) >= 4096) return 1;
        snprintf(dump_path, sizeof dump_path, "%s.bbc", argv[i]);
        snprintf(inf_path, sizeof inf_path, "%s.bbc.inf", argv[i]);
        const int fd = open(argv[i], O_RDONLY);
        if (fd < 0) return 1;
        while (read(fd, input, sizeof input) > 0) {
        }
        close(fd);
        status |= write_file(dump_path, input, 20480) | write_file(inf_path, sidecar, sizeof sidecar - 1);
    }
    return status ? 1 : 0;
}
