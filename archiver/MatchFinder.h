// Finds earlier occurrences of the bytes at the current position within the
// -lh5- dictionary. The positions of the dictionary that share a three-byte
// hash form a binary tree ordered by the bytes that follow them; each new
// position becomes the root, and the walk down to it meets the longest
// matches on the way. The buffer reads ahead from the source and slides by
// whole dictionaries.
#pragma once
#include "archiver/ByteStream.h"
#include "archiver/CodecFormat.h"

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

    // Enters the current position and moves past it. Sets the matches that
    // are longer than all nearer ones: lengths[k] bytes at distances[k],
    // k < the return value, lengths rising, at most kMaxMatch. The walk visits
    // at most `depth` earlier positions and stops at a match of `niceLength`.
    unsigned FindAndAdvance(unsigned depth, unsigned niceLength, uint16_t* lengths, uint16_t* distances);

    // Enters the current position and moves past it, looking for nothing.
    void SkipAndAdvance(unsigned depth, unsigned niceLength);

private:
    static constexpr unsigned kHashBits = 15;
    static constexpr unsigned kBufferSize = 4 * kLh5DictionarySize + 2 * kMaxMatch;
    static constexpr uint16_t kNone = 0xFFFF;

    static unsigned Hash(const uint8_t* p) {
        return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & ((1u << kHashBits) - 1);
    }
    unsigned Walk(unsigned depth, unsigned niceLength, uint16_t* lengths, uint16_t* distances);
    void Slide();

    ByteSource& source_;
    uint64_t left_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    uint16_t head_[1u << kHashBits];
    // The two subtrees of each position, in slots of position modulo dictionary:
    // smaller_ holds suffixes ordered before it, larger_ those after.
    uint16_t smaller_[kLh5DictionarySize];
    uint16_t larger_[kLh5DictionarySize];
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
