// Shared by the fuzz harnesses: how big an image they let through.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzing {

// Inputs whose header declares more pixels than this are skipped, so a
// 20-byte file declaring a gigapixel image does not trip the fuzzer's
// memory limit. Anything up to it (three 16 MiB planes) is read.
inline constexpr int64_t kMaxPixels = int64_t{1} << 22;

// True when the PPM header in `data` declares more than kMaxPixels. Reads
// the size the way the converter does, saturating instead of rejecting
// numbers that do not fit, so it never lets a larger image through.
bool declares_too_many_pixels(const uint8_t* data, size_t size);

}  // namespace fuzzing
