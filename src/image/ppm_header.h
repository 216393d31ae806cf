// The pieces of a binary PPM header, read from a byte stream exactly as a
// byte-wise reader with one pushed-back byte would read them.
#pragma once

#include <cstdint>

#include "console/console.h"
#include "image/byte_stream.h"

// True when the next three bytes are 'P', '6' and a line feed. Always
// consumes three bytes (or what is left of the stream).
bool read_magic(ByteStream& in);

// Writes the rest of the comment line to `sink`, keeping only space to
// 'z', and consumes its line feed.
void echo_comment(ByteStream& in, const MessageSink& sink);

// Skips any run of white space.
void skip_space(ByteStream& in);

// One "%d" conversion: white space, an optional sign, then at least one
// digit. False when there is no digit or the value does not fit in 32
// bits; `value` changes only on success.
bool scan_int(ByteStream& in, int32_t& value);

// Consumes the maximum-value field up to and including its line feed and
// returns the value of its leading digits (capped at 65536), or 0 when it
// has none.
uint32_t skip_max_value(ByteStream& in);
