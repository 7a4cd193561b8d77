// Finds earlier occurrences of the bytes at the current position within the
// -lh5- dictionary: hash chains over three-byte prefixes, in a buffer that
// reads ahead from the source and slides by whole dictionaries.
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
    MatchFinder(ByteSource& source, uint64_t size) : source_(source), left_(size) {}
    MatchFinder(const MatchFinder&) = delete;
    MatchFinder& operator=(const MatchFinder&) = delete;

    // Makes at least kMaxMatch bytes (or all that remain) available from the
    // current position. False when the source failed or ended early.
    bool Prepare();

    // Bytes available from the current position (after Prepare).
    unsigned Available() const { return end_ - pos_; }
    const uint8_t* Current() const { return buffer_ + pos_; }

    // The longest match for the current position, at most `maxLength` long,
    // following at most `maxChain` links and stopping at `niceLength`; sets
    // `distance`. Returns 0 when there is none of kMinMatch bytes or more.
    unsigned Longest(unsigned maxLength, unsigned maxChain, unsigned niceLength, unsigned& distance) const;

    // Every match that is longer than all nearer ones: lengths[k] bytes at
    // distances[k], k < return value, lengths rising.
    unsigned AllLongest(unsigned maxLength, unsigned maxChain, unsigned niceLength,
                        uint16_t* lengths, uint16_t* distances) const;

    // Enters the current position into the chains and moves past it.
    void Advance() {
        if (end_ - pos_ >= kMinMatch)
            Insert();
        ++pos_;
    }

private:
    static constexpr unsigned kHashBits = 15;
    static constexpr unsigned kBufferSize = 4 * kLh5DictionarySize + 2 * kMaxMatch;
    static constexpr uint16_t kNone = 0xFFFF;

    static unsigned Hash(const uint8_t* p) {
        return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & ((1u << kHashBits) - 1);
    }
    void Insert() {
        unsigned h = Hash(buffer_ + pos_);
        prev_[pos_ & (kLh5DictionarySize - 1)] = head_[h];
        head_[h] = static_cast<uint16_t>(pos_);
    }
    void Slide();

    ByteSource& source_;
    uint64_t left_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    bool headReady_ = false;
    uint16_t head_[1u << kHashBits];
    uint16_t prev_[kLh5DictionarySize];
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
