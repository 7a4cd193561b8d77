// The numbers that define the static Huffman blocks of -lh5-, -lh6- and -lh7-,
// shared by the decoder and the encoder.
//
// A block is: a 16-bit count of codes; the pre-tree (code lengths of the
// pre-tree itself); the literal/length tree, its lengths coded with the
// pre-tree; the position tree; then the codes. Every tree may instead be a
// single symbol: a zero count followed by that symbol, and then its codes take
// no bits. Bits are read most significant first.
#pragma once
#include <cstdint>

namespace lha {

constexpr unsigned kMinMatch = 3;                 // a code c >= 256 copies c - 256 + kMinMatch bytes
constexpr unsigned kMaxMatch = 256;
constexpr unsigned kLiteralCount = 256;
constexpr unsigned kCodeCount = kLiteralCount + kMaxMatch - kMinMatch + 1;  // NC = 510
constexpr unsigned kCodeCountBits = 9;           // CBIT
constexpr unsigned kMaxCodeLength = 16;
constexpr unsigned kBlockSizeBits = 16;

// The pre-tree codes the literal/length tree's lengths: 0 is one zero length,
// 1 a run of 3..18 zeros (4 more bits), 2 a run of 20..531 zeros (9 more
// bits), and n >= 3 the length n - 2.
constexpr unsigned kPreTreeCount = kMaxCodeLength + 3;  // NT = 19
constexpr unsigned kPreTreeCountBits = 5;               // TBIT
constexpr unsigned kShortZeroRunBits = 4;
constexpr unsigned kShortZeroRunMin = 3;
constexpr unsigned kLongZeroRunBits = kCodeCountBits;
constexpr unsigned kLongZeroRunMin = 20;
// After the pre-tree's third length, 2 bits tell how many of the next three are zero.
constexpr unsigned kPreTreeSkipIndex = 3;
constexpr unsigned kPreTreeSkipBits = 2;

// Lengths of the pre-tree and position tree: 0..6 in 3 bits; 7 and more as
// 111, one 1 bit for each step past 7, and a closing 0.
constexpr unsigned kShortLengthBits = 3;
constexpr unsigned kShortLengthMax = 6;

// Position code p stands for the offset p when p < 2, else for
// (1 << (p - 1)) plus p - 1 more bits; the copy starts offset + 1 bytes back.
inline unsigned PositionCodeCount(unsigned dictionaryBits) { return dictionaryBits + 1; }
inline unsigned PositionCountBits(unsigned dictionaryBits) { return dictionaryBits <= 13 ? 4 : 5; }
constexpr unsigned kMaxDictionaryBits = 16;                            // -lh7-
constexpr unsigned kMaxPositionCodes = kMaxDictionaryBits + 1;         // NP of -lh7-
constexpr unsigned kMaxSmallTreeCount = 1u << 5;  // room for any count a 5-bit field can name

} // namespace lha
