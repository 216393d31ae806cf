#include "lib/disc/compress.h"

#include <cstring>
#include <memory>
#include <new>

#include "lib/disc/dfs.h"

namespace {

// Bits of the interleaved gamma code of n >= 1.
int32_t gamma_bits(int32_t n) {
    int32_t bits = 1;
    for (; n > 1; n >>= 1) bits += 2;
    return bits;
}

// Bits of the numbers that tell a run of `run` literals: chunks of 255,
// each followed straight away by the next, then the rest.
int32_t run_bits(int32_t run) { return run / 255 * gamma_bits(255) + (run % 255 != 0 ? gamma_bits(run % 255) : 0); }

// Numbers are at most 255, so a match copies at most 256 bytes.
constexpr int32_t kMaxMatch = 256;

// The parse chooses the way the machine shows the screen soonest, rather
// than the smallest file: costs are in the emulated machine's cycles. The
// 6502 takes time to decode each flag and number bit and each token, over
// and above copying the bytes, which takes the same time whichever token
// copies them (figures from unpack.s). Every bit of the file is also read
// from the disc: a sector of 2,048 bits in about 52,000 cycles, 25 a bit.
constexpr int32_t kDiscBit = 25;
constexpr int32_t kCodeBit = kDiscBit + 12;  // a flag or number bit, read and decoded
constexpr int32_t kByte = 8 * kDiscBit;      // a literal or an offset's low byte
constexpr int32_t kOneLiteral = 20;          // the tokens, beyond their bits
constexpr int32_t kMoreLiterals = 60;
constexpr int32_t kNewMatchToken = 42;
constexpr int32_t kRepeatToken = 8;

// A new match's offset: its high part's number and the low byte.
int32_t offset_cost(int32_t offset) { return gamma_bits(((offset - 1) >> 8) + 1) * kCodeBit + kByte; }

enum class Kind : uint8_t { kLiterals, kNewMatch, kRepeat };

struct Token {
    Kind kind;
    int32_t length;
    int32_t offset;  // matches only
};

// The cheapest way found to the bytes before a position, ending with
// literals or with a match: its cost in cycles, where its last token
// starts, and what that token is.
struct Step {
    int32_t cost;
    int32_t from;
    int32_t offset;  // the last match's offset on this way, 0 before any
    Kind kind;
    bool from_match;  // a match's predecessor ends with a match, not literals
};

constexpr int32_t kUnreached = INT32_MAX / 2;
// Matches reaching this long are followed along instead of searched for
// again at every position, which keeps blank stretches linear.
constexpr int32_t kLongMatch = 512;
// Chain links followed at each position: to pairs of bytes like the next
// two, and to groups of four like the next four.
constexpr int32_t kPairDepth = 16;
constexpr int32_t kGroupDepth = 256;
// A match this long ends the search: in screens of repeating halftones
// every link can match for hundreds of bytes, and longer ones gain little.
constexpr int32_t kNiceLength = 96;

struct Found {
    int32_t offset, length;
};

// Four bytes hashed to 16 bits; equal groups, equal keys.
int32_t group_key(const uint8_t* at) {
    const uint32_t word = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                          static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    return static_cast<int32_t>((word * 2654435761u) >> 16);
}

// The next length worth trying for a match after `length`: every short
// one, then where the gamma code of a longer one grows, then the longest,
// so that long stretches cost no more time than short ones.
int32_t next_length(int32_t length, int32_t longest) {
    if (length < 32) return length + 1;
    int32_t power = 64;
    while (power <= length) power *= 2;
    return power < longest || length == longest ? power : longest;
}

int32_t match_length(const uint8_t* s, int32_t at, int32_t offset, int32_t limit) {
    int32_t length = 0;
    while (length < limit && s[at + length] == s[at + length - offset]) ++length;
    return length;
}

// Writes tokens as the stream describes them.
struct Writer {
    uint8_t* out;
    int32_t used = 0;
    int32_t bit_byte = -1;
    int32_t bits_left = 0;

    void bit(int32_t value) {
        if (bits_left == 0) {
            bit_byte = used;
            out[used++] = 0;
            bits_left = 8;
        }
        --bits_left;
        out[bit_byte] = static_cast<uint8_t>(out[bit_byte] | (value & 1) << bits_left);
    }
    void number(int32_t n) {
        int32_t top = 1;
        while (top * 2 <= n) top *= 2;
        for (top >>= 1; top > 0; top >>= 1) {
            bit(0);
            bit((n & top) ? 1 : 0);
        }
        bit(1);
    }
    void byte(uint8_t value) { out[used++] = value; }
};

// Encodes `count` tokens of `screen`; records in `gains` (count + 1
// entries) the write position less the read position after each token,
// the first before any.
void encode(const uint8_t* screen, const Token* tokens, int32_t count, Writer& writer, int32_t* gains) {
    int32_t at = 0;
    if (gains) gains[0] = 0;
    for (int32_t i = 0; i < count; ++i) {
        const Token& token = tokens[i];
        if (i > 0) writer.bit(token.kind == Kind::kNewMatch ? 1 : 0);
        if (token.kind == Kind::kLiterals) {
            for (int32_t done = 0; done < token.length; done += 255) {
                const int32_t chunk = token.length - done < 255 ? token.length - done : 255;
                writer.number(chunk);
                for (int32_t k = 0; k < chunk; ++k) writer.byte(screen[at + done + k]);
            }
        } else if (token.kind == Kind::kRepeat) {
            writer.number(token.length - 1);
        } else {
            writer.number(((token.offset - 1) >> 8) + 1);
            writer.byte(static_cast<uint8_t>(~(token.offset - 1) & 0xFF));
            writer.number(token.length - 1);
        }
        at += token.length;
        if (gains) gains[i + 1] = at - writer.used;
    }
}

}  // namespace

int32_t pack_screen(const uint8_t* screen, int32_t size, uint8_t* packed) {
    const int32_t n = size;
    const size_t steps = static_cast<size_t>(n) + 1;
    std::unique_ptr<Step[]> literal_end(new (std::nothrow) Step[steps]);
    std::unique_ptr<Step[]> match_end(new (std::nothrow) Step[steps]);
    std::unique_ptr<int32_t[]> pair_head(new (std::nothrow) int32_t[65536]);
    std::unique_ptr<int32_t[]> pair_chain(new (std::nothrow) int32_t[steps]);
    std::unique_ptr<int32_t[]> group_head(new (std::nothrow) int32_t[65536]);
    std::unique_ptr<int32_t[]> group_chain(new (std::nothrow) int32_t[steps]);
    std::unique_ptr<Found[]> found(new (std::nothrow) Found[kPairDepth + kGroupDepth + 1]);
    std::unique_ptr<Token[]> tokens(new (std::nothrow) Token[steps]);
    std::unique_ptr<int32_t[]> gains(new (std::nothrow) int32_t[steps + 1]);
    // Room for a stream that grows: every byte a literal, with its numbers.
    const size_t room = static_cast<size_t>(n) * 2 + 64;
    std::unique_ptr<uint8_t[]> stream(new (std::nothrow) uint8_t[room]);
    if (!literal_end || !match_end || !pair_head || !pair_chain || !group_head || !group_chain || !found || !tokens || !gains || !stream) return -1;

    for (size_t i = 0; i < steps; ++i) {
        literal_end[i] = {kUnreached, 0, 0, Kind::kLiterals, false};
        match_end[i] = {kUnreached, 0, 0, Kind::kNewMatch, false};
    }
    // The stream starts with literals, which need no bit before them: as
    // if a match ended before the first byte less a bit ago.
    match_end[0].cost = -kCodeBit;
    for (int32_t i = 0; i < 65536; ++i) pair_head[i] = group_head[i] = -1;

    auto reach_match = [&](int32_t to, int32_t cost, int32_t from, int32_t offset, Kind kind, bool from_match) {
        if (cost < match_end[to].cost) match_end[to] = {cost, from, offset, kind, from_match};
    };
    int32_t long_offset = 0;
    int32_t long_length = 0;
    for (int32_t i = 0; i < n; ++i) {
        const Step here_literal = literal_end[i];
        const Step here_match = match_end[i];
        // One more literal: a run goes on, or one starts after a match.
        if (here_literal.cost < kUnreached) {
            const int32_t run = i - here_literal.from;
            const int32_t cost = here_literal.cost + kByte + (run_bits(run + 1) - run_bits(run)) * kCodeBit +
                                 (run == 1 ? kMoreLiterals - kOneLiteral : 0);
            literal_end[i + 1] = {cost, here_literal.from, here_literal.offset, Kind::kLiterals, true};
        }
        if (here_match.cost < kUnreached) {
            const int32_t cost = here_match.cost + (1 + gamma_bits(1)) * kCodeBit + kByte + kOneLiteral;
            if (cost < literal_end[i + 1].cost) literal_end[i + 1] = {cost, i, here_match.offset, Kind::kLiterals, true};
        }
        // Literals end before a match unless they end a chunk of 255.
        const bool literals_end = here_literal.cost < kUnreached && (i - here_literal.from) % 255 != 0;
        // After literals, the last offset again.
        if (literals_end && here_literal.offset > 0 && here_literal.offset <= i) {
            const int32_t limit = n - i < kMaxMatch ? n - i : kMaxMatch;
            const int32_t longest = match_length(screen, i, here_literal.offset, limit);
            for (int32_t length = 2; length <= longest; length = next_length(length, longest))
                reach_match(i + length, here_literal.cost + (1 + gamma_bits(length - 1)) * kCodeBit + kRepeatToken, i,
                            here_literal.offset, Kind::kRepeat, false);
        }
        if (i + 1 >= n) continue;
        // New matches: the nearest offset for each longer length found,
        // among the nearest pairs of bytes, then further away among groups
        // of four, which halftones repeat a screen row or more apart.
        const int32_t pair = screen[i] << 8 | screen[i + 1];
        const int32_t group = i + 3 < n ? group_key(screen + i) : -1;
        const bool from_match = !literals_end || here_match.cost <= here_literal.cost;
        const int32_t base = (from_match ? here_match.cost : here_literal.cost) + kCodeBit + kNewMatchToken;
        int32_t found_count = 0;
        if (long_length - 1 >= kLongMatch) {
            --long_length;
            found[found_count++] = {long_offset, long_length};
        } else {
            long_length = 0;
            int32_t best = 1;
            auto consider = [&](int32_t j) {
                const int32_t offset = i - j;
                if (i + best < n && screen[j + best] != screen[i + best]) return;
                const int32_t length = match_length(screen, i, offset, n - i);
                if (length <= best) return;
                best = length;
                found[found_count++] = {offset, length};
            };
            int32_t depth = 0;
            int32_t j = pair_head[pair];
            for (; j >= 0 && depth < kPairDepth && i + best < n && best < kNiceLength; j = pair_chain[j], ++depth) consider(j);
            // Groups nearer than the last pair looked at were looked at.
            const int32_t searched = j;
            depth = 0;
            for (int32_t k = group >= 0 && searched >= 0 ? group_head[group] : -1;
                 k >= 0 && depth < kGroupDepth && i + best < n && best < kNiceLength; k = group_chain[k], ++depth)
                if (k <= searched) consider(k);
            if (best >= kLongMatch) {
                long_offset = found[found_count - 1].offset;
                long_length = best;
            }
        }
        pair_chain[i] = pair_head[pair];
        pair_head[pair] = i;
        if (group >= 0) {
            group_chain[i] = group_head[group];
            group_head[group] = i;
        }
        if (base >= kUnreached) continue;
        int32_t shorter = 1;
        for (int32_t f = 0; f < found_count; ++f) {
            const int32_t cost = base + offset_cost(found[f].offset);
            const int32_t longest = found[f].length < kMaxMatch ? found[f].length : kMaxMatch;
            for (int32_t length = shorter + 1; length <= longest; length = next_length(length, longest))
                reach_match(i + length, cost + gamma_bits(length - 1) * kCodeBit, i, found[f].offset, Kind::kNewMatch,
                            from_match);
            shorter = found[f].length;
        }
    }

    // Back from the end along the cheaper way, then the tokens in order.
    int32_t count = 0;
    bool in_match = match_end[n].cost < literal_end[n].cost;
    for (int32_t at = n; at > 0;) {
        const Step& step = in_match ? match_end[static_cast<size_t>(at)] : literal_end[static_cast<size_t>(at)];
        tokens[count++] = {step.kind, at - step.from, step.offset};
        in_match = step.from_match;
        at = step.from;
    }
    for (int32_t i = 0; i < count / 2; ++i) {
        const Token swapped = tokens[i];
        tokens[i] = tokens[count - 1 - i];
        tokens[count - 1 - i] = swapped;
    }

    // The file ends after the token where the write position gains most
    // on the read position, first reached: the screen's bytes after it go
    // as they are. Before that point the write position is never further
    // ahead, so it overwrites nothing still to be read.
    Writer whole{stream.get()};
    encode(screen, tokens.get(), count, whole, gains.get());
    int32_t cut = 0;
    for (int32_t i = 1; i <= count; ++i)
        if (gains[i] > gains[cut]) cut = i;
    // Whole pages, the first byte and the padding after it included.
    const int32_t pages = (n - gains[cut] + kSectorBytes) / kSectorBytes;
    if (gains[cut] <= 0 || pages * kSectorBytes >= n) {
        memcpy(packed, screen, static_cast<size_t>(n));
        return n;
    }
    Writer kept{stream.get()};
    memset(stream.get(), 0, room);
    encode(screen, tokens.get(), cut, kept, nullptr);
    const int32_t written = n - gains[cut] - kept.used;  // the screen's bytes kept as they are
    const int32_t padding = pages * kSectorBytes - 1 - (n - gains[cut]);
    memset(packed, 0, static_cast<size_t>(1 + padding));
    packed[0] = static_cast<uint8_t>(padding);
    uint8_t* at = packed + 1 + padding;
    memcpy(at, stream.get(), static_cast<size_t>(kept.used));
    memcpy(at + kept.used, screen + n - written, static_cast<size_t>(written));
    return pages * kSectorBytes;
}

bool unpack_screen(const uint8_t* packed, int32_t packed_size, uint8_t* screen, int32_t size) {
    if (packed_size == size) {
        memmove(screen, packed, static_cast<size_t>(size));
        return true;
    }
    if (packed_size <= 0 || packed_size > size || packed_size % kSectorBytes != 0) return false;
    const int32_t stream_size = packed_size - 1 - packed[0];
    int32_t read = size - stream_size;
    int32_t write = 0;
    memmove(screen + read, packed + 1 + packed[0], static_cast<size_t>(stream_size));
    int32_t bits = 0;
    int32_t bits_left = 0;
    // Each returns false when the stream runs out.
    auto bit = [&](int32_t& value) {
        if (bits_left == 0) {
            if (read >= size) return false;
            bits = screen[read++];
            bits_left = 8;
        }
        --bits_left;
        value = bits >> bits_left & 1;
        return true;
    };
    auto number = [&](int32_t& value) {
        value = 1;
        for (;;) {
            int32_t stop = 0;
            int32_t next = 0;
            if (!bit(stop)) return false;
            if (stop) return true;
            if (!bit(next)) return false;
            value = value * 2 + next;
            if (value > 0xFF) return false;  // the machine counts in 8 bits
        }
    };
    // The stream starts with literals. Only a match can bring the write
    // position up to the read position: literals move both alike, after
    // their number has moved the read position on.
    int32_t offset = 0;
    Kind kind = Kind::kLiterals;
    for (;;) {
        int32_t length = 0;
        int32_t flag = 0;
        if (kind == Kind::kLiterals) {
            if (!number(length) || length > size - read) return false;
            for (int32_t k = 0; k < length; ++k) screen[write++] = screen[read++];
            if (length == 255) continue;  // more literals
            if (!bit(flag)) return false;
            kind = flag ? Kind::kNewMatch : Kind::kRepeat;
            continue;
        }
        if (kind == Kind::kRepeat) {
            if (offset == 0 || !number(length)) return false;
            ++length;
        } else {
            int32_t high = 0;
            if (!number(high) || read >= size) return false;
            offset = (high - 1) * 256 + (screen[read++] ^ 0xFF) + 1;
            if (!number(length)) return false;
            ++length;
        }
        if (offset > write || length > read - write) return false;
        for (int32_t k = 0; k < length; ++k, ++write) screen[write] = screen[write - offset];
        if (write == read) return true;
        if (!bit(flag)) return false;
        kind = flag ? Kind::kNewMatch : Kind::kLiterals;
    }
}
