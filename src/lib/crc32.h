// CRC-32 as PNG chunks and ZIP entries carry it (the polynomial 0xEDB88320,
// reflected, starting from and finished with all ones).
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t crc32(const uint8_t* data, size_t size);
