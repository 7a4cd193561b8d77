// Packs data as -lh5-: an 8 KiB sliding dictionary with lazy matching and static
// Huffman blocks, as every LHA reader unpacks it.
#pragma once
#include "archiver/codec/ByteStream.h"

#include <cstdint>

namespace lha {

enum class EncodeStatus {
    Ok,            // all `size` bytes were packed; packedSize says into how many
    LimitReached,  // the packed data would reach `limit` bytes: stopped, the caller stores instead
    InputFailed,   // the source ended before `size` bytes, or failed
    OutputFailed,  // the sink refused bytes
};

// Reads exactly `size` bytes from `in` and writes their packed form to `out`.
// Stops with LimitReached as soon as the output would reach `limit` bytes (what
// was written by then is to be thrown away). Memory is fixed: the window and
// its tables, never sized by `size`.
//
// Those tables (about 190 KiB) come from the heap; when it has no room the
// result is LimitReached too, so the caller stores the data instead. On
// LimitReached, packedSize is not meaningful.
EncodeStatus EncodeLh5(ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                       uint64_t& packedSize);

} // namespace lha
