// Finds earlier occurrences of the bytes at the current position within a
// sliding dictionary of 2^dictionaryBits bytes (13 for -lh5-, 15 for -lh6-,
// 16 for -lh7-). The positions of the dictionary that share a four-byte hash
// form a chain, nearest first; entering a position costs one step, and a
// search walks the chain, after trying the nearest position of the same three
// bytes (a three-byte match is worth having only near: a chain of three-byte
// hashes grows long with candidates that go no further). Or the positions of
// a three-byte hash form a binary tree, for a parse that wants the matches of
// every position: entering a position is its search. The
// buffer reads ahead from the source and slides by whole dictionaries; it has
// room for four of the largest, so a smaller dictionary slides less often (a
// slide rebases every entry of the tables).
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

    // The longest match at the current position among the nearest earlier
    // position of its first three bytes' hash and the `depth` nearest of its
    // four-byte hash (none for the last three bytes), at most kMaxMatch and Available() bytes,
    // the search ending at one of `niceLength`: its length (0 when none reaches
    // kMinMatch) and, when not 0, its `distance`. Does not move.
    unsigned Longest(unsigned depth, unsigned niceLength, unsigned& distance) const;

    // A match at the current position: `length` bytes `distance` back.
    struct Found {
        uint16_t length;
        uint16_t distance;
    };

    // The tree search, for a parse that wants the matches of every position: the
    // positions of a hash form a binary tree ordered by the bytes that follow
    // them, nearest at the root, so one walk down it meets every match longer
    // than all nearer ones (lengths grow and so do distances, so a shorter copy
    // is cheapest taken from the first entry at least that long). Keeps the
    // `room` longest in `found` (shortest first) and returns how many; enters
    // the current position in the tree and moves past it. The walk ends after
    // `depth` positions (the older ones it leaves are dropped from the tree) or
    // at a match of `niceLength` (at least kMinMatch, and the same for every
    // call on a finder) or Available() bytes. A finder is searched either
    // with Longest and InsertAndAdvance or with TreeMatches alone: the two share
    // the chain table.
    unsigned TreeMatches(unsigned depth, unsigned niceLength, Found* found, unsigned room);

    // Moves past the current position leaving it out of the tree (a position
    // inside a long match, which later copies can take from the match's source).
    void SkipAdvance() { ++pos_; }

    // Enters the current position in its chain and moves past it.
    void InsertAndAdvance() {
        const unsigned available = end_ - pos_;
        if (available >= kMinMatch)
            near_[NearHash(buffer_ + pos_)] = pos_;
        if (available >= kChainHashBytes) {
            const unsigned h = Hash(buffer_ + pos_, kChainHashBytes);
            links_[pos_ & slotMask_] = head_[h];
            head_[h] = pos_;
        }
        ++pos_;
    }

private:
    static constexpr unsigned kMaxDictionarySize = 1u << kMaxDictionaryBits;
    static constexpr unsigned kMaxHashBits = 16;
    static constexpr unsigned kBufferSize = 4 * kMaxDictionarySize + 2 * kMaxMatch;
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    static constexpr unsigned kChainHashBytes = 4;
    static constexpr unsigned kNearHashBits = 14;
    static constexpr uint32_t kHashFactor = 2654435761u;  // odd, bits well spread: Knuth's multiplier

    // The top bits of the first `bytes` (3 or 4) bytes times a large odd
    // number: every byte reaches the hash's bits, where shifted bytes leave
    // the first one's high bits out.
    static unsigned Hash(const uint8_t* p, unsigned bytes, unsigned shift) {
        uint32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
        if (bytes == 4)
            value |= static_cast<uint32_t>(p[3]) << 24;
        return (value * kHashFactor) >> shift;
    }
    unsigned Hash(const uint8_t* p, unsigned bytes) const { return Hash(p, bytes, hashShift_); }
    static unsigned NearHash(const uint8_t* p) { return Hash(p, kMinMatch, 32 - kNearHashBits); }
    void Slide();

    ByteSource& source_;
    uint64_t left_;
    const unsigned dictionarySize_;
    const unsigned slotMask_;       // position modulo dictionary
    unsigned hashShift_;            // 32 less the hash's bits
    unsigned hashSize_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    uint32_t head_[1u << kMaxHashBits];
    uint32_t near_[1u << kNearHashBits];  // chains only: the latest position of each three-byte hash
    // By slot, the position modulo dictionary. Chains: links_[slot] is the next
    // earlier position of the same hash. Tree: links_[2 * slot] is the root of
    // the position's subtree of smaller following bytes, links_[2 * slot + 1]
    // that of larger ones (side by side: a step of the walk reads one line).
    uint32_t links_[2 * kMaxDictionarySize];
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
