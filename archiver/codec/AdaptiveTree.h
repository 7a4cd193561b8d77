// The Huffman tree of -lh1-'s symbols, rebuilt in place as they are seen. The
// decoder walks it down from the root, the encoder up from a leaf; both count
// every symbol right after it, so they stay in step.
//
// Positions are kept in order of frequency (the root, highest, is last); a
// node's second child sits just above its first. Parent links belong to
// positions. The order and its ties are the format's: any other gives other codes.
#pragma once
#include "archiver/codec/BitReader.h"
#include "archiver/codec/Lh1Format.h"

#include <cstdint>
#include <cstring>

namespace lha {

class AdaptiveTree {
public:
    // The root's count stays at most 0x8000 (the tree is rebuilt with halved
    // counts there) and every leaf counts at least 1; the order kept makes it a
    // Huffman tree of those counts, so no code is longer than the Fibonacci
    // bound of 21 bits, and a code always fits 32.
    static constexpr unsigned kMaxCodeBits = 32;

    AdaptiveTree();

    // The next symbol, one bit per branch, 0 to the lower child, then counted
    // as Update counts it; -1 (nothing counted) for a walk longer than
    // kMaxCodeBits, which only a broken tree can give.
    int DecodeAndUpdate(BitReader& in);

    // The code of `symbol` now: its length in bits, and in `code` its bits,
    // the root's branch the highest.
    unsigned Code(unsigned symbol, uint32_t& code) const;

    // Counts one more `symbol`: each node on its path first moves to the
    // highest position of its frequency, then grows by one.
    void Update(unsigned symbol);

private:
    static constexpr unsigned kRebuildFrequency = 0x8000;
    static constexpr unsigned kNodeCount = 2 * kLh1SymbolCount - 1;
    static constexpr unsigned kRoot = kNodeCount - 1;

    // The first kTopBits bits of a code, looked up: the positions the walk
    // from the root passes over them, stopping early at a leaf. With 4 bits a
    // swap moves one of those positions about once in 2,000 symbols; with 5
    // the table was refilled once in 40, costing more than it saved.
    static constexpr unsigned kTopBits = 4;
    struct TopWalk {
        uint16_t path[kTopBits + 1];
        uint16_t depth;
    };

    // The highest position below the root whose count, and that of every
    // position between, equals the count at `n`.
    unsigned LastOfCount(unsigned n) const;
    void CountPath(unsigned depth, unsigned leaf);
    void CountFrom(unsigned n);
    void BuildTop();
    void FillTop(unsigned prefix, TopWalk& walk);
    void Rebuild();
    void PlaceLeaf(unsigned p, uint16_t leaf, uint16_t count);
    void Link(unsigned p);
    void LinkAll();

    // Past the root, zeros: LastOfCount loads four counts at a time and stops
    // at the root at the latest, whose count exceeds every other.
    static constexpr unsigned kCountPadding = 3;

    uint16_t freq_[kNodeCount + kCountPadding];
    // A node's first child, or for a leaf kNodeCount + its symbol.
    uint16_t child_[kNodeCount];
    // Indexed like child_'s values: the parent of each position, then the
    // position of each symbol's leaf, so one store links either.
    uint16_t up_[kNodeCount + kLh1SymbolCount];

    // The walk of the last DecodeAndUpdate, root first.
    uint16_t path_[kMaxCodeBits + 1];
    // Good until a swap or a rebuild changes a position marked in inTop_,
    // one the table's walks pass above their last.
    TopWalk top_[1u << kTopBits];
    uint8_t inTop_[kNodeCount];
    uint8_t topStale_;
};

// Defined here, inline, so that the decoder's loop keeps the bit reader in
// registers across symbols.

// Counts the leaf at the end of path_ up the path itself, as long as no
// position on it has to move: with no link to follow, no level waits for the
// load of the one below.
inline void AdaptiveTree::CountPath(unsigned depth, unsigned leaf) {
    if (freq_[kRoot] >= kRebuildFrequency)
        return Update(leaf - kNodeCount);  // the path moves: counted from the leaf after the rebuild
    for (; depth > 0; --depth) {
        const unsigned n = path_[depth];
        if (freq_[n + 1] == freq_[n])
            return CountFrom(n);
        ++freq_[n];
    }
    ++freq_[kRoot];
}

// The top of the walk comes from the table; one 16-bit peek serves the rest
// of it unless the code is longer than 16 bits. The peeked bits sit at the
// top of `ahead`, the next one highest.
inline int AdaptiveTree::DecodeAndUpdate(BitReader& in) {
    if (topStale_)
        BuildTop();
    uint32_t ahead = in.Peek16() << 16;
    const TopWalk& top = top_[ahead >> (32 - kTopBits)];
    std::memcpy(path_, top.path, sizeof top.path);
    unsigned depth = top.depth;
    unsigned p = top.path[depth];
    unsigned start = 0;  // the depth at the peek
    ahead <<= depth;
    for (;;) {
        unsigned c;
        while ((c = child_[p]) < kNodeCount && depth < start + 16) {
            p = c + (ahead >> 31);
            ahead <<= 1;
            path_[++depth] = static_cast<uint16_t>(p);
        }
        in.Skip(depth - start);
        if (c >= kNodeCount) {
            CountPath(depth, c);
            return static_cast<int>(c - kNodeCount);
        }
        if (depth + 16 > kMaxCodeBits)
            return -1;
        ahead = in.Peek16() << 16;
        start = depth;
    }
}

} // namespace lha
