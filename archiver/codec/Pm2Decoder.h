// Unpacks -pm2- (PMarc2): literals are indices into the recency list in eight
// classes, copies reach up to 8 KiB back, and both are coded with one small
// canonical code, plus a code for the far offsets, that the stream may replace
// at fixed counts of output.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

constexpr unsigned kPm2DictionaryBits = 13;

// Reads at most `packedSize` bytes from `packed` and writes exactly
// `originalSize` bytes to `out`, or fails: code lengths that form no complete
// code, a code no symbol has, or bits needed past `packedSize` give
// CorruptData (InputFailed when the source ended before `packedSize`). Memory
// is a fixed 16 KiB ring and small tables; output goes to `out` in pieces of
// up to 16 KiB. `dictionaryBits` is the row's and not needed.
DecodeStatus DecodePm2(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
