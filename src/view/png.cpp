#include "view/png.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// ---- Checksums ----------------------------------------------------------

struct CrcTable {
    uint32_t entry[256];
};

constexpr CrcTable make_crc_table() {
    CrcTable table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table.entry[n] = c;
    }
    return table;
}

constexpr CrcTable kCrc = make_crc_table();

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = kCrc.entry[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
static_assert(make_crc_table().entry[1] == 0x77073096u);

uint32_t adler32(const uint8_t* data, size_t size) {
    uint32_t a = 1, b = 0;
    while (size > 0) {
        // The largest run whose sums cannot overflow before the reduction.
        const size_t run = size < 5552 ? size : 5552;
        for (size_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
        data += run;
        size -= run;
    }
    return b << 16 | a;
}

void put32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// ---- Filtering ----------------------------------------------------------

// Each scanline gets the filter (none, sub or up) whose output has the
// smallest sum of magnitudes: up turns the repeated lines of the scaled
// preview into zeros, sub the runs inside a line.
void filter_rows(const RgbImage& image, uint8_t* out) {
    const size_t row_bytes = static_cast<size_t>(image.width) * 3;
    const uint8_t* previous = nullptr;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels.get() + static_cast<size_t>(y) * row_bytes;
        uint64_t cost[3] = {0, 0, 0};
        for (size_t i = 0; i < row_bytes; ++i) {
            const uint8_t left = i >= 3 ? row[i - 3] : 0;
            const uint8_t up = previous ? previous[i] : 0;
            const uint8_t residual[3] = {row[i], static_cast<uint8_t>(row[i] - left), static_cast<uint8_t>(row[i] - up)};
            for (int f = 0; f < 3; ++f) cost[f] += residual[f] < 128 ? residual[f] : 256 - residual[f];
        }
        const int filter = cost[1] < cost[0] ? (cost[2] < cost[1] ? 2 : 1) : (cost[2] < cost[0] ? 2 : 0);
        *out++ = static_cast<uint8_t>(filter);
        for (size_t i = 0; i < row_bytes; ++i) {
            const uint8_t left = i >= 3 ? row[i - 3] : 0;
            const uint8_t up = previous ? previous[i] : 0;
            *out++ = static_cast<uint8_t>(row[i] - (filter == 1 ? left : filter == 2 ? up : 0));
        }
        previous = row;
    }
}

// ---- Deflate: greedy LZ77 matching, one block of fixed Huffman codes ----

constexpr size_t kWindow = 32768;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 16;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 258;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct BitWriter {
    uint8_t* out;
    uint64_t bits = 0;
    int count = 0;

    // Deflate packs values from the least significant bit up.
    void put(uint32_t value, int length) {
        bits |= static_cast<uint64_t>(value) << count;
        count += length;
        while (count >= 8) {
            *out++ = static_cast<uint8_t>(bits);
            bits >>= 8;
            count -= 8;
        }
    }
    // Huffman codes go most significant bit first.
    void put_code(uint32_t code, int length) {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
        put(reversed, length);
    }
    void finish() {
        if (count > 0) put(0, 8 - count);
    }
};

void put_literal_or_length(BitWriter& writer, uint32_t symbol) {
    if (symbol < 144)
        writer.put_code(0x30 + symbol, 8);
    else if (symbol < 256)
        writer.put_code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        writer.put_code(symbol - 256, 7);
    else
        writer.put_code(0xC0 + symbol - 280, 8);
}

void put_match(BitWriter& writer, size_t length, size_t distance) {
    int code = 28;
    while (kLengthBase[code] > length) --code;
    put_literal_or_length(writer, 257 + static_cast<uint32_t>(code));
    writer.put(static_cast<uint32_t>(length - kLengthBase[code]), kLengthExtra[code]);
    code = 29;
    while (kDistanceBase[code] > distance) --code;
    writer.put_code(static_cast<uint32_t>(code), 5);
    writer.put(static_cast<uint32_t>(distance - kDistanceBase[code]), kDistanceExtra[code]);
}

uint32_t hash3(const uint8_t* p) {
    return ((uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) * 2654435761u) >> (32 - kHashBits);
}

// The longest deflate stream a fixed-code block can make of `size` bytes:
// every byte a 9-bit literal, plus the block header and end code.
size_t deflate_bound(size_t size) { return size + size / 8 + 16; }

// Compresses `data` into `out` (deflate_bound bytes); returns the length.
// `head` has 2^kHashBits entries and `chain` kWindow.
size_t deflate_fixed(const uint8_t* data, size_t size, uint8_t* out, int64_t* head, int64_t* chain) {
    std::fill_n(head, size_t{1} << kHashBits, int64_t{-1});
    BitWriter writer{out};
    writer.put(1, 1);  // the final block
    writer.put(1, 2);  // fixed Huffman codes
    auto insert = [&](size_t at) {
        const uint32_t h = hash3(data + at);
        chain[at % kWindow] = head[h];
        head[h] = static_cast<int64_t>(at);
    };
    size_t at = 0;
    while (at < size) {
        size_t best_length = 0;
        size_t best_distance = 0;
        if (size - at >= kMinMatch) {
            const size_t limit = size - at < kMaxMatch ? size - at : kMaxMatch;
            int64_t candidate = head[hash3(data + at)];
            for (int steps = 0; candidate >= 0 && steps < kMaxChain; ++steps) {
                const size_t from = static_cast<size_t>(candidate);
                if (at - from > kWindow) break;
                size_t length = 0;
                while (length < limit && data[from + length] == data[at + length]) ++length;
                if (length > best_length) {
                    best_length = length;
                    best_distance = at - from;
                    if (length == limit) break;
                }
                candidate = chain[from % kWindow];
            }
        }
        if (best_length >= kMinMatch) {
            put_match(writer, best_length, best_distance);
            const size_t end = at + best_length;
            for (; at < end; ++at)
                if (size - at >= kMinMatch) insert(at);
        } else {
            put_literal_or_length(writer, data[at]);
            if (size - at >= kMinMatch) insert(at);
            ++at;
        }
    }
    put_literal_or_length(writer, 256);
    writer.finish();
    return static_cast<size_t>(writer.out - out);
}

template <typename T>
std::unique_ptr<T[]> allocate(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

}  // namespace

bool encode_png(const RgbImage& image, PngBytes& png) {
    png = PngBytes{};
    const size_t raw_size = static_cast<size_t>(image.height) * (1 + static_cast<size_t>(image.width) * 3);
    // Signature, IHDR, the IDAT header, zlib header and checksum, the IDAT
    // checksum and IEND.
    const size_t frame = 8 + 25 + 8 + 2 + 4 + 4 + 12;
    const size_t capacity = frame + deflate_bound(raw_size);
    std::unique_ptr<uint8_t[]> raw = allocate<uint8_t>(raw_size);
    std::unique_ptr<uint8_t[]> out = allocate<uint8_t>(capacity);
    std::unique_ptr<int64_t[]> head = allocate<int64_t>(size_t{1} << kHashBits);
    std::unique_ptr<int64_t[]> chain = allocate<int64_t>(kWindow);
    if (!raw || !out || !head || !chain) return false;
    filter_rows(image, raw.get());

    uint8_t* p = out.get();
    memcpy(p, "\x89PNG\r\n\x1a\n", 8);
    p += 8;
    put32(p, 13);
    memcpy(p + 4, "IHDR", 4);
    put32(p + 8, static_cast<uint32_t>(image.width));
    put32(p + 12, static_cast<uint32_t>(image.height));
    const uint8_t header_tail[5] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, no interlace
    memcpy(p + 16, header_tail, 5);
    put32(p + 21, crc32(p + 4, 17));
    p += 25;

    uint8_t* idat = p;
    memcpy(idat + 4, "IDAT", 4);
    uint8_t* zlib = idat + 8;
    zlib[0] = 0x78;  // deflate with a 32 KiB window
    zlib[1] = 0x9C;  // default level; makes the header a multiple of 31
    const size_t deflated = deflate_fixed(raw.get(), raw_size, zlib + 2, head.get(), chain.get());
    put32(zlib + 2 + deflated, adler32(raw.get(), raw_size));
    const size_t idat_length = 2 + deflated + 4;
    put32(idat, static_cast<uint32_t>(idat_length));
    put32(idat + 8 + idat_length, crc32(idat + 4, 4 + idat_length));
    p = idat + 8 + idat_length + 4;

    put32(p, 0);
    memcpy(p + 4, "IEND", 4);
    put32(p + 8, crc32(p + 4, 4));
    p += 12;

    png.size = static_cast<size_t>(p - out.get());
    png.data = std::move(out);
    return true;
}
