#include "lib/render/png.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "lib/crc32.h"

namespace {

// ---- Checksums ----------------------------------------------------------

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

// ---- Rows -------------------------------------------------------------

// 1, 2, 4 or 8 bits per pixel for 2, 4, 16 or more colours.
int32_t bit_depth(int32_t colours) { return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8; }

// Packs each row's indices, most significant bits first, behind its filter
// byte: none, or with `repeats_up`, "up" for a row that repeats the one
// above (the scaled preview repeats every line), which makes it zeros.
void pack_rows(const IndexedImage& image, bool repeats_up, uint8_t* out) {
    const int32_t depth = bit_depth(image.colours);
    const size_t row_bytes = (static_cast<size_t>(image.width) * static_cast<size_t>(depth) + 7) / 8;
    const uint8_t* previous = nullptr;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* indices = image.indices.get() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        uint8_t* row = out + 1;
        memset(row, 0, row_bytes);
        for (int32_t x = 0; x < image.width; ++x) {
            const int32_t bit = x * depth;
            row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | indices[x] << (8 - depth - bit % 8));
        }
        // A repeated row keeps `previous` on the one it repeats.
        const bool repeats = repeats_up && previous && memcmp(previous, row, row_bytes) == 0;
        out[0] = repeats ? 2 : 0;
        if (repeats)
            memset(row, 0, row_bytes);
        else
            previous = row;
        out += 1 + row_bytes;
    }
}

// ---- Deflate: LZ77 with lazy matching, one block of Huffman codes made
// for the data ----------------------------------------------------------

constexpr size_t kWindow = 32768;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 256;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 258;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the lengths of the code-length code are stored.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

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
    void finish() {
        if (count > 0) put(0, 8 - count);
    }
};

// A Huffman code over up to 288 symbols: lengths and the codes, reversed
// for writing (Huffman codes go most significant bit first).
struct HuffmanCode {
    uint8_t length[288] = {};
    uint16_t reversed[288] = {};
};

// Code lengths of at most `limit` bits for the counts: a Huffman tree,
// built again from halved counts while it is too deep. Ties go to the
// lower symbol, so the code is the same everywhere.
void huffman_lengths(const uint32_t* counts, int symbols, int limit, uint8_t* lengths) {
    uint32_t weight[288];
    for (int i = 0; i < symbols; ++i) weight[i] = counts[i];
    for (;;) {
        // Nodes: the leaves, then the inner nodes in the order they form.
        uint64_t node_weight[2 * 288];
        int parent[2 * 288];
        int order[288];
        int leaves = 0;
        for (int i = 0; i < symbols; ++i)
            if (weight[i] > 0) order[leaves++] = i;
        std::fill_n(lengths, symbols, uint8_t{0});
        if (leaves == 0) return;
        if (leaves == 1) {
            lengths[order[0]] = 1;
            return;
        }
        std::sort(order, order + leaves, [&](int x, int y) { return weight[x] != weight[y] ? weight[x] < weight[y] : x < y; });
        for (int i = 0; i < leaves; ++i) node_weight[i] = weight[order[i]];
        // Two queues, leaves in weight order and inner nodes as they form
        // (already in weight order): the two lightest are taken each time.
        int next_leaf = 0;
        int next_inner = leaves;
        int nodes = leaves;
        auto take = [&]() {
            const bool leaf = next_leaf < leaves && (next_inner == nodes || node_weight[next_leaf] <= node_weight[next_inner]);
            return leaf ? next_leaf++ : next_inner++;
        };
        while (nodes < 2 * leaves - 1) {
            const int first = take();
            const int second = take();
            node_weight[nodes] = node_weight[first] + node_weight[second];
            parent[first] = parent[second] = nodes;
            ++nodes;
        }
        int deepest = 0;
        int depth[2 * 288];
        depth[nodes - 1] = 0;
        for (int i = nodes - 2; i >= 0; --i) depth[i] = depth[parent[i]] + 1;
        for (int i = 0; i < leaves; ++i) {
            lengths[order[i]] = static_cast<uint8_t>(depth[i]);
            deepest = std::max(deepest, depth[i]);
        }
        if (deepest <= limit) return;
        for (int i = 0; i < symbols; ++i)
            if (weight[i] > 0) weight[i] = (weight[i] + 1) / 2;
    }
}

// The canonical codes for the lengths.
void assign_codes(int symbols, HuffmanCode& code) {
    uint16_t count[16] = {};
    for (int i = 0; i < symbols; ++i) ++count[code.length[i]];
    count[0] = 0;
    uint16_t next[16] = {};
    for (int bits = 1, value = 0; bits < 16; ++bits) {
        value = (value + count[bits - 1]) << 1;
        next[bits] = static_cast<uint16_t>(value);
    }
    for (int i = 0; i < symbols; ++i) {
        const int length = code.length[i];
        if (length == 0) continue;
        const uint32_t value = next[length]++;
        uint32_t reversed = 0;
        for (int b = 0; b < length; ++b) reversed |= ((value >> b) & 1u) << (length - 1 - b);
        code.reversed[i] = static_cast<uint16_t>(reversed);
    }
}

// One LZ77 token: a literal (distance 0) or a match.
struct Token {
    uint16_t length_or_literal;
    uint16_t distance;
};

int length_code(size_t length) {
    int code = 28;
    while (kLengthBase[code] > length) --code;
    return code;
}

int distance_code(size_t distance) {
    int code = 29;
    while (kDistanceBase[code] > distance) --code;
    return code;
}

uint32_t hash3(const uint8_t* p) {
    return ((uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) * 2654435761u) >> (32 - kHashBits);
}

// The longest match for `at` among earlier positions of its hash chain.
size_t longest_match(const uint8_t* data, size_t size, size_t at, const int64_t* head, const int64_t* chain,
                     size_t& distance) {
    if (size - at < kMinMatch) return 0;
    const size_t limit = std::min(size - at, kMaxMatch);
    size_t best = 0;
    int64_t candidate = head[hash3(data + at)];
    for (int steps = 0; candidate >= 0 && steps < kMaxChain; ++steps) {
        const size_t from = static_cast<size_t>(candidate);
        if (at - from > kWindow) break;
        size_t length = 0;
        while (length < limit && data[from + length] == data[at + length]) ++length;
        if (length > best) {
            best = length;
            distance = at - from;
            if (length == limit) break;
        }
        candidate = chain[from % kWindow];
    }
    return best;
}

// The data as tokens; a match is taken only when the next position does
// not start a longer one. `tokens` has room for `size` of them.
size_t tokenize(const uint8_t* data, size_t size, Token* tokens, int64_t* head, int64_t* chain) {
    std::fill_n(head, size_t{1} << kHashBits, int64_t{-1});
    auto insert = [&](size_t at) {
        if (size - at < kMinMatch) return;
        const uint32_t h = hash3(data + at);
        chain[at % kWindow] = head[h];
        head[h] = static_cast<int64_t>(at);
    };
    size_t count = 0;
    size_t at = 0;
    while (at < size) {
        size_t distance = 0;
        const size_t length = longest_match(data, size, at, head, chain, distance);
        insert(at);
        size_t next_distance = 0;
        if (length >= kMinMatch && length < kMaxMatch && at + 1 < size &&
            longest_match(data, size, at + 1, head, chain, next_distance) <= length) {
            tokens[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
            for (size_t i = 1; i < length; ++i) insert(at + i);
            at += length;
        } else if (length == kMaxMatch) {
            tokens[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
            for (size_t i = 1; i < length; ++i) insert(at + i);
            at += length;
        } else {
            tokens[count++] = {data[at], 0};
            ++at;
        }
    }
    return count;
}

// The longest deflate stream of `size` bytes: all literals at the longest
// code of 15 bits, plus the block header's code lengths.
size_t deflate_bound(size_t size) { return size * 2 + 512; }

// Tokens per block: each block has Huffman codes of its own, which follow
// the picture from flat areas to busy ones.
constexpr size_t kBlockTokens = 16384;

// Writes `count` tokens as one block with Huffman codes made for them.
void write_block(const Token* tokens, size_t count, bool last, BitWriter& writer) {
    uint32_t literal_counts[286] = {};
    uint32_t distance_counts[30] = {};
    for (size_t i = 0; i < count; ++i) {
        if (tokens[i].distance == 0) {
            ++literal_counts[tokens[i].length_or_literal];
        } else {
            ++literal_counts[257 + length_code(tokens[i].length_or_literal)];
            ++distance_counts[distance_code(tokens[i].distance)];
        }
    }
    literal_counts[256] = 1;  // the end of the block
    HuffmanCode literals;
    HuffmanCode distances;
    huffman_lengths(literal_counts, 286, 15, literals.length);
    huffman_lengths(distance_counts, 30, 15, distances.length);
    if (std::all_of(distances.length, distances.length + 30, [](uint8_t l) { return l == 0; }))
        distances.length[0] = 1;  // a block without matches still has one distance code
    assign_codes(286, literals);
    assign_codes(30, distances);

    // The two codes' lengths in one sequence, runs encoded with 16, 17, 18.
    int literal_codes = 286;
    while (literal_codes > 257 && literals.length[literal_codes - 1] == 0) --literal_codes;
    int distance_codes = 30;
    while (distance_codes > 1 && distances.length[distance_codes - 1] == 0) --distance_codes;
    uint8_t sequence[316];
    int total = 0;
    for (int i = 0; i < literal_codes; ++i) sequence[total++] = literals.length[i];
    for (int i = 0; i < distance_codes; ++i) sequence[total++] = distances.length[i];
    uint8_t runs[316][2];  // symbol, extra bits' value
    int run_count = 0;
    for (int i = 0; i < total;) {
        int same = 1;
        while (i + same < total && sequence[i + same] == sequence[i]) ++same;
        if (sequence[i] == 0 && same >= 3) {
            const int take = std::min(same, 138);
            runs[run_count][0] = take >= 11 ? 18 : 17;
            runs[run_count++][1] = static_cast<uint8_t>(take >= 11 ? take - 11 : take - 3);
            i += take;
        } else if (sequence[i] != 0 && same >= 4) {
            runs[run_count][0] = sequence[i];
            runs[run_count++][1] = 0;
            const int take = std::min(same - 1, 6);
            runs[run_count][0] = 16;
            runs[run_count++][1] = static_cast<uint8_t>(take - 3);
            i += 1 + take;
        } else {
            runs[run_count][0] = sequence[i];
            runs[run_count++][1] = 0;
            ++i;
        }
    }
    uint32_t length_counts[19] = {};
    for (int i = 0; i < run_count; ++i) ++length_counts[runs[i][0]];
    // The code-length code must be complete: with one symbol, a second joins it.
    if (std::count_if(length_counts, length_counts + 19, [](uint32_t c) { return c > 0; }) == 1)
        ++length_counts[length_counts[0] ? 1 : 0];
    HuffmanCode lengths;
    huffman_lengths(length_counts, 19, 7, lengths.length);
    assign_codes(19, lengths);
    int length_codes = 19;
    while (length_codes > 4 && lengths.length[kCodeLengthOrder[length_codes - 1]] == 0) --length_codes;

    writer.put(last ? 1 : 0, 1);
    writer.put(2, 2);  // its own Huffman codes
    writer.put(static_cast<uint32_t>(literal_codes - 257), 5);
    writer.put(static_cast<uint32_t>(distance_codes - 1), 5);
    writer.put(static_cast<uint32_t>(length_codes - 4), 4);
    for (int i = 0; i < length_codes; ++i) writer.put(lengths.length[kCodeLengthOrder[i]], 3);
    for (int i = 0; i < run_count; ++i) {
        const int symbol = runs[i][0];
        writer.put(lengths.reversed[symbol], lengths.length[symbol]);
        if (symbol == 16) writer.put(runs[i][1], 2);
        if (symbol == 17) writer.put(runs[i][1], 3);
        if (symbol == 18) writer.put(runs[i][1], 7);
    }
    for (size_t i = 0; i < count; ++i) {
        const Token& token = tokens[i];
        if (token.distance == 0) {
            writer.put(literals.reversed[token.length_or_literal], literals.length[token.length_or_literal]);
            continue;
        }
        const int length = length_code(token.length_or_literal);
        writer.put(literals.reversed[257 + length], literals.length[257 + length]);
        writer.put(static_cast<uint32_t>(token.length_or_literal - kLengthBase[length]), kLengthExtra[length]);
        const int distance = distance_code(token.distance);
        writer.put(distances.reversed[distance], distances.length[distance]);
        writer.put(static_cast<uint32_t>(token.distance - kDistanceBase[distance]), kDistanceExtra[distance]);
    }
    writer.put(literals.reversed[256], literals.length[256]);
}

// Compresses `data` into `out` (deflate_bound bytes); returns the length.
size_t deflate_dynamic(const uint8_t* data, size_t size, uint8_t* out, Token* tokens, int64_t* head, int64_t* chain) {
    const size_t count = tokenize(data, size, tokens, head, chain);
    BitWriter writer{out};
    size_t at = 0;
    do {
        const size_t take = std::min(kBlockTokens, count - at);
        write_block(tokens + at, take, at + take == count, writer);
        at += take;
    } while (at < count);
    writer.finish();
    return static_cast<size_t>(writer.out - out);
}

template <typename T>
std::unique_ptr<T[]> allocate(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

}  // namespace

bool encode_png(const IndexedImage& image, PngBytes& png) {
    png = PngBytes{};
    const int32_t depth = bit_depth(image.colours);
    const size_t row_bytes = (static_cast<size_t>(image.width) * static_cast<size_t>(depth) + 7) / 8;
    const size_t raw_size = static_cast<size_t>(image.height) * (1 + row_bytes);
    const size_t palette_bytes = static_cast<size_t>(image.colours) * 3;
    // Signature, IHDR, PLTE, the IDAT header, zlib header and checksum, the
    // IDAT checksum and IEND.
    const size_t frame = 8 + 25 + 12 + palette_bytes + 8 + 2 + 4 + 4 + 12;
    const size_t capacity = frame + deflate_bound(raw_size);
    std::unique_ptr<uint8_t[]> raw = allocate<uint8_t>(raw_size);
    std::unique_ptr<uint8_t[]> out = allocate<uint8_t>(capacity);
    std::unique_ptr<int64_t[]> head = allocate<int64_t>(size_t{1} << kHashBits);
    std::unique_ptr<int64_t[]> chain = allocate<int64_t>(kWindow);
    std::unique_ptr<Token[]> tokens = allocate<Token>(raw_size);
    std::unique_ptr<uint8_t[]> attempt = allocate<uint8_t>(deflate_bound(raw_size));
    if (!raw || !out || !head || !chain || !tokens || !attempt) return false;

    uint8_t* p = out.get();
    memcpy(p, "\x89PNG\r\n\x1a\n", 8);
    p += 8;
    put32(p, 13);
    memcpy(p + 4, "IHDR", 4);
    put32(p + 8, static_cast<uint32_t>(image.width));
    put32(p + 12, static_cast<uint32_t>(image.height));
    // The bit depth, palette colours, deflate, adaptive filters, no interlace.
    const uint8_t header_tail[5] = {static_cast<uint8_t>(depth), 3, 0, 0, 0};
    memcpy(p + 16, header_tail, 5);
    put32(p + 21, crc32(p + 4, 17));
    p += 25;

    put32(p, static_cast<uint32_t>(palette_bytes));
    memcpy(p + 4, "PLTE", 4);
    memcpy(p + 8, image.rgb, palette_bytes);
    put32(p + 8 + palette_bytes, crc32(p + 4, 4 + palette_bytes));
    p += 12 + palette_bytes;

    uint8_t* idat = p;
    memcpy(idat + 4, "IDAT", 4);
    uint8_t* zlib = idat + 8;
    zlib[0] = 0x78;  // deflate with a 32 KiB window
    zlib[1] = 0x9C;  // default level; makes the header a multiple of 31
    // Repeated rows as zeros make most pictures smaller, and flat ones
    // larger: both are tried.
    size_t deflated = 0;
    for (const bool repeats_up : {false, true}) {
        pack_rows(image, repeats_up, raw.get());
        const size_t length = deflate_dynamic(raw.get(), raw_size, attempt.get(), tokens.get(), head.get(), chain.get());
        if (deflated == 0 || length < deflated) {
            memcpy(zlib + 2, attempt.get(), length);
            put32(zlib + 2 + length, adler32(raw.get(), raw_size));
            deflated = length;
        }
    }
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
