#include "image/byte_stream.h"

#include <algorithm>
#include <cstring>

bool refill(ByteStream& in) {
    if (in.ended) return false;
    in.pos = 0;
    in.len = in.source.read(in.source.context, in.buffer, in.capacity);
    in.ended = in.len < in.capacity;
    return in.len > 0;
}

size_t read_bulk(ByteStream& in, unsigned char* dst, size_t n) {
    size_t done = std::min(n, in.len - in.pos);
    memcpy(dst, in.buffer + in.pos, done);
    in.pos += done;
    if (done < n && !in.ended) {
        const size_t want = n - done;
        const size_t got = in.source.read(in.source.context, dst + done, want);
        in.ended = got < want;
        done += got;
    }
    return done;
}

const unsigned char* take_span(ByteStream& in, size_t n, size_t& got) {
    if (in.len - in.pos < n) {
        // Move what is left to the front and fill the rest of the buffer.
        in.len -= in.pos;
        memmove(in.buffer, in.buffer + in.pos, in.len);
        in.pos = 0;
        if (!in.ended) {
            const size_t want = in.capacity - in.len;
            const size_t read = in.source.read(in.source.context, in.buffer + in.len, want);
            in.ended = read < want;
            in.len += read;
        }
    }
    got = std::min(n, in.len - in.pos);
    const unsigned char* span = in.buffer + in.pos;
    in.pos += got;
    return span;
}
