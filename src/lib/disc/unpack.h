// The 6502 routine that shows a picture of a disc of packed screens: it
// blacks out the colours, reads the picture's sectors and unpacks them;
// from unpack.s.
#pragma once

#include <cstdint>

// Where !BOOT loads it and CALLs it, with the picture's first sector and
// track in A% and X% and the screen's first page in Y%.
inline constexpr uint32_t kUnpackAddress = 0x0900;
// The unpacker proper starts a page in.
inline constexpr int32_t kUnpackerStart = 256;
inline constexpr int32_t kUnpackCodeSize = 510;

extern const uint8_t kUnpackCode[kUnpackCodeSize];
