#include "archiver/codec/BlockWriter.h"

#include "archiver/codec/HuffmanCode.h"

namespace lha {
namespace {

// A tree ready to write: lengths and codes, or one symbol that takes no bits.
template <unsigned N>
struct Tree {
    uint8_t lengths[N];
    uint16_t codes[N];
    unsigned used = 0;     // symbols with a non-zero frequency
    unsigned single = 0;   // the symbol when used <= 1
    unsigned count = 0;    // lengths to send: one past the last non-zero

    void Build(const uint32_t* freq) {
        used = 0;
        for (unsigned s = 0; s < N; ++s)
            if (freq[s] != 0) {
                ++used;
                single = s;
            }
        BuildCodeLengths(freq, N, kMaxCodeLength, lengths);
        if (used <= 1) {
            for (unsigned s = 0; s < N; ++s)
                lengths[s] = 0;
        }
        AssignCodes(lengths, N, codes);
        count = N;
        while (count > 0 && lengths[count - 1] == 0)
            --count;
    }

    void Put(BitWriter& out, unsigned symbol) const { out.Put(lengths[symbol], codes[symbol]); }
    uint64_t Cost(const uint32_t* freq) const {
        uint64_t bits = 0;
        for (unsigned s = 0; s < N; ++s)
            bits += static_cast<uint64_t>(freq[s]) * lengths[s];
        return bits;
    }
};

// The literal/length lengths as pre-tree symbols: one step per pre-tree code,
// with the extra bits of zero runs.
struct LengthStep {
    uint8_t symbol;
    uint16_t extra;
};

constexpr unsigned kLongZeroRunMax = kLongZeroRunMin + (1u << kLongZeroRunBits) - 1;

unsigned ZeroRunSteps(unsigned run, LengthStep* steps) {
    unsigned n = 0;
    while (run > 0) {
        if (run >= kLongZeroRunMin) {
            unsigned take = run < kLongZeroRunMax ? run : kLongZeroRunMax;
            steps[n++] = {2, static_cast<uint16_t>(take - kLongZeroRunMin)};
            run -= take;
        } else if (run == kLongZeroRunMin - 1) {
            steps[n++] = {0, 0};
            run -= 1;
        } else if (run >= kShortZeroRunMin) {
            steps[n++] = {1, static_cast<uint16_t>(run - kShortZeroRunMin)};
            run = 0;
        } else {
            steps[n++] = {0, 0};
            run -= 1;
        }
    }
    return n;
}

// The literal/length tree's lengths as pre-tree steps. (Pricing the zero runs
// by the pre-tree's lengths instead was measured to save 0.003 %.)
unsigned LengthSteps(const uint8_t* lengths, unsigned count, LengthStep* steps) {
    unsigned n = 0;
    for (unsigned i = 0; i < count;) {
        if (lengths[i] != 0) {
            steps[n++] = {static_cast<uint8_t>(lengths[i] + 2), 0};
            ++i;
            continue;
        }
        unsigned run = 0;
        while (i + run < count && lengths[i + run] == 0)
            ++run;
        n += ZeroRunSteps(run, steps + n);
        i += run;
    }
    return n;
}

unsigned ExtraBits(unsigned symbol) {
    return symbol == 1 ? kShortZeroRunBits : symbol == 2 ? kLongZeroRunBits : 0;
}

void PutSmallLength(BitWriter& out, unsigned length) {
    if (length <= kShortLengthMax) {
        out.Put(kShortLengthBits, length);
        return;
    }
    unsigned ones = length - kShortLengthMax;  // 111 then ones - 1 ones... written as one field
    out.Put(kShortLengthBits + ones, (1u << (kShortLengthBits + ones)) - 2);
}

unsigned SmallLengthBits(unsigned length) {
    return length <= kShortLengthMax ? kShortLengthBits : kShortLengthBits + length - kShortLengthMax;
}

template <unsigned N>
void PutSmallTree(BitWriter& out, const Tree<N>& tree, unsigned countBits, int skipIndex) {
    if (tree.used <= 1) {
        out.Put(countBits, 0);
        out.Put(countBits, tree.single);
        return;
    }
    out.Put(countBits, tree.count);
    for (unsigned i = 0; i < tree.count;) {
        PutSmallLength(out, tree.lengths[i++]);
        if (static_cast<int>(i) != skipIndex)
            continue;
        unsigned zeros = 0;
        while (zeros < 3 && i + zeros < N && tree.lengths[i + zeros] == 0)
            ++zeros;
        out.Put(kPreTreeSkipBits, zeros);
        i += zeros;
    }
}

template <unsigned N>
uint64_t SmallTreeBits(const Tree<N>& tree, unsigned countBits, int skipIndex) {
    if (tree.used <= 1)
        return 2 * countBits;
    uint64_t bits = countBits;
    for (unsigned i = 0; i < tree.count;) {
        bits += SmallLengthBits(tree.lengths[i++]);
        if (static_cast<int>(i) != skipIndex)
            continue;
        unsigned zeros = 0;
        while (zeros < 3 && i + zeros < N && tree.lengths[i + zeros] == 0)
            ++zeros;
        bits += kPreTreeSkipBits;
        i += zeros;
    }
    return bits;
}

// Everything a block needs before its codes are written.
struct BlockPlan {
    explicit BlockPlan(unsigned dictionaryBits) : positionCountBits(PositionCountBits(dictionaryBits)) {}

    unsigned positionCountBits;
    uint32_t codeFreq[kCodeCount] = {};
    uint32_t positionFreq[kMaxPositionCodes] = {};
    uint32_t preFreq[kPreTreeCount] = {};
    Tree<kCodeCount> codeTree;
    Tree<kMaxPositionCodes> positionTree;
    Tree<kPreTreeCount> preTree;
    LengthStep steps[kCodeCount];
    unsigned stepCount = 0;

    void Make(const BlockCode* codes, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            ++codeFreq[codes[i].code];
            if (codes[i].code >= kLiteralCount)
                ++positionFreq[PositionCode(codes[i].offset)];
        }
        codeTree.Build(codeFreq);
        positionTree.Build(positionFreq);
        if (codeTree.used <= 1) {
            preTree.Build(preFreq);
            return;
        }
        stepCount = LengthSteps(codeTree.lengths, codeTree.count, steps);
        CountSteps();
    }

    void CountSteps() {
        for (unsigned s = 0; s < kPreTreeCount; ++s)
            preFreq[s] = 0;
        for (unsigned i = 0; i < stepCount; ++i)
            ++preFreq[steps[i].symbol];
        preTree.Build(preFreq);
    }

    // The pre-tree and the literal/length lengths coded with it.
    uint64_t CodeTreeBits() const {
        uint64_t bits = SmallTreeBits(preTree, kPreTreeCountBits, kPreTreeSkipIndex) + kCodeCountBits;
        for (unsigned i = 0; i < stepCount; ++i)
            bits += preTree.lengths[steps[i].symbol] + ExtraBits(steps[i].symbol);
        return bits;
    }

    uint64_t Bits() const {
        uint64_t bits = kBlockSizeBits;
        if (codeTree.used <= 1)
            bits += SmallTreeBits(preTree, kPreTreeCountBits, kPreTreeSkipIndex) + 2 * kCodeCountBits;
        else
            bits += CodeTreeBits();
        bits += SmallTreeBits(positionTree, positionCountBits, -1);
        bits += codeTree.Cost(codeFreq) + positionTree.Cost(positionFreq);
        for (unsigned p = 2; p < kMaxPositionCodes; ++p)
            bits += static_cast<uint64_t>(positionFreq[p]) * (p - 1);
        return bits;
    }
};

void PutCodeTree(BitWriter& out, const BlockPlan& plan) {
    if (plan.codeTree.used <= 1) {
        out.Put(kCodeCountBits, 0);
        out.Put(kCodeCountBits, plan.codeTree.single);
        return;
    }
    out.Put(kCodeCountBits, plan.codeTree.count);
    for (unsigned i = 0; i < plan.stepCount; ++i) {
        const LengthStep& step = plan.steps[i];
        plan.preTree.Put(out, step.symbol);
        out.Put(ExtraBits(step.symbol), step.extra);
    }
}

} // namespace

uint64_t BlockCost(unsigned dictionaryBits, const BlockCode* codes, unsigned count) {
    BlockPlan plan(dictionaryBits);
    plan.Make(codes, count);
    return plan.Bits();
}

void BlockCodeLengths(unsigned dictionaryBits, const BlockCode* codes, unsigned count, uint8_t* codeLengths,
                      uint8_t* positionLengths) {
    BlockPlan plan(dictionaryBits);
    plan.Make(codes, count);
    for (unsigned s = 0; s < kCodeCount; ++s)
        codeLengths[s] = plan.codeTree.lengths[s];
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        positionLengths[p] = plan.positionTree.lengths[p];
}

void WriteBlock(unsigned dictionaryBits, BitWriter& out, const BlockCode* codes, unsigned count) {
    BlockPlan plan(dictionaryBits);
    plan.Make(codes, count);
    out.Put(kBlockSizeBits, count);
    PutSmallTree(out, plan.preTree, kPreTreeCountBits, kPreTreeSkipIndex);
    PutCodeTree(out, plan);
    PutSmallTree(out, plan.positionTree, plan.positionCountBits, -1);
    for (unsigned i = 0; i < count; ++i) {
        unsigned code = codes[i].code;
        plan.codeTree.Put(out, code);
        if (code < kLiteralCount)
            continue;
        unsigned offset = codes[i].offset;
        unsigned p = PositionCode(offset);
        plan.positionTree.Put(out, p);
        if (p > 1)
            out.Put(p - 1, offset);  // the low p - 1 bits; the top bit is implied
    }
}

} // namespace lha
