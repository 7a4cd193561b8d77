// Finds earlier occurrences of the bytes at the current position within the
// -lh5- dictionary. The positions of the dictionary that share a three-byte
// hash form a chain, nearest first; entering a position costs one step, and a
// search walks the chain. The buffer reads ahead from the source and slides by
// whole dictionaries.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/CodecFormat.h"

#include <cstdint>

namespace lha {

constexpr unsigned kLh5DictionarySize = 1u << 13;
// The farthest copy: offset kLh5DictionarySize - 2. Readers that keep exactly
// one dictionary of history are safe with it.
constexpr unsigned kMaxDistance = kLh5DictionarySize - 1;

class MatchFinder {
public:
    // The source must give `size` bytes.
    MatchFinder(ByteSource& source, uint64_t size);
    MatchFinder(const MatchFinder&) = delete;
    MatchFinder& operator=(const MatchFinder&) = delete;

    // Makes at least kMaxMatch bytes (or all that remain) available from the
    // current position. False when the source failed or ended early.
    bool Prepare();

    // Bytes available from the current position (after Prepare).
    unsigned Available() const { return end_ - pos_; }
    const uint8_t* Current() const { return buffer_ + pos_; }

    // The longest match at the current position among the `depth` nearest
    // earlier positions of its hash, at most kMaxMatch and Available() bytes,
    // the search ending at one of `niceLength`: its length (0 when none reaches
    // kMinMatch) and, when not 0, its `distance`. Does not move.
    unsigned Longest(unsigned depth, unsigned niceLength, unsigned& distance) const;

    // Enters the current position in its chain and moves past it.
    void InsertAndAdvance();

private:
    static constexpr unsigned kHashBits = 15;
    static constexpr unsigned kBufferSize = 4 * kLh5DictionarySize + 2 * kMaxMatch;
    static constexpr uint16_t kNone = 0xFFFF;

    static unsigned Hash(const uint8_t* p) {
        return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & ((1u << kHashBits) - 1);
    }
    void Slide();

    ByteSource& source_;
    uint64_t left_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    uint16_t head_[1u << kHashBits];
    // The next earlier position of the same hash, in slots of position modulo dictionary.
    uint16_t earlier_[kLh5DictionarySize];
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
