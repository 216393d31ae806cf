// Draws teletext pages as render_teletext does, for the emulator's check
// of them (tests/emulator/teletext_pages.mjs).
//
//   teletext_preview PAGE PNG [PAGE PNG ...]
//
// Each PAGE is a file of the 1000 bytes at &7C00. Exit status 0, or 1
// with a message when a page cannot be read or a PNG written.
#include <cstdio>

#include "lib/render/png.h"
#include "lib/teletext/teletext.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 != 1) {
        fputs("usage: teletext_preview PAGE PNG [PAGE PNG ...]\n", stderr);
        return 1;
    }
    for (int i = 1; i < argc; i += 2) {
        uint8_t page[kTeletextPageBytes];
        FILE* in = fopen(argv[i], "rb");
        const bool read = in && fread(page, 1, sizeof page, in) == sizeof page;
        if (in) fclose(in);
        IndexedImage image;
        PngBytes png;
        if (!read || !render_teletext(page, image) || !encode_png(image, png)) {
            fprintf(stderr, "teletext_preview: %s: not a page of %d bytes, or out of memory\n", argv[i],
                    static_cast<int>(kTeletextPageBytes));
            return 1;
        }
        FILE* out = fopen(argv[i + 1], "wb");
        const bool written = out && fwrite(png.data.get(), 1, png.size, out) == png.size;
        if ((out && fclose(out) != 0) || !written) {
            fprintf(stderr, "teletext_preview: %s could not be written\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
