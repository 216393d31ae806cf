// Writes a conversion's screen memory, with its INF sidecar, beside the
// input or wherever the caller keeps them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "conversion_records.h"
#include "screen/modes.h"

// Writes NAME.bbc (the screen dump) and NAME.bbc.inf, printing progress.
// Failures are reported on standard output; the caller always goes on.
void write_screen(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                  const ThresholdMatrix& matrix);

// Where a conversion's two files go: beside the input for the command
// line, into memory for the web page, the fuzz harnesses and the tests.
enum class Stored { kStored, kNotCreated, kNotWritten };
struct ScreenOutput {
    void* context;
    // Stores `size` bytes as the file named `name` followed by `suffix`.
    Stored (*store)(void* context, const char* name, const char* suffix, const void* data, size_t size);
};

// write_screen with its files and messages going where the caller says.
void write_screen_to(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix, const ScreenOutput& output, const MessageSink& sink);

// The dump and the sidecar of one conversion, in memory. A size of 0
// means the file was not written.
struct ScreenFiles {
    uint8_t dump[kMaxScreenBytes];
    int32_t dump_size = 0;
    char inf[32];
    int32_t inf_size = 0;
};

ScreenOutput screen_files_in_memory(ScreenFiles& files);

// The sidecar's line for a dump loaded at `start`, the screen start of its
// mode: "$.SCREEN" at that address. Returns its length.
int32_t sidecar_line(uint32_t start, char (&line)[32]);

// The command line's: files beside the input, named after it.
ScreenOutput screen_files_beside_input();
