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
