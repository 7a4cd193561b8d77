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

// Bits the block would take with trees built for it (header and trees included).
uint64_t BlockCost(unsigned dictionaryBits, const BlockCode* codes, unsigned count);

// The code lengths the block's trees give each literal/length code and each
// position code (0 for a code the block does not use).
// positionLengths has room for kMaxPositionCodes.
void BlockCodeLengths(unsigned dictionaryBits, const BlockCode* codes, unsigned count, uint8_t* codeLengths,
                      uint8_t* positionLengths);

// Writes `count` (1..65535) codes as one block.
void WriteBlock(unsigned dictionaryBits, BitWriter& out, const BlockCode* codes, unsigned count);

} // namespace lha
