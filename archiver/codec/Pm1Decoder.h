// Unpacks -pm1- (PMarc): blocks of literals, each an index into the recency
// list coded by class with one of 32 fixed class codes, and copies from up to
// 16 KiB back whose offset fields grow with the output.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

constexpr unsigned kPm1DictionaryBits = 14;

// Reads at most `packedSize` bytes from `packed` and writes exactly
// `originalSize` bytes to `out`, or fails. Past `packedSize` the stream goes
// on as zero bytes, as the format defines (the copy after a member's last
// literal block often lies there); every command outputs at least one byte,
// so that fill cannot loop without end. A copy from before the first byte
// gives CorruptData; bits needed past the end of a source that ended before
// `packedSize` give InputFailed. Memory is a fixed 16 KiB ring and small
// tables; output goes to `out` in pieces of up to 16 KiB. `dictionaryBits` is
// the row's and not needed.
DecodeStatus DecodePm1(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
