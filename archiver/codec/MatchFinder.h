// Finds earlier occurrences of the bytes at the current position within a
// sliding dictionary of 2^dictionaryBits bytes (13 for -lh5-, 15 for -lh6-,
// 16 for -lh7-). The positions of the dictionary that share a three-byte hash
// form a chain, nearest first; entering a position costs one step, and a
// search walks the chain. The buffer reads ahead from the source and slides by
// whole dictionaries.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/CodecFormat.h"

#include <cstdint>

namespace lha {

class MatchFinder {
public:
    // The source must give `size` bytes; dictionaryBits is 12..kMaxDictionaryBits.
    MatchFinder(ByteSource& source, uint64_t size, unsigned dictionaryBits);
    MatchFinder(const MatchFinder&) = delete;
    MatchFinder& operator=(const MatchFinder&) = delete;

    // The farthest copy: one less than the dictionary, so readers that keep
    // exactly one dictionary of history are safe with it.
    unsigned MaxDistance() const { return dictionarySize_ - 1; }

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

    // A match at the current position: `length` bytes `distance` back.
    struct Found {
        uint16_t length;
        uint16_t distance;
    };

    // The matches at the current position that are longer than every nearer
    // one, among the `depth` nearest earlier positions of its hash: lengths
    // grow and so do distances, so a shorter copy is cheapest taken from the
    // first entry at least that long. Keeps the `room` longest in `found`
    // (shortest first) and returns how many; stops at `niceLength`. Does not move.
    unsigned Matches(unsigned depth, unsigned niceLength, Found* found, unsigned room) const;

    // Enters the current position in its chain and moves past it.
    void InsertAndAdvance();

private:
    static constexpr unsigned kMaxDictionarySize = 1u << kMaxDictionaryBits;
    static constexpr unsigned kMaxHashBits = 16;
    static constexpr unsigned kBufferSize = 4 * kMaxDictionarySize + 2 * kMaxMatch;
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    unsigned Hash(const uint8_t* p) const {
        return ((p[0] << (2 * hashShift_)) ^ (p[1] << hashShift_) ^ p[2]) & hashMask_;
    }
    void Slide();

    ByteSource& source_;
    uint64_t left_;
    const unsigned dictionarySize_;
    const unsigned slotMask_;       // position modulo dictionary
    const unsigned bufferSize_;     // four dictionaries and two longest matches
    unsigned hashShift_;
    unsigned hashMask_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    uint32_t head_[1u << kMaxHashBits];
    // The next earlier position of the same hash, in slots of position modulo dictionary.
    uint32_t earlier_[kMaxDictionarySize];
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
