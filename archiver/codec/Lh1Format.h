// The numbers that define -lh1- (LHarc 1.x), shared by its decoder and encoder:
// a 4 KiB window that starts as spaces; 314 symbols (the 256 literals, then
// copies of 3 to 60 bytes) coded by a Huffman tree that adapts after every
// symbol; a copy's position as its high six bits by a fixed code, then six
// plain bits.
#pragma once

namespace lha {

constexpr unsigned kLh1DictionaryBits = 12;
constexpr unsigned kLh1LiteralCount = 256;
constexpr unsigned kLh1SymbolCount = 314;
constexpr unsigned kLh1LengthBias = 253;  // symbol s >= 256 copies s - 253 bytes
constexpr unsigned kLh1MinMatch = kLh1LiteralCount - kLh1LengthBias;
constexpr unsigned kLh1MaxMatch = kLh1SymbolCount - 1 - kLh1LengthBias;
constexpr unsigned char kLh1WindowFill = 0x20;

// The high six bits of a position: a canonical code that gives, in order of
// the value, 1 value 3 bits, 3 values 4 bits, 8 of 5, 12 of 6, 24 of 7 and
// 16 of 8 (the count of each length, by length).
constexpr unsigned kLh1LowPositionBits = 6;
constexpr unsigned kLh1LowPositionMask = (1u << kLh1LowPositionBits) - 1;
constexpr unsigned kLh1MaxPositionCodeBits = 8;
constexpr unsigned kLh1HighValuesOfLength[kLh1MaxPositionCodeBits + 1] = {0, 0, 0, 1, 3, 8, 12, 24, 16};

} // namespace lha
