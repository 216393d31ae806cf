#include "screen/writer.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "screen/conversion.h"

namespace {

Stored write_beside_input(void*, const char* name, const char* suffix, const void* data, size_t size) {
    // A name too long for this buffer is also too long for the file
    // system, so it is reported like any other file that cannot be created.
    char path[platform::kMaxPath + 16];
    if (strlen(name) >= platform::kMaxPath) return Stored::kNotCreated;
    snprintf(path, sizeof path, "%s%s", name, suffix);
    switch (platform::write_whole_file(path, data, size)) {
    case platform::Written::kDone:
        return Stored::kStored;
    case platform::Written::kNotCreated:
        return Stored::kNotCreated;
    case platform::Written::kNotWritten:
        break;
    }
    return Stored::kNotWritten;
}

Stored store_in_memory(void* context, const char*, const char* suffix, const void* data, size_t size) {
    ScreenFiles& files = *static_cast<ScreenFiles*>(context);
    const bool dump = strcmp(suffix, ".bbc") == 0;
    void* into = dump ? static_cast<void*>(files.dump) : static_cast<void*>(files.inf);
    if (size > (dump ? sizeof files.dump : sizeof files.inf)) return Stored::kNotWritten;
    memcpy(into, data, size);
    (dump ? files.dump_size : files.inf_size) = static_cast<int32_t>(size);
    return Stored::kStored;
}

}  // namespace

ScreenOutput screen_files_in_memory(ScreenFiles& files) { return {&files, store_in_memory}; }

int32_t sidecar_line(uint32_t start, char (&line)[32]) {
    return snprintf(line, sizeof line, "$.SCREEN %06lx %06lx\n", static_cast<unsigned long>(start), 0UL);
}

ScreenOutput screen_files_beside_input() { return {nullptr, write_beside_input}; }

void write_screen(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                  const ThresholdMatrix& matrix) {
    write_screen_to(name, options, planes, matrix, screen_files_beside_input(), standard_output());
}

void write_screen_to(const char* name, const ConversionOptions& options, const ImagePlanes& planes,
                     const ThresholdMatrix& matrix, const ScreenOutput& output, const MessageSink& sink) {
    say(sink, "Opening output file \"%s.bbc\"...\n", name);
    const ScreenMode& mode = screen_mode_for(options.mode);
    uint8_t screen[kMaxScreenBytes];
    render_screen(options, planes, matrix, screen);
    const Stored dump = output.store(output.context, name, ".bbc", screen, static_cast<size_t>(screen_bytes(mode)));
    if (dump == Stored::kNotCreated) {
        say(sink, "Unable to create output file \"%s.bbc\".\n", name);
    } else {
        say(sink, "MODE %ld has %ld bytes per row, %ld steady colours\nand %ld pixels per byte.\n",
            static_cast<long>(mode.mode), static_cast<long>(mode.bytes_per_row), static_cast<long>(mode.colours),
            static_cast<long>(mode.pixels_per_byte));
        if (dump == Stored::kNotWritten) say(sink, "Error writing output file \"%s.bbc\".\n", name);
    }

    say(sink, "Writing Droxa INF file...\n");
    char line[32];
    const int32_t length = sidecar_line(mode.screen_start, line);
    if (output.store(output.context, name, ".bbc.inf", line, static_cast<size_t>(length)) != Stored::kStored)
        say(sink, "Unable to create INF file \"%s.bbc.inf\".\n", name);
    say(sink, "Done!!!\n");
}
