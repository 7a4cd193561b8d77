// A small canonical prefix code (codes in order of length, and within a length
// in order of symbol) read one bit at a time, for -pm2-'s code and offset
// trees. Unlike HuffmanTable it takes lengths up to 31 bits, which a complete
// code of 29 symbols may need, and it accepts only complete codes.
#pragma once
#include "archiver/codec/BitReader.h"

#include <cstdint>

namespace lha {

class CanonicalCode {
public:
    static constexpr unsigned kMaxSymbols = 32;
    static constexpr unsigned kMaxLength = 31;
    static constexpr int kInvalid = -1;

    // Builds the code from `lengths[0..count)` (0 = symbol unused; count at most
    // kMaxSymbols). False when the lengths over-fill or under-fill the code
    // space; no length at all gives the empty code, which decodes nothing.
    bool Build(const uint8_t* lengths, unsigned count);

    // A code of one symbol that takes no bits.
    void BuildSingle(unsigned symbol) {
        single_ = true;
        symbol_ = symbol;
    }

    // The empty code.
    void Clear() {
        single_ = false;
        maxLength_ = 0;
    }

    // The next symbol, or kInvalid from the empty code.
    int Decode(BitReader& in) const {
        if (single_)
            return static_cast<int>(symbol_);
        uint32_t code = 0;
        uint32_t first = 0;  // the first code of length n
        unsigned index = 0;  // where its symbols start in sorted_
        for (unsigned n = 1; n <= maxLength_; ++n) {
            code = (code << 1) | in.Get(1);
            if (code - first < perLength_[n])
                return sorted_[index + code - first];
            index += perLength_[n];
            first = (first + perLength_[n]) << 1;
        }
        return kInvalid;
    }

private:
    bool single_ = false;
    unsigned symbol_ = 0;
    unsigned maxLength_ = 0;
    uint32_t perLength_[kMaxLength + 1] = {};
    uint8_t sorted_[kMaxSymbols] = {};
};

} // namespace lha
