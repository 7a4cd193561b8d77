#include "archiver/codec/MatchFinder.h"

#include <cstring>

namespace lha {
namespace {

uint16_t Load16(const uint8_t* p) {
    uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

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
inline __attribute__((always_inline)) unsigned SharedLength(const uint8_t* a, const uint8_t* b, unsigned length, unsigned maxLength) {
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

MatchFinder::MatchFinder(ByteSource& source, uint64_t size, unsigned dictionaryBits)
    : source_(source),
      left_(size),
      dictionarySize_(1u << dictionaryBits),
      slotMask_(dictionarySize_ - 1)
{
    // A hash of two more bits than the dictionary (at most 16) keeps the
    // chains short; a larger table only costs clearing it for small files.
    unsigned hashBits = dictionaryBits + 2 < kMaxHashBits ? dictionaryBits + 2 : kMaxHashBits;
    hashShift_ = 32 - hashBits;
    hashSize_ = 1u << hashBits;
    for (unsigned h = 0; h < hashSize_; ++h)
        head_[h] = kNone;
    for (uint32_t& position : near_)
        position = kNone;
    for (unsigned i = 0; i < 2 * dictionarySize_; ++i)
        links_[i] = kNone;
}

void MatchFinder::Slide() {
    // Keep one dictionary of history before the current position; move by
    // whole dictionaries so the chain slots (position modulo dictionary) stay put.
    unsigned shift = (pos_ - dictionarySize_) & ~slotMask_;
    std::memmove(buffer_, buffer_ + shift, end_ - shift);
    pos_ -= shift;
    end_ -= shift;
    auto rebase = [shift](uint32_t& p) { p = (p == kNone || p < shift) ? kNone : p - shift; };
    for (unsigned h = 0; h < hashSize_; ++h)
        rebase(head_[h]);
    for (uint32_t& position : near_)
        rebase(position);
    for (unsigned i = 0; i < 2 * dictionarySize_; ++i)
        rebase(links_[i]);
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

unsigned MatchFinder::Longest(unsigned depth, unsigned niceLength, unsigned& distance) const {
    unsigned maxLength = end_ - pos_;
    if (maxLength > kMaxMatch)
        maxLength = kMaxMatch;
    if (maxLength < kMinMatch)
        return 0;
    if (niceLength > maxLength)
        niceLength = maxLength;
    const uint8_t* here = buffer_ + pos_;
    unsigned best = kMinMatch - 1;
    // Candidates lie before pos_ (kNone is past it) and at most MaxDistance() back.
    const uint32_t pos = pos_;
    const uint32_t farthest = pos > MaxDistance() ? pos - MaxDistance() : 0;
    const uint32_t near = near_[NearHash(here)];
    if (near < pos && near >= farthest && SharedLength(buffer_ + near, here, 0, kMinMatch) == kMinMatch) {
        best = kMinMatch;
        distance = pos - near;
    }
    if (maxLength < kChainHashBytes)
        return best >= kMinMatch ? best : 0;  // too near the end to be hashed in the chains
    uint32_t candidate = head_[Hash(here, kChainHashBytes)];
    for (; depth > 0 && candidate < pos && candidate >= farthest; --depth) {
        const uint8_t* there = buffer_ + candidate;
        // Only a candidate that has the two bytes up to the best length can be
        // longer (best < maxLength here: a match of maxLength ends the search).
        if (Load16(there + best - 1) == Load16(here + best - 1)) {
            unsigned length = SharedLength(there, here, 0, maxLength);
            if (length > best) {
                best = length;
                distance = pos - candidate;
                if (length >= niceLength)
                    break;
            }
        }
        candidate = links_[candidate & slotMask_];
    }
    return best >= kMinMatch ? best : 0;
}

// Compares stop at niceLength (or what is available): a later search skips
// the bytes that the tree's order says its bounds share, and that order holds
// for every search that compares no further. The longest match found then
// runs on past niceLength by a compare of its own, outside the tree.
unsigned MatchFinder::TreeMatches(unsigned depth, unsigned niceLength, Found* found, unsigned room) {
    unsigned available = end_ - pos_;
    if (available > kMaxMatch)
        available = kMaxMatch;
    if (available < kMinMatch) {
        ++pos_;  // too near the end to be matched or hashed: left out of the tree
        return 0;
    }
    const unsigned maxLength = niceLength < available ? niceLength : available;
    const uint8_t* here = buffer_ + pos_;
    const unsigned maxDistance = MaxDistance();
    const unsigned h = Hash(here, kMinMatch);
    uint32_t candidate = head_[h];
    head_[h] = pos_;
    // Where the next smaller and larger positions met go, and the bytes the
    // current position shares with the nearest smaller and larger met so far.
    uint32_t* smallerLink = &links_[2 * (pos_ & slotMask_)];
    uint32_t* largerLink = smallerLink + 1;
    unsigned smallerShared = 0, largerShared = 0;
    unsigned best = kMinMatch - 1;
    unsigned count = 0;
    for (;; --depth) {
        if (depth == 0 || candidate == kNone || candidate >= pos_ || pos_ - candidate > maxDistance) {
            *smallerLink = *largerLink = kNone;
            break;
        }
        const uint8_t* there = buffer_ + candidate;
        uint32_t* children = &links_[2 * (candidate & slotMask_)];
        unsigned length = smallerShared < largerShared ? smallerShared : largerShared;
        length = SharedLength(there, here, length, maxLength);
        if (length > best) {
            best = length;
            if (room != 0) {
                if (count == room) {  // the shortest gives way
                    for (unsigned k = 1; k < room; ++k)
                        found[k - 1] = found[k];
                    --count;
                }
                found[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(pos_ - candidate)};
            }
        }
        if (length == maxLength) {
            // The same as far as any search compares: the current position takes its place.
            *smallerLink = children[0];
            *largerLink = children[1];
            break;
        }
        if (there[length] < here[length]) {
            *smallerLink = candidate;
            smallerLink = &children[1];
            candidate = *smallerLink;
            smallerShared = length;
        } else {
            *largerLink = candidate;
            largerLink = &children[0];
            candidate = *largerLink;
            largerShared = length;
        }
    }
    if (count != 0 && found[count - 1].length == maxLength) {
        Found& longest = found[count - 1];
        longest.length = static_cast<uint16_t>(SharedLength(here - longest.distance, here, maxLength, available));
    }
    ++pos_;
    return count;
}

} // namespace lha
