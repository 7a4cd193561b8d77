// -lzs- (early LArc): a 2 KiB ring of spaces written from index 2031; each
// command is a flag bit, then a literal byte or an 11-bit absolute index into
// the ring and a 4-bit length (2..17 bytes).
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

constexpr unsigned kLzsDictionaryBits = 11;

// Writes exactly `originalSize` bytes to `out`, or fails: packed data that
// ends too soon gives CorruptData (InputFailed when the source ended before
// `packedSize`). Output goes to `out` in pieces as it is made, so on a failure
// part of the member has been written. About 50 KiB of stack, nothing else.
// `dictionaryBits` other than kLzsDictionaryBits gives CorruptData.
DecodeStatus DecodeLzs(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
