#include "lib/fit/decode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "lib/fit/decoders.h"
#include "platform/platform.h"

PictureFormat picture_format(const uint8_t* bytes, size_t size) {
    auto starts = [&](const char* magic) {
        const size_t length = strlen(magic);
        return size >= length && memcmp(bytes, magic, length) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n")) return PictureFormat::kPng;
    if (starts("\xff\xd8\xff")) return PictureFormat::kJpeg;
    if (starts("GIF87a") || starts("GIF89a")) return PictureFormat::kGif;
    if (starts("BM")) return PictureFormat::kBmp;
    if (size >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7') return PictureFormat::kNetpbm;
    return PictureFormat::kUnknown;
}

namespace {

// Where the stored pixel of shown pixel (x, y) is, for EXIF orientations
// 1..8 of a picture stored `width` x `height`.
void stored_position(int32_t orientation, int32_t width, int32_t height, int32_t x, int32_t y, int32_t& sx,
                     int32_t& sy) {
    switch (orientation) {
    case 2: sx = width - 1 - x; sy = y; break;
    case 3: sx = width - 1 - x; sy = height - 1 - y; break;
    case 4: sx = x; sy = height - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = height - 1 - x; break;
    case 7: sx = width - 1 - y; sy = height - 1 - x; break;
    case 8: sx = width - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
    }
}

template <typename Sample>
void turn(const Picture& from, int32_t orientation, Picture& to) {
    const Sample* in = static_cast<const Sample*>(from.samples);
    Sample* out = static_cast<Sample*>(to.samples);
    const size_t channels = static_cast<size_t>(from.channels);
    for (int32_t y = 0; y < to.height; ++y) {
        for (int32_t x = 0; x < to.width; ++x) {
            int32_t sx = 0;
            int32_t sy = 0;
            stored_position(orientation, from.width, from.height, x, y, sx, sy);
            memcpy(out, in + (static_cast<size_t>(sy) * static_cast<size_t>(from.width) + static_cast<size_t>(sx)) * channels,
                   channels * sizeof(Sample));
            out += channels;
        }
    }
}

// A whole picture gathered from a decoder's rows, for what must be turned.
struct Gathered {
    Picture picture;
    size_t file_size = 0;
    size_t row_bytes = 0;
    int32_t rows = 0;
};

PictureRows gather_into(Gathered& gathered) {
    PictureRows rows;
    rows.context = &gathered;
    rows.start = [](void* context, int32_t width, int32_t height, int32_t bits, int32_t channels, char* reason,
                    size_t capacity) {
        Gathered& to = *static_cast<Gathered*>(context);
        to.row_bytes = static_cast<size_t>(width) * static_cast<size_t>(bits / 8 * channels);
        return allocate_picture(width, height, bits, to.file_size, to.picture, reason, capacity, channels);
    };
    rows.row = [](void* context, const void* samples) {
        Gathered& to = *static_cast<Gathered*>(context);
        memcpy(static_cast<uint8_t*>(to.picture.samples) + static_cast<size_t>(to.rows++) * to.row_bytes, samples,
               to.row_bytes);
    };
    return rows;
}

// A JPEG that a camera stored turned: decoded whole, turned, handed on.
bool decode_turned_jpeg(const uint8_t* bytes, size_t size, int32_t reduce, int32_t orientation, const PictureRows& rows,
                        char* reason, size_t capacity) {
    Gathered gathered;
    gathered.file_size = size;
    if (!decode_jpeg(bytes, size, reduce, gather_into(gathered), reason, capacity)) {
        release_picture(gathered.picture);
        return false;
    }
    Picture& picture = gathered.picture;
    const bool swaps = orientation >= 5;
    Picture turned;
    bool sent = allocate_picture(swaps ? picture.height : picture.width, swaps ? picture.width : picture.height,
                                 picture.bits, size, turned, reason, capacity, picture.channels);
    if (sent) {
        if (picture.bits == 16)
            turn<uint16_t>(picture, orientation, turned);
        else
            turn<uint8_t>(picture, orientation, turned);
        release_picture(picture);
        sent = send_rows(turned, rows, reason, capacity);
    }
    release_picture(picture);
    release_picture(turned);
    return sent;
}

constexpr uint64_t kArithmeticBlocks = 200'000;

const char kUnknown[] = "not a picture tarnvil-fit reads (PNG, JPEG, GIF, BMP, PBM, PGM, PPM or PAM)";

}  // namespace

bool read_picture_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason,
                       size_t capacity) {
    bool known = false;
    switch (picture_format(bytes, size)) {
    case PictureFormat::kPng: known = png_size(bytes, size, width, height, reason, capacity); break;
    case PictureFormat::kJpeg:
        known = jpeg_size(bytes, size, width, height, reason, capacity);
        if (known && jpeg_orientation(bytes, size) >= 5) std::swap(width, height);
        break;
    case PictureFormat::kGif:
    case PictureFormat::kBmp: known = stb_size(bytes, size, width, height, reason, capacity); break;
    case PictureFormat::kNetpbm: known = netpbm_size(bytes, size, width, height, reason, capacity); break;
    case PictureFormat::kUnknown: snprintf(reason, capacity, "%s", kUnknown); break;
    }
    return known && picture_size_taken(width, height, reason, capacity);
}

bool decode_picture(const uint8_t* bytes, size_t size, int32_t reduce, const PictureRows& rows, char* reason,
                    size_t capacity) {
    // Every decoder starts from a declared size within the limits.
    int32_t width = 0;
    int32_t height = 0;
    if (!read_picture_size(bytes, size, width, height, reason, capacity)) return false;
    switch (picture_format(bytes, size)) {
    case PictureFormat::kPng: return decode_png(bytes, size, rows, reason, capacity);
    case PictureFormat::kJpeg: {
        const int32_t orientation = jpeg_orientation(bytes, size);
        return orientation > 1 ? decode_turned_jpeg(bytes, size, reduce, orientation, rows, reason, capacity)
                               : decode_jpeg(bytes, size, reduce, rows, reason, capacity);
    }
    case PictureFormat::kGif:
    case PictureFormat::kBmp: return decode_stb(bytes, size, rows, reason, capacity);
    case PictureFormat::kNetpbm: return decode_netpbm(bytes, size, rows, reason, capacity);
    case PictureFormat::kUnknown: break;
    }
    snprintf(reason, capacity, "%s", kUnknown);
    return false;
}

bool jpeg_holds_its_blocks(uint64_t blocks, bool arithmetic, const uint8_t* bytes, size_t size, int64_t width,
                           int64_t height, char* reason, size_t capacity) {
    const uint64_t data = jpeg_entropy_bytes(bytes, size);
    // Arithmetic decoding's time follows the blocks, whatever the bytes:
    // a few bytes can set the coder's statistics so that every block after
    // them decodes as 64 large coefficients, at several microseconds each.
    const bool enough = !arithmetic ? blocks / 8 <= data : blocks <= kArithmeticBlocks ? blocks / 1024 <= data : blocks / 2 <= data;
    if (enough) return true;
    say_damaged(reason, capacity, "%llu bytes of data are too few for %lld x %lld pixels",
             static_cast<unsigned long long>(data), static_cast<long long>(width), static_cast<long long>(height));
    return false;
}
