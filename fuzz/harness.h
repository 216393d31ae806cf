// Shared by the fuzz harnesses: where they put files and how big an image
// they let through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Inputs whose header declares more pixels than this are skipped, so a
// 20-byte file declaring a gigapixel image does not trip the fuzzer's
// memory limit. Anything up to it (three 16 MiB planes) is read.
inline constexpr int64_t kMaxPixels = int64_t{1} << 22;

// True when the PPM header in `data` declares more than kMaxPixels. Reads
// the size the way the converter does, saturating instead of rejecting
// numbers that do not fit, so it never lets a larger image through.
bool declares_too_many_pixels(const uint8_t* data, size_t size);

// A scratch directory for this process, created on first use.
const std::string& scratch_directory();

// Writes `size` bytes to `path`; false on failure.
bool write_bytes(const std::string& path, const uint8_t* data, size_t size);

// Silences the converter's console output once per process.
void silence_stdout();

}  // namespace fuzzing
