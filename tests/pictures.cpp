#include "pictures.h"

#include "lib/crc32.h"

namespace testing_support {

namespace {

void put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void chunk(std::string& png, const char* type, const std::string& data) {
    put32(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    put32(png, crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// zlib around stored deflate blocks.
std::string zlib_stored(const std::string& data) {
    std::string out = "\x78\x01";
    uint32_t a = 1;
    uint32_t b = 0;
    for (unsigned char byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at == 0 || at < data.size(); at += 65535) {
        const size_t length = std::min<size_t>(65535, data.size() - at);
        out += static_cast<char>(at + length >= data.size() ? 1 : 0);
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(~length & 0xFF);
        out += static_cast<char>((~length >> 8) & 0xFF);
        out.append(data, at, length);
    }
    put32(out, b << 16 | a);
    return out;
}

// The unfiltered scanlines of the pixels (x0 + i dx, y0 + j dy).
void pack_rows(const Samples& samples, int depth, int x0, int y0, int dx, int dy, std::string& out) {
    for (int y = y0; y < samples.height; y += dy) {
        if (x0 >= samples.width) return;
        out += '\0';  // filter: none
        uint32_t bits = 0;
        int used = 0;
        for (int x = x0; x < samples.width; x += dx) {
            for (int c = 0; c < samples.channels; ++c) {
                const uint32_t value =
                    samples.values[(static_cast<size_t>(y) * samples.width + x) * samples.channels + c];
                if (depth == 16) {
                    out += static_cast<char>(value >> 8);
                    out += static_cast<char>(value & 0xFF);
                    continue;
                }
                bits = bits << depth | value;
                used += depth;
                if (used == 8) {
                    out += static_cast<char>(bits);
                    bits = 0;
                    used = 0;
                }
            }
        }
        if (used > 0) out += static_cast<char>(bits << (8 - used));
    }
}

}  // namespace

std::string png_file(const Samples& samples, int depth, int colour_type, bool interlaced, const std::string& palette,
                     const std::string& transparency) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<uint32_t>(samples.width));
    put32(header, static_cast<uint32_t>(samples.height));
    header += static_cast<char>(depth);
    header += static_cast<char>(colour_type);
    header += std::string("\0\0", 2);
    header += static_cast<char>(interlaced ? 1 : 0);
    chunk(png, "IHDR", header);
    if (!palette.empty()) chunk(png, "PLTE", palette);
    if (!transparency.empty()) chunk(png, "tRNS", transparency);
    std::string rows;
    if (interlaced) {
        const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : passes) pack_rows(samples, depth, p[0], p[1], p[2], p[3], rows);
    } else {
        pack_rows(samples, depth, 0, 0, 1, 1, rows);
    }
    chunk(png, "IDAT", zlib_stored(rows));
    chunk(png, "IEND", "");
    return png;
}

std::string gif_file(const Samples& indices, const std::string& palette, int transparent) {
    std::string gif = "GIF89a";
    auto put16 = [&](int value) {
        gif += static_cast<char>(value & 0xFF);
        gif += static_cast<char>(value >> 8);
    };
    put16(indices.width);
    put16(indices.height);
    gif += std::string("\xF7\0\0", 3);  // a 256-colour global palette
    gif += palette;
    if (transparent >= 0) gif += std::string("\x21\xF9\x04\x01\0\0", 6) + static_cast<char>(transparent) + '\0';
    gif += ',';
    put16(0);
    put16(0);
    put16(indices.width);
    put16(indices.height);
    gif += '\0';
    // 9-bit codes, each pixel its own code, and a clear code often enough
    // that the code size never grows.
    std::string data;
    uint32_t bits = 0;
    int used = 0;
    auto code = [&](uint32_t value) {
        bits |= value << used;
        for (used += 9; used >= 8; used -= 8, bits >>= 8) data += static_cast<char>(bits & 0xFF);
    };
    code(256);
    for (size_t i = 0; i < indices.values.size(); ++i) {
        if (i % 250 == 249) code(256);
        code(indices.values[i]);
    }
    code(257);
    if (used > 0) data += static_cast<char>(bits & 0xFF);
    gif += '\x08';
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t length = std::min<size_t>(255, data.size() - at);
        gif += static_cast<char>(length);
        gif.append(data, at, length);
    }
    gif += std::string("\0;", 2);
    return gif;
}

std::string netpbm_file(char type, const Samples& samples, uint32_t maxval, const std::string& tuple_type) {
    std::string out = std::string("P") + type + "\n# a test picture\n";
    if (type == '7') {
        out += "WIDTH " + std::to_string(samples.width) + "\nHEIGHT " + std::to_string(samples.height) + "\nDEPTH " +
               std::to_string(samples.channels) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " + tuple_type +
               "\nENDHDR\n";
    } else {
        out += std::to_string(samples.width) + " " + std::to_string(samples.height) + "\n";
        if (type != '1' && type != '4') out += std::to_string(maxval) + "\n";
    }
    const bool plain = type >= '1' && type <= '3';
    for (int y = 0; y < samples.height; ++y) {
        uint32_t bits = 0;
        int used = 0;
        for (int x = 0; x < samples.width * samples.channels; ++x) {
            const uint32_t value = samples.values[static_cast<size_t>(y) * samples.width * samples.channels + x];
            if (plain) {
                out += std::to_string(value) + (type == '1' ? "" : " ");
            } else if (type == '4') {
                bits = bits << 1 | value;
                if (++used == 8) {
                    out += static_cast<char>(bits);
                    bits = 0;
                    used = 0;
                }
            } else {
                if (maxval > 255) out += static_cast<char>(value >> 8);
                out += static_cast<char>(value & 0xFF);
            }
        }
        if (type == '4' && used > 0) out += static_cast<char>(bits << (8 - used));
        if (plain) out += '\n';
    }
    return out;
}

std::string with_orientation(const std::string& jpeg, int orientation, bool big_endian) {
    auto u16 = [&](uint32_t value) {
        const char high = static_cast<char>(value >> 8);
        const char low = static_cast<char>(value & 0xFF);
        return big_endian ? std::string{high, low} : std::string{low, high};
    };
    auto u32 = [&](uint32_t value) { return big_endian ? u16(value >> 16) + u16(value & 0xFFFF) : u16(value & 0xFFFF) + u16(value >> 16); };
    // A first IFD of one entry: tag 0x0112, a SHORT, count 1.
    const std::string tiff = std::string(big_endian ? "MM" : "II") + u16(42) + u32(8) + u16(1) + u16(0x0112) + u16(3) +
                             u32(1) + u16(static_cast<uint32_t>(orientation)) + u16(0) + u32(0);
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    const size_t length = body.size() + 2;
    const std::string segment = std::string("\xFF\xE1") + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + body;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

}  // namespace testing_support
