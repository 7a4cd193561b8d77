#include "archiver/codec/Lh1Decoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/OutputWindow.h"

namespace lha {
namespace {

constexpr unsigned kLiteralCount = 256;
constexpr unsigned kSymbolCount = 314;  // literals, then copies of 3..60 bytes
constexpr unsigned kLengthBias = 253;   // symbol s >= 256 copies s - 253 bytes
constexpr unsigned kNodeCount = 2 * kSymbolCount - 1;
constexpr unsigned kRoot = kNodeCount - 1;
constexpr unsigned kRebuildFrequency = 0x8000;
constexpr uint16_t kLeaf = 0x8000;  // in a node's child field: a leaf, its symbol below
constexpr unsigned kLowPositionBits = 6;
constexpr unsigned kPositionPeekBits = 8;
constexpr uint8_t kSpace = 0x20;

// The Huffman tree of the symbols, rebuilt in place as they are seen. Positions
// are kept in order of frequency (the root, highest, is last); a node's second
// child sits just above its first. Parent links belong to positions.
class AdaptiveTree {
public:
    AdaptiveTree() {
        for (unsigned k = 0; k < kSymbolCount; ++k) {
            freq_[k] = 1;
            child_[k] = static_cast<uint16_t>(kLeaf | k);
        }
        for (unsigned j = 0, p = kSymbolCount; p < kNodeCount; ++j, ++p) {
            child_[p] = static_cast<uint16_t>(2 * j);
            freq_[p] = static_cast<uint16_t>(freq_[2 * j] + freq_[2 * j + 1]);
        }
        LinkAll();
    }

    // The next symbol, one bit per branch, 0 to the lower child; -1 for a walk
    // longer than the tree has nodes, which only a broken tree can give.
    int Decode(BitReader& in) const {
        unsigned p = kRoot;
        unsigned steps = 0;
        for (;;) {
            unsigned bits = in.Peek16();
            unsigned used = 0;
            unsigned c;
            while (!((c = child_[p]) & kLeaf) && used < 16) {
                p = c + ((bits >> (15 - used)) & 1);
                ++used;
            }
            in.Skip(used);
            if (c & kLeaf)
                return static_cast<int>(c & (kLeaf - 1));
            steps += used;
            if (steps > kNodeCount)
                return -1;
        }
    }

    // Counts one more `symbol`: each node on its path first moves to the
    // highest position of its frequency, then grows by one.
    void Update(unsigned symbol) {
        if (freq_[kRoot] >= kRebuildFrequency)
            Rebuild();
        unsigned n = leaf_[symbol];
        while (n != kRoot) {
            unsigned m = n;
            while (m + 1 < kRoot && freq_[m + 1] == freq_[n])
                ++m;
            if (m != n) {
                uint16_t held = child_[n];
                child_[n] = child_[m];
                child_[m] = held;
                Link(n);
                Link(m);
                n = m;
            }
            ++freq_[n];
            n = parent_[n];
        }
        ++freq_[kRoot];
    }

private:
    // Halves every leaf's count (rounding up) and merges the leaves again,
    // two lowest positions at a time; a leaf that ties a new node goes below it.
    void Rebuild() {
        uint16_t symbols[kSymbolCount];
        uint16_t counts[kSymbolCount];
        unsigned leaves = 0;
        for (unsigned p = 0; p < kNodeCount && leaves < kSymbolCount; ++p) {
            if (child_[p] & kLeaf) {
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
    }

    void PlaceLeaf(unsigned p, uint16_t leaf, uint16_t count) {
        child_[p] = leaf;
        freq_[p] = count;
    }

    // Points the symbol of a leaf, or the children of a node, back at `p`.
    void Link(unsigned p) {
        uint16_t c = child_[p];
        if (c & kLeaf) {
            leaf_[c & (kLeaf - 1)] = static_cast<uint16_t>(p);
            return;
        }
        parent_[c] = static_cast<uint16_t>(p);
        parent_[c + 1] = static_cast<uint16_t>(p);
    }

    void LinkAll() {
        for (unsigned p = 0; p < kNodeCount; ++p)
            Link(p);
    }

    uint16_t freq_[kNodeCount];
    uint16_t child_[kNodeCount];
    uint16_t parent_[kNodeCount];
    uint16_t leaf_[kSymbolCount];
};

// The high six bits of a position: a fixed canonical code with 1, 3, 8, 12,
// 24 and 16 values of 3 to 8 bits. Looked up on the next 8 bits.
struct PositionCode {
    uint8_t high;
    uint8_t length;
};
struct PositionTable {
    PositionCode entry[1u << kPositionPeekBits];
};
constexpr unsigned kHighValuesOfLength[kPositionPeekBits + 1] = {0, 0, 0, 1, 3, 8, 12, 24, 16};

constexpr PositionTable BuildPositionTable() {
    PositionTable table{};
    unsigned code = 0, high = 0;
    for (unsigned length = 1; length <= kPositionPeekBits; ++length, code <<= 1) {
        for (unsigned k = 0; k < kHighValuesOfLength[length]; ++k, ++high, ++code) {
            unsigned first = code << (kPositionPeekBits - length);
            for (unsigned i = 0; i < (1u << (kPositionPeekBits - length)); ++i)
                table.entry[first + i] = {static_cast<uint8_t>(high), static_cast<uint8_t>(length)};
        }
    }
    return table;
}
constexpr PositionTable kPositionTable = BuildPositionTable();

class Lh1Decoder {
public:
    Lh1Decoder(ByteSource& packed, uint64_t packedSize, ByteSink& out) : in_(packed, packedSize), window_(out) {
        uint8_t space = kSpace;
        window_.Preset(&space, 1, 0);
    }

    DecodeStatus Run(uint64_t left) {
        while (left > 0) {
            int symbol = tree_.Decode(in_);
            if (symbol < 0)
                return DecodeStatus::CorruptData;
            tree_.Update(static_cast<unsigned>(symbol));
            uint32_t distance = 0;
            uint32_t length = 1;
            if (symbol >= static_cast<int>(kLiteralCount)) {
                distance = ReadDistance();
                length = static_cast<uint32_t>(symbol) - kLengthBias;
                if (length > left)
                    length = static_cast<uint32_t>(left);  // the member ends inside the copy
            }
            // Bits past the packed data: nothing of this command is output.
            if (in_.Overran())
                return in_.SourceEnded() ? DecodeStatus::InputFailed : DecodeStatus::CorruptData;
            bool written = distance == 0 ? window_.Put(static_cast<uint8_t>(symbol)) : window_.Copy(distance, length);
            if (!written)
                return DecodeStatus::OutputFailed;
            left -= length;
        }
        return window_.Flush() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
    }

private:
    // 1..4096 bytes back.
    uint32_t ReadDistance() {
        const PositionCode& code = kPositionTable.entry[in_.Peek16() >> (16 - kPositionPeekBits)];
        in_.Skip(code.length);
        uint32_t low = in_.Get(kLowPositionBits);
        return ((static_cast<uint32_t>(code.high) << kLowPositionBits) | low) + 1;
    }

    BitReader in_;
    OutputWindow window_;
    AdaptiveTree tree_;
};

} // namespace

DecodeStatus DecodeLh1(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out) {
    if (dictionaryBits != kLh1DictionaryBits)
        return DecodeStatus::CorruptData;
    Lh1Decoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
