// Packs data as -lh5-, -lh6- or -lh7- (and -lh1-, by Lh1Encoder.h): a sliding dictionary (8, 32 or 64 KiB),
// matches chosen by the bits the Huffman blocks give them, and static Huffman
// blocks, as every LHA reader unpacks it. The methods we
// write are rows of one table; -lh0- (stored) is a row too, so a caller finds
// every method it may be asked for in one place.
#pragma once
#include "archiver/codec/ByteStream.h"

#include <cstdint>
#include <string>

namespace lha {

// How a chunk of the input becomes codes.
enum class Parsing {
    // A position's longest match is held back while the next position's,
    // priced by the chunk before, does better: fast, near gzip -9 in size.
    Lazy,
    // The cheapest way through the chunk, from the matches of every position,
    // priced by the parse before: smaller, a few times slower.
    Cheapest,
};

enum class EncodeStatus;
struct PackingMethod;
// A method's own encoder, with Encode's contract.
using MethodEncoder = EncodeStatus (*)(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out,
                                       uint64_t limit, uint64_t& packedSize);

struct PackingMethod {
    const char* id;           // e.g. "-lh7-"
    unsigned dictionaryBits;  // log2 of the dictionary; 0: stored as it is, never packed
    Parsing parsing;
    unsigned searchDepth;     // chain (Lazy) or tree (Cheapest) positions visited per search
    unsigned niceLength;      // a match this long ends the search
    unsigned takeLength;      // a match this long is taken as it is, the positions it covers not searched
    unsigned parses;          // Cheapest: times each chunk is parsed
    MethodEncoder encoder = nullptr;  // a method outside the -lh5- family (-lh1-): its own encoder
};

// The row of `id`, or null for a method we do not write.
const PackingMethod* FindPackingMethod(const std::string& id);

// The stored method's row (-lh0-): what packing falls back to when it does not pay.
const PackingMethod& StoredPackingMethod();

enum class EncodeStatus {
    Ok,            // all `size` bytes were packed; packedSize says into how many
    LimitReached,  // the packed data would reach `limit` bytes: stopped, the caller stores instead
    InputFailed,   // the source ended before `size` bytes, or failed
    OutputFailed,  // the sink refused bytes
};

// Reads exactly `size` bytes from `in` and writes their packed form with
// `method` (a row with a dictionary) to `out`. Stops with LimitReached as soon
// as the output would reach `limit` bytes (what was written by then is to be
// thrown away). Memory is fixed: the window and its tables, never sized by `size`.
//
// Those tables (about 2.5 MiB: the window and its chains or tree, and the matches of a
// chunk of 32 Ki positions, which only Cheapest touches) come from the heap; when it has no room the
// result is LimitReached too, so the caller stores the data instead. On
// LimitReached, packedSize is not meaningful.
EncodeStatus Encode(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                    uint64_t& packedSize);

} // namespace lha
