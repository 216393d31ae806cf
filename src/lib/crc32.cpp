#include "lib/crc32.h"

namespace {

struct CrcTable {
    uint32_t entry[256];
};

constexpr CrcTable make_crc_table() {
    CrcTable table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table.entry[n] = c;
    }
    return table;
}

constexpr CrcTable kCrc = make_crc_table();

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = kCrc.entry[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
static_assert(make_crc_table().entry[1] == 0x77073096u);
