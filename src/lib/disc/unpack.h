// The 6502 routine that unpacks a packed screen on the machine, from
// unpack.s.
#pragma once

#include <cstdint>

// Where !BOOT loads it, and where it starts.
inline constexpr uint32_t kUnpackAddress = 0x0A00;
inline constexpr int32_t kUnpackCodeSize = 225;

extern const uint8_t kUnpackCode[kUnpackCodeSize];
