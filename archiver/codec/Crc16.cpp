#include "archiver/codec/Crc16.h"

namespace lha {
namespace {

constexpr uint16_t kPolynomial = 0xA001;

// Four tables, so the loop takes four bytes a step ("slicing"): entry k of
// table t is the CRC of byte k followed by t zero bytes.
struct CrcTables {
    uint16_t t[4][256];
};

constexpr CrcTables MakeTables() {
    CrcTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1);
        tables.t[0][byte] = crc;
    }
    for (unsigned byte = 0; byte < 256; ++byte)
        for (int t = 1; t < 4; ++t) {
            uint16_t previous = tables.t[t - 1][byte];
            tables.t[t][byte] = static_cast<uint16_t>((previous >> 8) ^ tables.t[0][previous & 0xFF]);
        }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

} // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t size) {
    uint32_t c = crc;
    for (; size >= 4; size -= 4, data += 4) {
        c ^= data[0] | (data[1] << 8);
        c = kTables.t[3][c & 0xFF] ^ kTables.t[2][c >> 8] ^ kTables.t[1][data[2]] ^ kTables.t[0][data[3]];
    }
    for (; size > 0; --size, ++data)
        c = (c >> 8) ^ kTables.t[0][(c ^ *data) & 0xFF];
    return static_cast<uint16_t>(c);
}

} // namespace lha
