// GIF and BMP, and PNG and JPEG on systems without libpng and libjpeg-turbo
// (Windows, the cross builds, the web page), through stb_image.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/fit/decoders.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#if !defined(TARNVIL_HAVE_LIBPNG)
#define STBI_ONLY_PNG
#endif
#if !defined(TARNVIL_HAVE_LIBJPEG)
#define STBI_ONLY_JPEG
#endif
#include <stb_image.h>

namespace {

void release_stb(void* samples) { stbi_image_free(samples); }

int length(size_t size) { return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size); }

uint32_t little(const uint8_t* at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

// The size a PNG, GIF or BMP header declares, read directly: stb_image
// turns down sizes it will not take with reasons of its own, and a picture
// too large for the memory should be told so on every system alike.
bool declared_size(const uint8_t* bytes, size_t size, int64_t& width, int64_t& height) {
    auto big = [&](size_t at) { return int64_t{bytes[at]} << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3]; };
    if (size >= 24 && bytes[0] == 0x89 && memcmp(bytes + 12, "IHDR", 4) == 0) {
        width = big(16);
        height = big(20);
    } else if (size >= 10 && bytes[0] == 'G') {
        width = little(bytes + 6, 2);
        height = little(bytes + 8, 2);
    } else if (size >= 26 && bytes[0] == 'B' && little(bytes + 14, 4) == 12) {
        // OS/2's BITMAPCOREHEADER: 16-bit sizes, rows always from the bottom.
        width = little(bytes + 18, 2);
        height = little(bytes + 20, 2);
    } else if (size >= 26 && bytes[0] == 'B') {
        width = static_cast<int32_t>(little(bytes + 18, 4));
        height = static_cast<int32_t>(little(bytes + 22, 4));
        if (height < 0) height = -height;  // rows from the top
    } else {
        return false;
    }
    return true;
}

// stb_image reads a BMP or GIF cut short as if the missing bytes were
// zeros, and gives a picture partly black without a word, after taking the
// whole picture's memory. So the file's structure is checked first, in one
// pass over the file and without allocating anything.

// The header must be whole: stb_image reads past the end as zeros. An
// uncompressed BMP's rows, each padded to 4 bytes, must all lie within the
// file. A compressed one is turned down plainly: stb_image reads no RLE,
// and its own words for it would suggest a damaged file.
bool bmp_complete(const uint8_t* bytes, size_t size, int64_t width, int64_t height, char* reason, size_t capacity) {
    const uint32_t header = little(bytes + 14, 4);
    if (header != 12 && header != 40 && header != 56 && header != 108 && header != 124) {
        say_damaged(reason, capacity, "its header's size, %lu bytes, is none a BMP has",
                 static_cast<unsigned long>(header));
        return false;
    }
    if (size < 14 + header) {
        say_damaged(reason, capacity, "the file ends in its header");
        return false;
    }
    const uint32_t bits = little(bytes + (header == 12 ? 24 : 28), 2);
    const uint32_t compression = header == 12 ? 0 : little(bytes + 30, 4);
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        say_damaged(reason, capacity, "its bits per pixel, %lu, are none a BMP has",
                 static_cast<unsigned long>(bits));
        return false;
    }
    if (compression == 1 || compression == 2) {
        snprintf(reason, capacity, "a compressed (RLE) BMP, which tarnvil-fit does not read; save it uncompressed or as PNG");
        return false;
    }
    if (compression == 4 || compression == 5) {
        snprintf(reason, capacity, "a BMP holding a JPEG or PNG, which tarnvil-fit does not read; save it uncompressed or as PNG");
        return false;
    }
    if (compression != 0 && compression != 3) {
        say_damaged(reason, capacity, "its compression field holds %lu, which no BMP has",
                 static_cast<unsigned long>(compression));
        return false;
    }
    // The sides are within kMaxPictureSide here, so none of this overflows.
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    const uint64_t end = uint64_t{little(bytes + 10, 4)} + stride * static_cast<uint64_t>(height);
    if (end <= size) return true;
    say_damaged(reason, capacity, "its pixels need %llu bytes, the file has %llu",
             static_cast<unsigned long long>(end), static_cast<unsigned long long>(size));
    return false;
}

// stb_image's own reasons are a word or two meant for its developers; a
// user is told what is wrong with the file.
const char* stb_reason(const uint8_t* bytes) {
    static const struct {
        const char* terse;
        const char* words;
    } kReasons[] = {
        {"outofmem", "there is not enough memory for it"},
        {"bad BMP", "its header's fields do not agree with each other"},
        {"unknown BMP", "its header is of a kind no BMP has"},
        {"bad offset", "its pixels do not start where its header says"},
        {"invalid", "its colour table has no colours, or more than 256"},
        {"bad bpp", "its bits per pixel are not 1, 4, 8, 16, 24 or 32"},
        {"bad masks", "its colour masks are not ones a BMP can have"},
        {"not GIF", "its header is not a GIF's"},
        {"no clear code", "its image's data does not start with a clear code"},
        {"too many codes", "its image's data has more codes than LZW allows"},
        {"illegal code in raster", "its image's data has a code that stands for nothing yet"},
        {"bad Image Descriptor", "its image lies outside its screen"},
        {"missing color table", "its image has no colour table"},
        {"unknown code", "it has a block of no kind a GIF has"},
        {"bad png sig", "its signature is not a PNG's"},
        {"first not IHDR", "it does not start with its header chunk"},
        {"multiple IHDR", "it has two header chunks"},
        {"bad IHDR len", "its header chunk is of the wrong size"},
        {"1/2/4/8/16-bit only", "its bit depth is none a PNG has"},
        {"bad ctype", "its colour type and bit depth are none a PNG has"},
        {"bad comp method", "its compression method is none a PNG has"},
        {"bad filter method", "its filter method is none a PNG has"},
        {"bad interlace method", "its interlace method is none a PNG has"},
        {"0-pixel image", "the picture has no pixels"},
        {"invalid PLTE", "its palette chunk is of the wrong size"},
        {"no PLTE", "it has no palette, which its colour type needs"},
        {"tRNS with alpha", "it has a transparency chunk, which its colour type may not"},
        {"tRNS before PLTE", "its transparency chunk comes before its palette"},
        {"tRNS after IDAT", "its transparency chunk comes after its pixel data"},
        {"bad tRNS len", "its transparency chunk is of the wrong size"},
        {"no IDAT", "it has no pixel data"},
        {"outofdata", "the file ends inside its pixel data"},
        {"not enough pixels", "its pixel data ends before its last pixel"},
        {"invalid filter", "a row has a filter no PNG has"},
        {"no SOI", "it does not start as a JPEG does"},
        {"no SOF", "it has no frame header"},
        {"only 8-bit", "its samples are not 8-bit ones, which is all this build reads"},
        {"no header height", "its height comes after its data, which this build does not read"},
        {"0 width", "the picture has no pixels"},
        {"expected marker", "its data ends where a marker should be"},
        {"unknown marker", "it has a marker of no kind this build reads (an arithmetic-coded JPEG, say)"},
        {"can't merge dc and ac", "its progressive scans break the rules"},
        {"bad component count", "its scans' components break the rules"},
    };
    const char* terse = stbi_failure_reason();
    if (!terse) terse = "";
    for (const auto& reason : kReasons)
        if (strcmp(terse, reason.terse) == 0) return reason.words;
    // The rest are damaged compressed data, tables or segments.
    switch (bytes[0]) {
    case 'G': return "its data breaks the rules of a GIF";
    case 'B': return "its data breaks the rules of a BMP";
    case 0x89: return "its compressed data or one of its chunks is damaged";
    default: return "its data, tables or segments are damaged";
    }
}

// The first image of a GIF, the one stb_image decodes, must end with its
// block terminator inside the file, and its LZW codes must give at least
// one pixel for each of the image's. Only the length of the string each
// code stands for is kept, following stb_image's decoder step for step, so
// that whatever it reads in full passes. Where the codes break its rules,
// the walk stops and leaves the reason to stb_image.
class GifWalk {
public:
    GifWalk(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

    // Empty when the image is whole, else what is wrong.
    const char* check() {
        at_ = 13;
        if (size_ < at_) return "the file ends in its header";
        if (bytes_[10] & 0x80) at_ += 3 * (size_t{2} << (bytes_[10] & 7));
        for (;;) {
            if (at_ >= size_) return "the file ends before its first image";
            const uint8_t tag = bytes_[at_++];
            if (tag == 0x2C) return image();
            if (tag == 0x3B) return "the file ends before its first image";
            if (tag != 0x21) return "";
            ++at_;  // the extension's label
            if (!skip_blocks()) return "the file ends inside an extension";
        }
    }

private:
    static constexpr int32_t kCodes = 8192;  // as many as stb_image takes

    bool skip_blocks() {
        for (;;) {
            if (at_ >= size_) return false;
            const size_t length = bytes_[at_++];
            if (length == 0) return true;
            at_ += length;
        }
    }

    const char* image() {
        if (size_ - at_ < 10) return "the file ends in an image's header";
        const uint64_t pixels = uint64_t{little(bytes_ + at_ + 4, 2)} * little(bytes_ + at_ + 6, 2);
        const uint8_t flags = bytes_[at_ + 8];
        at_ += 9;
        if (flags & 0x80) at_ += 3 * (size_t{2} << (flags & 7));
        if (at_ >= size_) return "the file ends before the image's data";
        const int32_t minimum = bytes_[at_++];
        if (pixels == 0) return "its image has no pixels (0 across or 0 down)";
        if (minimum > 12) return "its LZW code size is above 12, the most a GIF may have";
        const int32_t clear = 1 << minimum;
        int32_t code_size = minimum + 1;
        int32_t mask = (1 << code_size) - 1;
        int32_t avail = clear + 2;
        int32_t old = -1;
        uint64_t yielded = 0;
        uint32_t bits = 0;
        int32_t valid = 0;
        size_t block = 0;
        for (int32_t i = 0; i < clear; ++i) length_[i] = 1;
        for (;;) {
            if (valid < code_size) {
                if (at_ >= size_) return "the file ends inside the image's data";
                if (block == 0) {
                    block = bytes_[at_++];
                    if (block == 0) break;  // the terminator, with no end code before it
                    continue;
                }
                --block;
                bits |= uint32_t{bytes_[at_++]} << valid;
                valid += 8;
                continue;
            }
            const int32_t code = static_cast<int32_t>(bits & static_cast<uint32_t>(mask));
            bits >>= code_size;
            valid -= code_size;
            if (code == clear) {
                code_size = minimum + 1;
                mask = (1 << code_size) - 1;
                avail = clear + 2;
                old = -1;
            } else if (code == clear + 1) {
                at_ += block;
                if (!skip_blocks()) return "the file ends inside the image's data";
                break;
            } else if (code <= avail) {
                if (old >= 0) {
                    if (avail >= kCodes) return "";
                    length_[avail++] = static_cast<uint16_t>(length_[old] + 1);
                } else if (code == avail) {
                    return "";
                }
                yielded += length_[code];
                if ((avail & mask) == 0 && avail <= 0x0FFF) {
                    ++code_size;
                    mask = (1 << code_size) - 1;
                }
                old = code;
            } else {
                return "";
            }
        }
        return yielded < pixels ? "the image's data ends before its last pixel" : "";
    }

    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    uint16_t length_[kCodes] = {};
};

bool gif_complete(const uint8_t* bytes, size_t size, char* reason, size_t capacity) {
    GifWalk walk(bytes, size);
    const char* wrong = walk.check();
    if (!*wrong) return true;
    say_damaged(reason, capacity, "%s", wrong);
    return false;
}

}  // namespace

bool stb_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    int64_t declared_width = 0;
    int64_t declared_height = 0;
    const bool declared = declared_size(bytes, size, declared_width, declared_height);
    if (declared && !picture_size_taken(declared_width, declared_height, reason, capacity)) return false;
    if (declared && bytes[0] == 'B' && !bmp_complete(bytes, size, declared_width, declared_height, reason, capacity))
        return false;
    int x = 0;
    int y = 0;
    int channels = 0;
    if (!stbi_info_from_memory(bytes, length(size), &x, &y, &channels)) {
        say_damaged(reason, capacity, "%s", stb_reason(bytes));
        return false;
    }
    // stb_image gives the height of a BMP stored from the top as negative.
    width = declared ? static_cast<int32_t>(declared_width) : x;
    height = declared ? static_cast<int32_t>(declared_height) : y;
    return true;
}

bool decode_stb(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity) {
    int32_t width = 0;
    int32_t height = 0;
    const bool deep = stbi_is_16_bit_from_memory(bytes, length(size)) != 0;
    if (!stb_size(bytes, size, width, height, reason, capacity)) return false;
    if (bytes[0] == 'G' && !gif_complete(bytes, size, reason, capacity)) return false;
    // stb_image holds the whole picture as RGBA, and more: a GIF's screen
    // twice over and a byte a pixel besides, a JPEG's components, a PNG's
    // inflated data and its samples before they are made RGBA.
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t rgba = pixels * (deep ? 8 : 4);
    int channels = 0;
    {
        int x = 0;
        int y = 0;
        stbi_info_from_memory(bytes, length(size), &x, &y, &channels);
    }
    const uint64_t held = bytes[0] == 'G'    ? 2 * rgba + pixels
                          : bytes[0] == 'B'  ? rgba
                          : bytes[0] == 0xFF ? rgba + pixels * static_cast<uint64_t>(channels)
                                             : 2 * rgba;
    if (!held_memory_fits(held, width, height, size, reason, capacity)) return false;
    int x = 0;
    int y = 0;
    void* samples = deep ? static_cast<void*>(stbi_load_16_from_memory(bytes, length(size), &x, &y, &channels, 4))
                         : static_cast<void*>(stbi_load_from_memory(bytes, length(size), &x, &y, &channels, 4));
    if (!samples) {
        say_damaged(reason, capacity, "%s", stb_reason(bytes));
        return false;
    }
    Picture picture = {x, y, deep ? 16 : 8, samples, release_stb};
    const bool sent = send_rows(picture, rows, reason, capacity);
    release_picture(picture);
    return sent;
}

#if !defined(TARNVIL_HAVE_LIBPNG)
bool png_comes_in_rows() { return false; }
bool png_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    return stb_size(bytes, size, width, height, reason, capacity);
}
bool decode_png(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity) {
    return decode_stb(bytes, size, rows, reason, capacity);
}
#endif

#if !defined(TARNVIL_HAVE_LIBJPEG)
bool jpeg_finds_every_gap() { return false; }

// The same bound on the data as with libjpeg (see decoders.h), from the
// blocks of the largest component: without reading the frame header, a
// quarter of them across and down is the least any layout can have.
// stb_image reads no arithmetic coding, so every file here is taken as
// Huffman-coded.
bool jpeg_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    if (jpeg_is_arithmetic(bytes, size)) {
        snprintf(reason, capacity,
                 "an arithmetic-coded JPEG, which this build of tarnvil-fit does not read; save it as an ordinary JPEG or as PNG");
        return false;
    }
    if (!stb_size(bytes, size, width, height, reason, capacity) || !picture_size_taken(width, height, reason, capacity))
        return false;
    const uint64_t blocks = (static_cast<uint64_t>(width) + 31) / 32 * ((static_cast<uint64_t>(height) + 31) / 32);
    return jpeg_holds_its_blocks(blocks, false, bytes, size, width, height, reason, capacity);
}
// stb_image decodes a JPEG at its full size only.
bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t, const PictureRows& rows, char* reason, size_t capacity) {
    return decode_stb(bytes, size, rows, reason, capacity);
}
#endif
