#include "archiver/codec/HuffmanCode.h"

#include "archiver/codec/CodecFormat.h"

#include <algorithm>

namespace lha {
namespace {

constexpr unsigned kMaxSymbols = kCodeCount;
constexpr unsigned kMaxDepth = kMaxSymbols;  // a plain Huffman tree is never deeper
constexpr unsigned kSymbolBits = 16;          // a symbol's number, below its frequency in a sort key
constexpr uint64_t kSymbolMask = (1u << kSymbolBits) - 1;

// Plain Huffman depths by the two-queue method over leaves sorted by rising
// frequency: depth[i] for the leaf sorted at i.
void HuffmanDepths(const uint32_t* freq, unsigned n, unsigned* depth) {
    uint64_t weight[kMaxSymbols * 2];
    uint16_t parent[kMaxSymbols * 2];
    for (unsigned i = 0; i < n; ++i)
        weight[i] = freq[i];
    unsigned leaf = 0, node = n, nodesEnd = n;
    auto takeSmallest = [&]() {
        if (leaf < n && (node == nodesEnd || weight[leaf] <= weight[node]))
            return leaf++;
        return node++;
    };
    for (unsigned k = 0; k + 1 < n; ++k) {
        unsigned a = takeSmallest();
        unsigned b = takeSmallest();
        weight[nodesEnd] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<uint16_t>(nodesEnd);
        ++nodesEnd;
    }
    // The root is the last node; depths grow from it downwards.
    unsigned nodeDepth[kMaxSymbols * 2];
    nodeDepth[nodesEnd - 1] = 0;
    for (unsigned i = nodesEnd - 1; i-- > 0;)
        nodeDepth[i] = nodeDepth[parent[i]] + 1;
    for (unsigned i = 0; i < n; ++i)
        depth[i] = nodeDepth[i];
}

// Pulls depths over the limit up to it, then deepens the deepest codes that
// stay under it until the code fits again (the Kraft sum is back to 1 or less).
// Depths are re-dealt so the most frequent leaves keep the shortest codes.
void LimitDepths(unsigned* depth, unsigned n, unsigned maxLength) {
    unsigned perLength[kMaxDepth + 1] = {};
    bool over = false;
    for (unsigned i = 0; i < n; ++i) {
        over |= depth[i] > maxLength;
        ++perLength[std::min(depth[i], maxLength)];
    }
    if (!over)
        return;
    uint64_t kraft = 0;
    for (unsigned l = 1; l <= maxLength; ++l)
        kraft += static_cast<uint64_t>(perLength[l]) << (maxLength - l);
    const uint64_t full = uint64_t(1) << maxLength;
    while (kraft > full) {
        unsigned l = maxLength - 1;
        while (perLength[l] == 0)
            --l;
        --perLength[l];
        ++perLength[l + 1];
        kraft -= uint64_t(1) << (maxLength - l - 1);
    }
    // Moving whole levels may leave room: shorten the longest codes into it,
    // so the code is complete again.
    for (unsigned l = maxLength; l >= 2; --l) {
        while (perLength[l] > 0 && kraft + (uint64_t(1) << (maxLength - l)) <= full) {
            --perLength[l];
            ++perLength[l - 1];
            kraft += uint64_t(1) << (maxLength - l);
        }
    }
    // Leaves are sorted by rising frequency: the longest codes go first.
    unsigned i = 0;
    for (unsigned l = maxLength; l >= 1; --l)
        for (unsigned k = 0; k < perLength[l]; ++k)
            depth[i++] = l;
}

} // namespace

void BuildCodeLengths(const uint32_t* freq, unsigned count, unsigned maxLength, uint8_t* lengths) {
    // Each used symbol as one key, its frequency above its number: sorted as
    // plain integers, they order by frequency with ties by symbol.
    uint64_t keys[kMaxSymbols];
    unsigned n = 0;
    for (unsigned s = 0; s < count; ++s) {
        lengths[s] = 0;
        if (freq[s] != 0)
            keys[n++] = (static_cast<uint64_t>(freq[s]) << kSymbolBits) | s;
    }
    if (n == 0)
        return;
    uint16_t order[kMaxSymbols];
    if (n == 1) {
        lengths[keys[0] & kSymbolMask] = 1;
        return;
    }
    std::sort(keys, keys + n);
    uint32_t sortedFreq[kMaxSymbols];
    for (unsigned i = 0; i < n; ++i) {
        order[i] = static_cast<uint16_t>(keys[i] & kSymbolMask);
        sortedFreq[i] = static_cast<uint32_t>(keys[i] >> kSymbolBits);
    }
    unsigned depth[kMaxSymbols];
    HuffmanDepths(sortedFreq, n, depth);
    LimitDepths(depth, n, maxLength);
    for (unsigned i = 0; i < n; ++i)
        lengths[order[i]] = static_cast<uint8_t>(depth[i]);
}

void AssignCodes(const uint8_t* lengths, unsigned count, uint16_t* codes) {
    unsigned perLength[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    uint16_t next[kMaxCodeLength + 2];
    unsigned code = 0;
    perLength[0] = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = static_cast<uint16_t>(code);
    }
    for (unsigned s = 0; s < count; ++s)
        codes[s] = lengths[s] != 0 ? next[lengths[s]]++ : 0;
}

} // namespace lha
