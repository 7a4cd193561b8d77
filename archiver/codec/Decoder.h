// Unpacks the data of one member packed with the sliding dictionary and static
// Huffman blocks of -lh4- (4 KiB dictionary), -lh5- (8 KiB), -lh6- (32 KiB) and
// -lh7- (64 KiB). -lh4- and -lh5- share one bit stream.
// (-lh0- and -lhd- carry no packed data; the commands handle them.)
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {


// Dictionary size of each method, as a power of two.
constexpr unsigned kLh4DictionaryBits = 12;
constexpr unsigned kLh5DictionaryBits = 13;
constexpr unsigned kLh6DictionaryBits = 15;
constexpr unsigned kLh7DictionaryBits = 16;

// Reads at most `packedSize` bytes from `packed` and writes exactly
// `originalSize` bytes to `out`, or fails. Memory is the dictionary and fixed
// tables only: nothing is sized from packedSize or originalSize, and damaged
// data ends with CorruptData, never a read or write outside a buffer or a
// loop that does not end. `dictionaryBits` is one of the constants above
// (a size outside 12 to 16 bits gives CorruptData).
//
// A source that ends before packedSize bytes gives InputFailed, but only when
// the missing bytes were needed. Output goes to `out` in pieces of up to
// 64 KiB as it is made, so on any failure part of the member has already been
// written. The dictionary and tables (about 110 KiB) live on the stack.
DecodeStatus DecodeMember(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize,
                          uint64_t originalSize, ByteSink& out);

} // namespace lha
