// -lz5- (LArc): a 4 KiB ring with fixed initial contents, written from index
// 4078; a flag byte (least significant bit first) precedes each eight items,
// a literal byte or two bytes holding a 12-bit absolute index into the ring
// and a 4-bit length (3..18 bytes).
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

constexpr unsigned kLz5DictionaryBits = 12;

// Writes exactly `originalSize` bytes to `out`, or fails: packed data that
// ends too soon gives CorruptData (InputFailed when the source ended before
// `packedSize`). Output goes to `out` in pieces as it is made, so on a failure
// part of the member has been written. About 50 KiB of stack, nothing else.
// `dictionaryBits` other than kLz5DictionaryBits gives CorruptData.
DecodeStatus DecodeLz5(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
