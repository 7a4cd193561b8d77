#include "archiver/codec/BlockWriter.h"

#include "archiver/codec/HuffmanCode.h"

namespace lha {
namespace {

template <unsigned N>
using Tree = BlockWriter::Tree<N>;
using LengthStep = BlockWriter::LengthStep;

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

} // namespace

template <unsigned N>
void BlockWriter::Tree<N>::Build(const uint32_t* freq) {
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
    count = N;
    while (count > 0 && lengths[count - 1] == 0)
        --count;
}

template <unsigned N>
uint64_t BlockWriter::Tree<N>::Cost(const uint32_t* freq) const {
    uint64_t bits = 0;
    for (unsigned s = 0; s < N; ++s)
        bits += static_cast<uint64_t>(freq[s]) * lengths[s];
    return bits;
}

template <unsigned N>
BlockWriter::Codes<N>::Codes(const Tree<N>& planned) : tree(planned) {
    AssignCodes(tree.lengths, N, codes);
}

template struct BlockWriter::Tree<kCodeCount>;
template struct BlockWriter::Tree<kMaxPositionCodes>;
template struct BlockWriter::Tree<kPreTreeCount>;

void BlockWriter::Plan(unsigned dictionaryBits, const BlockCode* codes, unsigned count) {
    codes_ = codes;
    count_ = count;
    positionCountBits_ = PositionCountBits(dictionaryBits);
    for (uint32_t& f : codeFreq_)
        f = 0;
    for (uint32_t& f : positionFreq_)
        f = 0;
    for (unsigned i = 0; i < count; ++i) {
        ++codeFreq_[codes[i].code];
        if (codes[i].code >= kLiteralCount)
            ++positionFreq_[PositionCode(codes[i].offset)];
    }
    codeTree_.Build(codeFreq_);
    positionTree_.Build(positionFreq_);
    stepCount_ = codeTree_.used <= 1 ? 0 : LengthSteps(codeTree_.lengths, codeTree_.count, steps_);
    uint32_t preFreq[kPreTreeCount] = {};
    for (unsigned i = 0; i < stepCount_; ++i)
        ++preFreq[steps_[i].symbol];
    preTree_.Build(preFreq);
}

uint64_t BlockWriter::Bits() const {
    uint64_t bits = kBlockSizeBits + SmallTreeBits(preTree_, kPreTreeCountBits, kPreTreeSkipIndex);
    if (codeTree_.used <= 1) {
        bits += 2 * kCodeCountBits;
    } else {
        bits += kCodeCountBits;
        for (unsigned i = 0; i < stepCount_; ++i)
            bits += preTree_.lengths[steps_[i].symbol] + ExtraBits(steps_[i].symbol);
    }
    bits += SmallTreeBits(positionTree_, positionCountBits_, -1);
    bits += codeTree_.Cost(codeFreq_) + positionTree_.Cost(positionFreq_);
    for (unsigned p = 2; p < kMaxPositionCodes; ++p)
        bits += static_cast<uint64_t>(positionFreq_[p]) * (p - 1);
    return bits;
}

void BlockWriter::CodeLengths(uint8_t* codeLengths, uint8_t* positionLengths) const {
    for (unsigned s = 0; s < kCodeCount; ++s)
        codeLengths[s] = codeTree_.lengths[s];
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        positionLengths[p] = positionTree_.lengths[p];
}

void BlockWriter::PutCodeTree(BitWriter& out, const Codes<kPreTreeCount>& preCodes) const {
    if (codeTree_.used <= 1) {
        out.Put(kCodeCountBits, 0);
        out.Put(kCodeCountBits, codeTree_.single);
        return;
    }
    out.Put(kCodeCountBits, codeTree_.count);
    for (unsigned i = 0; i < stepCount_; ++i) {
        const LengthStep& step = steps_[i];
        preCodes.Put(out, step.symbol);
        out.Put(ExtraBits(step.symbol), step.extra);
    }
}

void BlockWriter::Write(BitWriter& out) const {
    out.Put(kBlockSizeBits, count_);
    PutSmallTree(out, preTree_, kPreTreeCountBits, kPreTreeSkipIndex);
    PutCodeTree(out, Codes<kPreTreeCount>(preTree_));
    PutSmallTree(out, positionTree_, positionCountBits_, -1);
    const Codes<kCodeCount> codeCodes(codeTree_);
    const Codes<kMaxPositionCodes> positionCodes(positionTree_);
    for (unsigned i = 0; i < count_; ++i) {
        unsigned code = codes_[i].code;
        codeCodes.Put(out, code);
        if (code < kLiteralCount)
            continue;
        unsigned offset = codes_[i].offset;
        unsigned p = PositionCode(offset);
        positionCodes.Put(out, p);
        if (p > 1)
            out.Put(p - 1, offset);  // the low p - 1 bits; the top bit is implied
    }
}

} // namespace lha
