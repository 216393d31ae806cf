// Screens packed for the disc, to be unpacked in place by the 6502 routine
// in unpack.s.
//
// A packed screen of N bytes is a file of C bytes: the screen itself
// (C = N), or fewer whole 256-byte pages, which the machine reads from
// the disc sector by sector into the pages that end where the screen
// ends, at the top of screen memory. A screen is packed only when that
// saves a page. The packed file's first byte k says how many bytes of
// padding follow it; then comes an LZ stream, then the screen's last bytes
// as they are, already in their places once loaded. Unpacking writes from
// the screen's start upwards over the file and stops at the first token
// boundary where the write position reaches the read position.
//
// The stream mixes bytes and bits. Bits come most significant first from
// a bit byte, which is the next byte of the stream at the moment a bit is
// wanted and none is left. A number, 1 to 255, is Elias gamma,
// interleaved: below its top bit, each bit from the highest is sent as a
// 0 then the bit itself; a 1 ends the number. Tokens:
//   literals   number n, then n bytes copied; when n is 255, more
//              literals follow at once, with no bit before them
//   new match  number h, byte l: the offset is (h - 1) * 256 + (l EOR 255)
//              + 1 back from the write position, l inverted as the 6502
//              adds it; number n, n + 1 bytes copied
//   repeat     number n: n + 1 bytes copied from the last match's offset
// The stream starts with literals. After literals a bit tells a repeat
// (0) from a new match (1); after a match it tells literals (0) from a new
// match (1). Bytes are copied one at a time, so a match may overlap what
// it writes.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest screen packed: MODEs 0-2.
inline constexpr int32_t kMaxPackedScreen = 20480;

// Packs the `size` bytes of `screen` (1 to kMaxPackedScreen) into `packed`
// (room for `size` bytes). Returns the packed file's length, a multiple of
// 256; `size` when the screen is stored as it is because packing would
// not save a page; or -1 when memory for the search ran out. The same
// bytes on every machine.
int32_t pack_screen(const uint8_t* screen, int32_t size, uint8_t* packed);

// Unpacks `packed` (`packed_size` bytes) into `screen` (`size` bytes) as
// the machine does, in place. False when the file is not a packed screen
// of that size: not whole pages, a token that reads past the file, copies
// from before the screen, writes past it or over bytes not yet read, or a
// stream that ends before the write position meets the read position.
// Never reads or writes outside the two buffers.
bool unpack_screen(const uint8_t* packed, int32_t packed_size, uint8_t* screen, int32_t size);
