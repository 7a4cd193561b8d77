#include "archiver/MatchFinder.h"

#include <cstring>

namespace lha {

void MatchFinder::Slide() {
    // Keep one dictionary of history before the current position; move by
    // whole dictionaries so the chain slots (position modulo dictionary) stay put.
    unsigned shift = (pos_ - kLh5DictionarySize) & ~(kLh5DictionarySize - 1);
    std::memmove(buffer_, buffer_ + shift, end_ - shift);
    pos_ -= shift;
    end_ -= shift;
    for (uint16_t& h : head_)
        h = (h == kNone || h < shift) ? kNone : static_cast<uint16_t>(h - shift);
    for (uint16_t& p : prev_)
        p = (p == kNone || p < shift) ? kNone : static_cast<uint16_t>(p - shift);
}

bool MatchFinder::Prepare() {
    if (!headReady_) {
        for (uint16_t& h : head_)
            h = kNone;
        headReady_ = true;
    }
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

unsigned MatchFinder::Longest(unsigned maxLength, unsigned maxChain, unsigned niceLength,
                              unsigned& distance) const {
    uint16_t lengths[kMaxMatch];
    uint16_t distances[kMaxMatch];
    unsigned n = AllLongest(maxLength, maxChain, niceLength, lengths, distances);
    if (n == 0)
        return 0;
    distance = distances[n - 1];
    return lengths[n - 1];
}

unsigned MatchFinder::AllLongest(unsigned maxLength, unsigned maxChain, unsigned niceLength,
                                 uint16_t* lengths, uint16_t* distances) const {
    if (maxLength > end_ - pos_)
        maxLength = end_ - pos_;
    if (maxLength < kMinMatch)
        return 0;
    const uint8_t* here = buffer_ + pos_;
    unsigned best = kMinMatch - 1;
    unsigned found = 0;
    unsigned candidate = head_[Hash(here)];
    for (unsigned chain = maxChain; chain > 0 && candidate != kNone; --chain) {
        unsigned distance = pos_ - candidate;
        if (candidate >= pos_ || distance > kMaxDistance)
            break;
        const uint8_t* there = buffer_ + candidate;
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            unsigned length = 2;
            while (length < maxLength && there[length] == here[length])
                ++length;
            if (length > best) {
                best = length;
                lengths[found] = static_cast<uint16_t>(length);
                distances[found] = static_cast<uint16_t>(distance);
                ++found;
                if (length >= niceLength || length == maxLength)
                    break;
            }
        }
        candidate = prev_[candidate & (kLh5DictionarySize - 1)];
    }
    return found;
}

} // namespace lha
