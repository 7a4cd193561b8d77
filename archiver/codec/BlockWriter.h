// Writes one static Huffman block of -lh5-, -lh6- or -lh7-: its three trees,
// built optimally for the block's codes, and then the codes themselves. The
// methods differ only in how far a copy reaches, so the position tree's size
// and its count field follow from the dictionary.
#pragma once
#include "archiver/codec/BitWriter.h"
#include "archiver/codec/CodecFormat.h"

#include <cstdint>

namespace lha {

// One code of a block: a literal (code < 256), or a match of
// code - 256 + kMinMatch bytes starting offset + 1 bytes back.
struct BlockCode {
    uint16_t code;
    uint16_t offset;
};

// The position code of an offset: the offset itself below 2, else its bit count.
inline unsigned PositionCode(unsigned offset) {
    return offset < 2 ? offset : 32 - static_cast<unsigned>(__builtin_clz(offset));
}

// One block planned for its codes: the trees are built once, and then the
// block is priced, its code lengths read, and written, as often as wanted.
class BlockWriter {
public:
    // A tree planned: its lengths, or one symbol that takes no bits.
    template <unsigned N>
    struct Tree {
        uint8_t lengths[N];
        unsigned used = 0;     // symbols with a non-zero frequency
        unsigned single = 0;   // the symbol when used <= 1
        unsigned count = 0;    // lengths to send: one past the last non-zero

        void Build(const uint32_t* freq);
        uint64_t Cost(const uint32_t* freq) const;
    };

    // A tree's codes, made only for writing: most plans are only priced.
    template <unsigned N>
    struct Codes {
        explicit Codes(const Tree<N>& tree);
        void Put(BitWriter& out, unsigned symbol) const { out.Put(tree.lengths[symbol], codes[symbol]); }

        const Tree<N>& tree;
        uint16_t codes[N];
    };

    // The literal/length lengths as pre-tree symbols: one step per pre-tree code,
    // with the extra bits of zero runs.
    struct LengthStep {
        uint8_t symbol;
        uint16_t extra;
    };

    // Plans codes[0, count) (1..65535 codes), which must stay as they are
    // while the plan is used.
    void Plan(unsigned dictionaryBits, const BlockCode* codes, unsigned count);

    // Bits the block takes (header and trees included).
    uint64_t Bits() const;

    // The code lengths the trees give each literal/length code and each
    // position code (0 for a code the block does not use); positionLengths
    // has room for kMaxPositionCodes.
    void CodeLengths(uint8_t* codeLengths, uint8_t* positionLengths) const;

    void Write(BitWriter& out) const;

private:
    void PutCodeTree(BitWriter& out, const Codes<kPreTreeCount>& preCodes) const;

    const BlockCode* codes_ = nullptr;
    unsigned count_ = 0;
    unsigned positionCountBits_ = 0;
    uint32_t codeFreq_[kCodeCount];
    uint32_t positionFreq_[kMaxPositionCodes];
    Tree<kCodeCount> codeTree_;
    Tree<kMaxPositionCodes> positionTree_;
    Tree<kPreTreeCount> preTree_;
    LengthStep steps_[kCodeCount];
    unsigned stepCount_ = 0;
};

} // namespace lha
