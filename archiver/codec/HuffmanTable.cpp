#include "archiver/codec/HuffmanTable.h"

namespace lha {

bool HuffmanTable::Build(const uint8_t* lengths, unsigned count, unsigned lookupBits) {
    unsigned perLength[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < count; ++s) {
        if (lengths[s] > kMaxCodeLength)
            return false;
        ++perLength[lengths[s]];
    }

    // Left-aligned codes: each code of length n spans 1 << (16 - n) patterns.
    uint32_t next = 0;
    uint16_t offset = 0;
    for (unsigned n = 1; n <= kMaxCodeLength; ++n) {
        first_[n] = next;
        offset_[n] = offset;
        next += perLength[n] << (16 - n);
        limit_[n] = next;
        offset += static_cast<uint16_t>(perLength[n]);
    }
    if (next > (1u << 16))
        return false;

    uint16_t fill[kMaxCodeLength + 1];
    for (unsigned n = 1; n <= kMaxCodeLength; ++n)
        fill[n] = offset_[n];
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s] != 0)
            sorted_[fill[lengths[s]]++] = static_cast<uint16_t>(s);

    shift_ = 16 - lookupBits;
    unsigned size = 1u << lookupBits;
    for (unsigned i = 0; i < size; ++i)
        table_[i] = kLongCode;
    uint32_t code = 0;
    for (unsigned n = 1; n <= lookupBits; ++n) {
        unsigned span = 1u << (lookupBits - n);
        for (unsigned k = 0; k < perLength[n]; ++k) {
            uint16_t entry = static_cast<uint16_t>((n << kSymbolBits) | sorted_[offset_[n] + k]);
            for (unsigned i = 0; i < span; ++i)
                table_[code + i] = entry;
            code += span;
        }
    }
    return true;
}

void HuffmanTable::BuildSingle(unsigned symbol) {
    shift_ = 16;  // every lookup reads entry 0
    table_[0] = static_cast<uint16_t>(symbol & kSymbolMask);
}

int HuffmanTable::DecodeLong(BitReader& in) const {
    uint32_t bits = in.Peek16();
    for (unsigned n = 1; n <= kMaxCodeLength; ++n) {
        if (bits >= limit_[n])
            continue;
        in.Skip(n);
        return sorted_[offset_[n] + ((bits - first_[n]) >> (16 - n))];
    }
    return kInvalid;
}

} // namespace lha
