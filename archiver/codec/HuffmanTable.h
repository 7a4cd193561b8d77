// Decodes one canonical Huffman code of the LHA blocks: codes are assigned in
// order of length, and within a length in order of symbol. A table of
// 2^lookupBits entries answers codes that short in one step; longer codes are
// found from the first code of each length.
#pragma once
#include "archiver/codec/BitReader.h"
#include "archiver/codec/CodecFormat.h"

#include <cstdint>

namespace lha {

class HuffmanTable {
public:
    static constexpr unsigned kMaxSymbols = kCodeCount;
    static constexpr int kInvalid = -1;

    // Builds the table from `lengths[0..count)` (0 = symbol not used, at most
    // kMaxCodeLength). False when the lengths over-fill the code space; a code
    // that does not fill it is accepted, and a lookup of an unassigned bit
    // pattern returns kInvalid. `lookupBits` is at most kMaxLookupBits.
    bool Build(const uint8_t* lengths, unsigned count, unsigned lookupBits);

    // A code of one symbol that takes no bits (a tree sent as a zero count).
    void BuildSingle(unsigned symbol);

    // The next symbol, or kInvalid for a bit pattern no symbol has.
    int Decode(BitReader& in) const {
        uint16_t entry = table_[in.Peek16() >> shift_];
        if (entry != kLongCode) {
            in.Skip(entry >> kSymbolBits);
            return entry & kSymbolMask;
        }
        return DecodeLong(in);
    }

    static constexpr unsigned kMaxLookupBits = 12;

private:
    static constexpr unsigned kSymbolBits = 10;
    static constexpr uint16_t kSymbolMask = (1u << kSymbolBits) - 1;
    static constexpr uint16_t kLongCode = 0xFFFF;  // longer than lookupBits, or unassigned

    int DecodeLong(BitReader& in) const;

    unsigned shift_ = 16;
    // limit_[n]: one past the last code of length n, left-aligned to 16 bits;
    // first_[n]: that length's first code, left-aligned; offset_[n]: where its
    // symbols start in sorted_.
    uint32_t limit_[kMaxCodeLength + 1] = {};
    uint32_t first_[kMaxCodeLength + 1] = {};
    uint16_t offset_[kMaxCodeLength + 1] = {};
    // Filled by Build before any lookup, so a decoder made for each member
    // does not clear them first.
    uint16_t sorted_[kMaxSymbols];
    uint16_t table_[1u << kMaxLookupBits];
};

} // namespace lha
