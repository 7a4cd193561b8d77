// The CRC-16 of LHA archives (polynomial 0x8005 reflected as 0xA001, start 0,
// no final inversion): one over each member's original bytes and one over each
// level 2 header.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lha {

// Continues `crc` over `size` bytes; start with 0.
uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t size);

} // namespace lha
