// Whole-file reads and writes shared by the three tools.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Opens `path` for writing as fopen's "wb" would; -1 with errno on failure.
int create_file(const char* path);

// Writes every byte to `fd`, carrying on after partial writes and
// interruptions, then closes it. False (errno set) if either failed.
bool write_and_close(int fd, const void* data, size_t size);

// Removes an output that could not be written completely, so nothing
// truncated is left looking finished. Device nodes, pipes and sockets
// (say, a path that is /dev/full itself) are left alone.
void remove_failed_output(const char* path);

// create_file plus write_and_close. -1 when the file cannot be created,
// 0 when writing or closing failed, 1 on success; errno tells why.
int write_new_file(const char* path, const void* data, size_t size);

// Writes a tool's finished output file. On failure removes what was
// written, prints "PROGRAM: PATH: reason" on standard error and returns
// false.
bool write_output_file(const char* program, const char* path, const void* data, size_t size);

// Reads at most `capacity` bytes of `path` into `buffer`. Returns the count
// read, or -1 with errno set when the file cannot be opened or read.
ssize_t read_file_prefix(const char* path, uint8_t* buffer, size_t capacity);
