// Packs data as -lh1- (LHarc 1.x): copies of 3 to 60 bytes from the 4 KiB
// before, found on hash chains and held back one position while the next one
// copies longer; literals and copy lengths coded by the adaptive tree the
// decoder keeps, positions by their fixed code.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/Encoder.h"
#include "archiver/codec/Lh1Format.h"

#include <cstdint>

namespace lha {

// Encode's contract (Encoder.h) for the row of -lh1-: `method` gives the
// chain depth and the length that ends a search. Its tables (about 1.3 MiB:
// the match finder's) come from the heap; without room the result is
// LimitReached, and the caller stores the data.
EncodeStatus EncodeLh1(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                       uint64_t& packedSize);

} // namespace lha
