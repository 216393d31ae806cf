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

bool turn_as_shown(int32_t orientation, Picture& picture, char* reason, size_t capacity) {
    if (orientation <= 1 || orientation > 8) return true;
    const bool swaps = orientation >= 5;
    Picture turned;
    if (!allocate_picture(swaps ? picture.height : picture.width, swaps ? picture.width : picture.height, picture.bits,
                          turned, reason, capacity, picture.channels)) {
        release_picture(picture);
        return false;
    }
    if (picture.bits == 16)
        turn<uint16_t>(picture, orientation, turned);
    else
        turn<uint8_t>(picture, orientation, turned);
    release_picture(picture);
    picture = turned;
    return true;
}

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
    return known;
}

bool decode_picture(const uint8_t* bytes, size_t size, int32_t reduce, Picture& picture, char* reason,
                    size_t capacity) {
    switch (picture_format(bytes, size)) {
    case PictureFormat::kPng: return decode_png(bytes, size, picture, reason, capacity);
    case PictureFormat::kJpeg:
        return decode_jpeg(bytes, size, reduce, picture, reason, capacity) &&
               turn_as_shown(jpeg_orientation(bytes, size), picture, reason, capacity);
    case PictureFormat::kGif:
    case PictureFormat::kBmp: return decode_stb(bytes, size, picture, reason, capacity);
    case PictureFormat::kNetpbm: return decode_netpbm(bytes, size, picture, reason, capacity);
    case PictureFormat::kUnknown: break;
    }
    snprintf(reason, capacity, "%s", kUnknown);
    return false;
}
