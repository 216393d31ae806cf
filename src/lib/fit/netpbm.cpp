// The netpbm formats: PBM, PGM and PPM, plain (P1, P2, P3) and raw (P4, P5,
// P6), and PAM (P7). No library reads them all on every system tarnvil is
// built for, and their samples need no decoding, only counting and scaling:
// a maximum value below 255 is scaled up to 8 bits, one above it to 16.
#include <cstdio>
#include <cstring>

#include "lib/fit/decoders.h"

namespace {

struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
};

bool is_space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// White space and comments, which run from '#' to the end of the line.
void skip_space(Cursor& in) {
    while (in.p < in.end) {
        if (*in.p == '#') {
            while (in.p < in.end && *in.p != '\n' && *in.p != '\r') ++in.p;
        } else if (is_space(*in.p)) {
            ++in.p;
        } else {
            return;
        }
    }
}

// A decimal number of at most `limit`, after white space and comments.
bool number(Cursor& in, uint32_t limit, uint32_t& value) {
    skip_space(in);
    if (in.p == in.end || *in.p < '0' || *in.p > '9') return false;
    uint64_t parsed = 0;
    for (; in.p < in.end && *in.p >= '0' && *in.p <= '9'; ++in.p) {
        parsed = parsed * 10 + static_cast<uint64_t>(*in.p - '0');
        if (parsed > limit) return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

// A PAM header line's keyword, up to white space.
bool keyword(Cursor& in, const char* word) {
    const size_t length = strlen(word);
    if (static_cast<size_t>(in.end - in.p) < length || memcmp(in.p, word, length) != 0) return false;
    if (in.p + length < in.end && !is_space(in.p[length])) return false;
    in.p += length;
    return true;
}

enum class Kind { kBitmap, kGrey, kColour };

struct Header {
    char type;  // '1' .. '7'
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;   // samples per pixel
    uint32_t maxval = 1;
    bool alpha = false;   // the last sample of a PAM tuple
    bool bitmap_ones_are_black = false;
    Kind kind = Kind::kColour;
};

constexpr uint32_t kLargestNumber = 0x7FFFFFFF;

bool bad(char* reason, size_t capacity, const char* what) {
    snprintf(reason, capacity, "%s", what);
    return false;
}

bool read_pam_header(Cursor& in, Header& header, char* reason, size_t capacity) {
    char tuple_type[64] = "";
    for (;;) {
        skip_space(in);
        if (in.p == in.end) return bad(reason, capacity, "the PAM header has no ENDHDR");
        if (keyword(in, "ENDHDR")) break;
        uint32_t* field = keyword(in, "WIDTH") ? &header.width : keyword(in, "HEIGHT") ? &header.height
                          : keyword(in, "DEPTH") ? &header.depth : keyword(in, "MAXVAL") ? &header.maxval : nullptr;
        if (field) {
            if (!number(in, kLargestNumber, *field)) return bad(reason, capacity, "a PAM header field is not a number");
            continue;
        }
        if (!keyword(in, "TUPLTYPE")) return bad(reason, capacity, "the PAM header has an unknown line");
        while (in.p < in.end && (*in.p == ' ' || *in.p == '\t')) ++in.p;
        const uint8_t* start = in.p;
        while (in.p < in.end && *in.p != '\n' && *in.p != '\r') ++in.p;
        const size_t used = strlen(tuple_type);
        snprintf(tuple_type + used, sizeof tuple_type - used, "%.*s", static_cast<int>(in.p - start), start);
    }
    // The raster starts after the line feed that ends ENDHDR.
    if (in.p < in.end && *in.p == '\r') ++in.p;
    if (in.p < in.end && *in.p == '\n') ++in.p;
    header.alpha = strstr(tuple_type, "_ALPHA") != nullptr || (tuple_type[0] == '\0' && (header.depth == 2 || header.depth == 4));
    const uint32_t colours = header.depth - (header.alpha ? 1 : 0);
    if (header.depth < 1 || header.depth > 4 || (colours != 1 && colours != 3))
        return bad(reason, capacity, "a PAM file of this depth holds no picture tarnvil-fit reads");
    header.kind = colours == 3 ? Kind::kColour : Kind::kGrey;
    return true;
}

bool read_header(Cursor& in, Header& header, char* reason, size_t capacity) {
    header.type = static_cast<char>(in.p[1]);
    in.p += 2;
    if (in.p < in.end && !is_space(*in.p)) return bad(reason, capacity, "not a netpbm file");
    if (header.type == '7') {
        if (!read_pam_header(in, header, reason, capacity)) return false;
    } else {
        const bool bitmap = header.type == '1' || header.type == '4';
        if (!number(in, kLargestNumber, header.width) || !number(in, kLargestNumber, header.height) ||
            (!bitmap && !number(in, kLargestNumber, header.maxval)))
            return bad(reason, capacity, "the netpbm header is cut short or not numbers");
        header.kind = bitmap ? Kind::kBitmap : header.type == '2' || header.type == '5' ? Kind::kGrey : Kind::kColour;
        header.depth = header.kind == Kind::kColour ? 3 : 1;
        header.bitmap_ones_are_black = bitmap;
        // One white space character ends the header of a raw file.
        if (header.type >= '4' && in.p < in.end) ++in.p;
    }
    if (header.maxval < 1 || header.maxval > 65535)
        return bad(reason, capacity, "the maximum value must be 1 to 65535");
    return true;
}

// Samples in the file's order, from its raw or plain raster.
struct Samples {
    Cursor in;
    const Header& header;
    uint32_t bit = 8;  // the next bit of a raw bitmap's current byte, counted down

    bool next(uint32_t& value) {
        switch (header.type) {
        case '1':  // '0' and '1', with or without white space between
            skip_space(in);
            if (in.p == in.end || (*in.p != '0' && *in.p != '1')) return false;
            value = *in.p++ == '1';
            return true;
        case '2':
        case '3':
            return number(in, 65535, value);
        case '4':
            if (bit == 0) {
                bit = 8;
                ++in.p;
            }
            if (in.p == in.end) return false;
            value = (*in.p >> --bit) & 1;
            return true;
        default:
            if (header.maxval < 256) {
                if (in.p == in.end) return false;
                value = *in.p++;
            } else {
                if (in.end - in.p < 2) return false;
                value = uint32_t{in.p[0]} << 8 | in.p[1];
                in.p += 2;
            }
            return true;
        }
    }
    // Rows of a raw bitmap start on a byte of their own.
    void end_row() {
        if (header.type == '4' && bit != 8) {
            bit = 8;
            ++in.p;
        }
    }
};

}  // namespace

bool netpbm_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason,
                 size_t capacity) {
    Cursor in{bytes, bytes + size};
    Header header;
    if (!read_header(in, header, reason, capacity)) return false;
    width = static_cast<int32_t>(header.width);
    height = static_cast<int32_t>(header.height);
    return true;
}

namespace {

// The fewest bytes the raster can take: exactly its samples in a raw file;
// in a plain one, a digit for each sample and white space between them
// (none needed between a PBM's digits). Checked before the picture's memory
// is taken, so a header alone cannot make it.
uint64_t least_raster_bytes(const Header& header) {
    const uint64_t samples = uint64_t{header.width} * header.height * header.depth;
    switch (header.type) {
    case '1': return samples;
    case '2':
    case '3': return 2 * samples - 1;
    case '4': return (uint64_t{header.width} + 7) / 8 * header.height;
    default: return samples * (header.maxval > 255 ? 2 : 1);
    }
}

bool decode_whole(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity) {
    Cursor in{bytes, bytes + size};
    Header header;
    if (!read_header(in, header, reason, capacity)) return false;
    if (least_raster_bytes(header) > static_cast<uint64_t>(in.end - in.p))
        return bad(reason, capacity, "the file ends before its last pixel, or a sample is not a number");
    const bool deep = header.maxval > 255;
    // Raw 8-bit colour, as most PPMs and the page's PAMs are, is already
    // the picture's samples: one copy, no alpha where there is none.
    const uint64_t raster = uint64_t{header.width} * header.height * header.depth;
    const bool direct = (header.type == '6' || header.type == '7') && header.kind == Kind::kColour &&
                        header.maxval == 255 && raster <= static_cast<uint64_t>(in.end - in.p);
    if (!allocate_picture(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height), deep ? 16 : 8, size,
                          picture, reason, capacity, direct ? static_cast<int32_t>(header.depth) : 4))
        return false;
    if (direct) {
        memcpy(picture.samples, in.p, static_cast<size_t>(raster));
        return true;
    }
    const uint32_t full = deep ? 65535 : 255;
    auto scaled = [&](uint32_t value) { return (value * full + header.maxval / 2) / header.maxval; };
    Samples samples{in, header};
    uint8_t* narrow = static_cast<uint8_t*>(picture.samples);
    uint16_t* wide = static_cast<uint16_t*>(picture.samples);
    size_t at = 0;
    for (uint32_t y = 0; y < header.height; ++y) {
        for (uint32_t x = 0; x < header.width; ++x) {
            uint32_t tuple[4] = {0, 0, 0, header.maxval};
            for (uint32_t s = 0; s < header.depth; ++s) {
                if (!samples.next(tuple[s])) {
                    release_picture(picture);
                    return bad(reason, capacity, "the file ends before its last pixel, or a sample is not a number");
                }
                if (tuple[s] > header.maxval) {
                    release_picture(picture);
                    return bad(reason, capacity, "a sample is above the maximum value");
                }
            }
            uint32_t pixel[4];
            if (header.kind == Kind::kBitmap) {
                const uint32_t lit = header.bitmap_ones_are_black ? 1 - tuple[0] : tuple[0];
                pixel[0] = pixel[1] = pixel[2] = lit * full;
                pixel[3] = full;
            } else {
                const uint32_t colours = header.kind == Kind::kGrey ? 1 : 3;
                for (uint32_t c = 0; c < 3; ++c) pixel[c] = scaled(tuple[colours == 1 ? 0 : c]);
                pixel[3] = header.alpha ? scaled(tuple[colours]) : full;
            }
            for (uint32_t c = 0; c < 4; ++c, ++at) {
                if (deep)
                    wide[at] = static_cast<uint16_t>(pixel[c]);
                else
                    narrow[at] = static_cast<uint8_t>(pixel[c]);
            }
        }
        samples.end_row();
    }
    return true;
}

}  // namespace

bool decode_netpbm(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity) {
    Picture picture;
    const bool done = decode_whole(bytes, size, picture, reason, capacity) && send_rows(picture, rows, reason, capacity);
    release_picture(picture);
    return done;
}
