// LHARK's -lh7- (read as "-lk7-"): the -lh5- block format with a 64 KiB
// window, 289 literal/length symbols, a 6-bit position count field, and its
// own length and offset codes with extra bits.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>

namespace lha {

constexpr unsigned kLk7DictionaryBits = 16;

// As DecodeMember; `dictionaryBits` is ignored (the window is always 64 KiB).
DecodeStatus DecodeLk7(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out);

} // namespace lha
