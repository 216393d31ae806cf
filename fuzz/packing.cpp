// The screen packer and unpacker. The input after its first byte is read
// both ways: as a packed file, whole pages of it, which must unpack or be
// refused without reading or writing outside the buffers, and as a screen
// (bit 0 of the first byte: as much of it as fits a MODE 4-5 screen, else
// a MODE 0-2 one), which must pack to at most its own size and unpack to
// itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lib/disc/compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t limit = data[0] & 1 ? kMaxPackedScreen / 2 : kMaxPackedScreen;
    ++data;
    --size;
    const int32_t length = size < static_cast<size_t>(limit) ? static_cast<int32_t>(size) : limit;
    // Buffers of exactly the sizes given, so that any stray access is out
    // of bounds for the sanitizers.
    std::vector<uint8_t> file(data, data + length);
    std::vector<uint8_t> screen(static_cast<size_t>(limit));
    const int32_t pages = length / 256 * 256;
    if (pages > 0) {
        std::vector<uint8_t> whole(data, data + pages);
        unpack_screen(whole.data(), pages, screen.data(), limit);
    }

    std::vector<uint8_t> packed(static_cast<size_t>(length));
    const int32_t packed_size = pack_screen(file.data(), length, packed.data());
    if (packed_size < 0) return 0;  // out of memory
    std::vector<uint8_t> unpacked(static_cast<size_t>(length));
    if (packed_size > length || !unpack_screen(packed.data(), packed_size, unpacked.data(), length) ||
        unpacked != file)
        abort();
    return 0;
}
