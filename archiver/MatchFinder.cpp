#include "archiver/MatchFinder.h"

#include <cstring>

namespace lha {
namespace {

constexpr unsigned kSlotMask = kLh5DictionarySize - 1;

uint32_t Load32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The index in memory order of the first non-zero byte of a loaded word.
unsigned FirstDifferentByte(uint32_t difference) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<unsigned>(__builtin_clz(difference)) / 8;
#else
    return static_cast<unsigned>(__builtin_ctz(difference)) / 8;
#endif
}

// How many bytes `a` and `b` share, knowing they share `length`, at most
// `maxLength`; compares four bytes a step.
unsigned SharedLength(const uint8_t* a, const uint8_t* b, unsigned length, unsigned maxLength) {
    while (length + 4 <= maxLength) {
        uint32_t difference = Load32(a + length) ^ Load32(b + length);
        if (difference != 0)
            return length + FirstDifferentByte(difference);
        length += 4;
    }
    while (length < maxLength && a[length] == b[length])
        ++length;
    return length;
}

} // namespace

MatchFinder::MatchFinder(ByteSource& source, uint64_t size) : source_(source), left_(size) {
    for (uint16_t& h : head_)
        h = kNone;
    for (unsigned i = 0; i < kLh5DictionarySize; ++i)
        smaller_[i] = larger_[i] = kNone;
}

void MatchFinder::Slide() {
    // Keep one dictionary of history before the current position; move by
    // whole dictionaries so the tree slots (position modulo dictionary) stay put.
    unsigned shift = (pos_ - kLh5DictionarySize) & ~kSlotMask;
    std::memmove(buffer_, buffer_ + shift, end_ - shift);
    pos_ -= shift;
    end_ -= shift;
    auto rebase = [shift](uint16_t& p) { p = (p == kNone || p < shift) ? kNone : static_cast<uint16_t>(p - shift); };
    for (uint16_t& p : head_)
        rebase(p);
    for (uint16_t& p : smaller_)
        rebase(p);
    for (uint16_t& p : larger_)
        rebase(p);
}

bool MatchFinder::Prepare() {
    while (end_ - pos_ < kMaxMatch + kMinMatch && left_ > 0) {
        if (end_ == kBufferSize)
            Slide();
        size_t want = kBufferSize - end_;
        if (want > left_)
            want = static_cast<size_t>(left_);
        size_t got = source_.Read(buffer_ + end_, want);
        if (got == 0 || got > want)
            return false;
        end_ += static_cast<unsigned>(got);
        left_ -= got;
    }
    return true;
}

unsigned MatchFinder::FindAndAdvance(unsigned depth, unsigned niceLength, uint16_t* lengths, uint16_t* distances) {
    unsigned found = Walk(depth, niceLength, lengths, distances);
    ++pos_;
    return found;
}

void MatchFinder::SkipAndAdvance(unsigned depth, unsigned niceLength) {
    Walk(depth, niceLength, nullptr, nullptr);
    ++pos_;
}

unsigned MatchFinder::Walk(unsigned depth, unsigned niceLength, uint16_t* lengths, uint16_t* distances) {
    unsigned maxLength = end_ - pos_;
    if (maxLength > kMaxMatch)
        maxLength = kMaxMatch;
    if (maxLength < kMinMatch)
        return 0;  // too near the end to be a match or to be matched
    if (niceLength > maxLength)
        niceLength = maxLength;
    const uint8_t* here = buffer_ + pos_;
    unsigned h = Hash(here);
    unsigned candidate = head_[h];
    head_[h] = static_cast<uint16_t>(pos_);

    // Where the next node smaller (larger) than the new root hangs, and how
    // many bytes every node on that side is known to share with it.
    uint16_t* smallerSlot = &smaller_[pos_ & kSlotMask];
    uint16_t* largerSlot = &larger_[pos_ & kSlotMask];
    unsigned smallerShared = 0, largerShared = 0;
    unsigned best = kMinMatch - 1;
    unsigned found = 0;
    for (; depth > 0 && candidate != kNone && pos_ - candidate <= kMaxDistance && candidate < pos_; --depth) {
        const uint8_t* there = buffer_ + candidate;
        unsigned length = SharedLength(there, here, smallerShared < largerShared ? smallerShared : largerShared,
                                       maxLength);
        if (length > best) {
            best = length;
            if (lengths != nullptr) {
                lengths[found] = static_cast<uint16_t>(length);
                distances[found] = static_cast<uint16_t>(pos_ - candidate);
                ++found;
            }
            if (length >= niceLength) {
                // The new root takes the candidate's place with its subtrees.
                *smallerSlot = smaller_[candidate & kSlotMask];
                *largerSlot = larger_[candidate & kSlotMask];
                return found;
            }
        }
        if (there[length] < here[length]) {
            *smallerSlot = static_cast<uint16_t>(candidate);
            smallerSlot = &larger_[candidate & kSlotMask];
            candidate = *smallerSlot;
            smallerShared = length;
        } else {
            *largerSlot = static_cast<uint16_t>(candidate);
            largerSlot = &smaller_[candidate & kSlotMask];
            candidate = *largerSlot;
            largerShared = length;
        }
    }
    *smallerSlot = kNone;
    *largerSlot = kNone;
    return found;
}

} // namespace lha
