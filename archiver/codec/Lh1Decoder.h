// -lh1- (LHarc 1.x): a 4 KiB window that starts as spaces; literals and copy
// lengths coded by a Huffman tree that adapts after every symbol; the high
// six bits of a copy's position by a fixed code, then six plain bits.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"
#include "archiver/codec/Lh1Format.h"

#include <cstdint>

namespace lha {

// Writes exactly `originalSize` bytes to `out`, or fails: packed data that
// ends too soon gives CorruptData (InputFailed when the source ended before
// `packedSize`). Output goes to `out` in pieces as it is made, so on a failure
// part of the member has been written. About 50 KiB of stack, nothing else.
// `dictionaryBits` other than kLh1DictionaryBits gives CorruptData.
DecodeStatus DecodeLh1(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
