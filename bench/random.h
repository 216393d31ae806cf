// The benchmarks' pictures are made from this generator, so every machine
// makes the same ones: xorshift64, high half.
#pragma once

#include <cstdint>

struct Random {
    uint64_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 32);
    }
    double unit() { return next() / 4294967296.0; }
    int32_t below(int32_t n) { return static_cast<int32_t>(next() % static_cast<uint32_t>(n)); }
};
