#include "archiver/codec/AdaptiveTree.h"

#include <cstring>

namespace lha {
namespace {

constexpr uint64_t kEveryCount = 0x0001000100010001ull;  // one in each of four 16-bit counts

// The index in memory order of the first non-zero count of four loaded at once.
unsigned FirstDifferentCount(uint64_t difference) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<unsigned>(__builtin_clzll(difference)) / 16;
#else
    return static_cast<unsigned>(__builtin_ctzll(difference)) / 16;
#endif
}

} // namespace

// Counts rise with the position, but only their equality is used: the run of
// counts equal to n's that starts at n, compared four at a time (early in a
// member and after a rebuild, runs of hundreds are the rule). The root's
// count, the sum of all leaves, ends every run below it.
inline unsigned AdaptiveTree::LastOfCount(unsigned n) const {
    const uint64_t four = freq_[n] * kEveryCount;
    for (unsigned m = n + 1;; m += 4) {
        uint64_t loaded;
        std::memcpy(&loaded, freq_ + m, sizeof loaded);
        if (loaded != four)
            return m - 1 + FirstDifferentCount(loaded ^ four);
    }
}

AdaptiveTree::AdaptiveTree() {
    for (unsigned k = 0; k < kLh1SymbolCount; ++k) {
        freq_[k] = 1;
        child_[k] = static_cast<uint16_t>(kNodeCount + k);
    }
    for (unsigned j = 0, p = kLh1SymbolCount; p < kNodeCount; ++j, ++p) {
        child_[p] = static_cast<uint16_t>(2 * j);
        freq_[p] = static_cast<uint16_t>(freq_[2 * j] + freq_[2 * j + 1]);
    }
    for (unsigned p = kNodeCount; p < kNodeCount + kCountPadding; ++p)
        freq_[p] = 0;
    LinkAll();
    std::memset(inTop_, 0, sizeof inTop_);
    topStale_ = 1;
}

unsigned AdaptiveTree::Code(unsigned symbol, uint32_t& code) const {
    code = 0;
    unsigned length = 0;
    for (unsigned n = up_[kNodeCount + symbol]; n != kRoot && length < kMaxCodeBits; ++length) {
        const unsigned parent = up_[n];
        code |= static_cast<uint32_t>(n - child_[parent]) << length;
        n = parent;
    }
    return length;
}

void AdaptiveTree::Update(unsigned symbol) {
    if (freq_[kRoot] >= kRebuildFrequency)
        Rebuild();
    CountFrom(up_[kNodeCount + symbol]);
}

// Counts the node at `n` and each above it, every one first moved to the
// highest position of its count.
void AdaptiveTree::CountFrom(unsigned n) {
    while (n != kRoot) {
        // Most often the next position counts more already.
        const unsigned m = freq_[n + 1] == freq_[n] ? LastOfCount(n + 1) : n;
        if (m != n) {
            uint16_t held = child_[n];
            child_[n] = child_[m];
            child_[m] = held;
            Link(n);
            Link(m);
            topStale_ |= inTop_[n] | inTop_[m];
            n = m;
        }
        ++freq_[n];
        n = up_[n];
    }
    ++freq_[kRoot];
}

void AdaptiveTree::BuildTop() {
    std::memset(inTop_, 0, sizeof inTop_);
    TopWalk walk{};
    walk.path[0] = kRoot;
    FillTop(0, walk);
    topStale_ = 0;
}

// Fills the entries of the codes that start with `walk`, `prefix` its bits,
// and marks the positions whose content decides them.
void AdaptiveTree::FillTop(unsigned prefix, TopWalk& walk) {
    const unsigned p = walk.path[walk.depth];
    const unsigned c = child_[p];
    if (walk.depth < kTopBits)
        inTop_[p] = 1;
    if (walk.depth == kTopBits || c >= kNodeCount) {
        const unsigned span = 1u << (kTopBits - walk.depth);
        for (unsigned i = prefix * span; i < (prefix + 1) * span; ++i)
            top_[i] = walk;
        return;
    }
    ++walk.depth;
    for (unsigned bit = 0; bit < 2; ++bit) {
        walk.path[walk.depth] = static_cast<uint16_t>(c + bit);
        FillTop(2 * prefix + bit, walk);
    }
    --walk.depth;
}

// Halves every leaf's count (rounding up) and merges the leaves again, two
// lowest positions at a time; a leaf that ties a new node goes below it.
void AdaptiveTree::Rebuild() {
    uint16_t symbols[kLh1SymbolCount];
    uint16_t counts[kLh1SymbolCount];
    unsigned leaves = 0;
    for (unsigned p = 0; p < kNodeCount && leaves < kLh1SymbolCount; ++p) {
        if (child_[p] >= kNodeCount) {
            symbols[leaves] = child_[p];
            counts[leaves++] = static_cast<uint16_t>((freq_[p] + 1u) / 2);
        }
    }
    unsigned p = 0, c = 0, next = 0;
    while (p < kNodeCount) {
        while (p - c < 2 && next < leaves)
            PlaceLeaf(p++, symbols[next], counts[next]), ++next;
        if (p - c < 2)
            break;  // cannot happen: 314 leaves make exactly 313 nodes
        unsigned f = freq_[c] + freq_[c + 1];
        while (next < leaves && counts[next] <= f && p < kNodeCount)
            PlaceLeaf(p++, symbols[next], counts[next]), ++next;
        if (p >= kNodeCount)
            break;
        child_[p] = static_cast<uint16_t>(c);
        freq_[p++] = static_cast<uint16_t>(f);
        c += 2;
    }
    LinkAll();
    topStale_ = 1;
}

void AdaptiveTree::PlaceLeaf(unsigned p, uint16_t leaf, uint16_t count) {
    child_[p] = leaf;
    freq_[p] = count;
}

// Points the symbol of a leaf, or the children of a node, back at `p`; for a
// leaf the second store repeats the first, so nothing branches.
void AdaptiveTree::Link(unsigned p) {
    const unsigned c = child_[p];
    up_[c] = static_cast<uint16_t>(p);
    up_[c + (c < kNodeCount)] = static_cast<uint16_t>(p);
}

void AdaptiveTree::LinkAll() {
    for (unsigned p = 0; p < kNodeCount; ++p)
        Link(p);
}

} // namespace lha
