// A byte stream over any source, with one byte of push-back: what the
// header parser reads from, whether the bytes come from a file or memory.
#pragma once

#include <cstddef>

// Fills `buffer` with up to `size` bytes and returns the count: fewer only
// at the end of the data. A read error counts as the end, as it would for
// a byte-wise reader: the header checks then fail, or samples read as -1.
struct ByteSource {
    void* context;
    size_t (*read)(void* context, unsigned char* buffer, size_t size);
};

struct ByteStream {
    ByteSource source;
    unsigned char* buffer;
    size_t capacity;
    size_t pos;
    size_t len;
    bool ended;
};

inline ByteStream make_byte_stream(ByteSource source, unsigned char* buffer, size_t capacity) {
    return {source, buffer, capacity, 0, 0, false};
}

// Refills an exhausted buffer; false at the end of the data.
bool refill(ByteStream& in);

// The next byte, or -1 at the end of the data.
inline int next_byte(ByteStream& in) {
    if (in.pos == in.len && !refill(in)) return -1;
    return in.buffer[in.pos++];
}

// Pushes back the byte just returned by next_byte (never -1).
inline void push_back(ByteStream& in) { --in.pos; }

// Reads up to n bytes into dst, first from the buffer, then straight from
// the source. Fewer than n only at the end of the data.
size_t read_bulk(ByteStream& in, unsigned char* dst, size_t n);

// The next n bytes (n at most the buffer's capacity) where they lie in the
// stream's own buffer, refilled as needed, so they need no copy of their
// own. `got` is fewer than n only at the end of the data.
const unsigned char* take_span(ByteStream& in, size_t n, size_t& got);
