// -lh0-, -lz4- and -pm0-: the data is stored as it is.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

// Copies the first `originalSize` of the `packedSize` bytes. Fewer packed bytes
// than that give CorruptData after copying what there is; a source that ends
// early gives InputFailed.
DecodeStatus DecodeStored(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                          ByteSink& out);

} // namespace lha
