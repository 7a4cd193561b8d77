#include "archiver/Encoder.h"

#include "archiver/BitWriter.h"
#include "archiver/BlockWriter.h"
#include "archiver/MatchFinder.h"

#include <new>

namespace lha {
namespace {

// The input is parsed in chunks: every position's matches are collected (a
// binary tree per hash), then the cheapest way through the chunk is found by
// pricing each literal and match with the code lengths of the last parse, then
// the chunk goes out as one block or two, whichever is smaller.
constexpr unsigned kChunkSize = 16384;
constexpr unsigned kMaxPairsPerPosition = 8;  // the longest matches of each position
constexpr unsigned kSearchDepth = 16;         // tree nodes visited per position
constexpr unsigned kNiceLength = 32;          // a match this long is taken whole: no search inside it
// A chunk is parsed once with the prices of the chunk before; a member's first
// chunk, which starts from a guess, twice.
constexpr unsigned kParsePasses = 1;
constexpr unsigned kFirstChunkPasses = 2;
constexpr unsigned kAllLengthsUpTo = 16;      // every cut of a match up to this length is weighed
constexpr unsigned kUnusedCodePrice = 14;     // bits assumed for a code the last parse did not use
constexpr unsigned kUnusedPositionPrice = 6;

struct MatchPair {
    uint16_t length;
    uint16_t distance;
};

// Bits each code costs under the current estimate.
struct Prices {
    uint32_t code[kCodeCount];
    uint32_t position[kLh5PositionCodes];

    uint32_t Match(unsigned length, unsigned distance) const {
        unsigned p = PositionCode(distance - 1);
        return code[kLiteralCount + length - kMinMatch] + position[p] + (p > 1 ? p - 1 : 0);
    }
};

class Lh5Encoder {
public:
    Lh5Encoder(ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit)
        : finder_(in, size), out_(out, limit) {}

    EncodeStatus Run(uint64_t& packedSize);

private:
    bool CollectMatches(unsigned& chunkLength);
    void InitialPrices(unsigned chunkLength);
    void PricesFromCodes();
    void Parse(unsigned chunkLength);
    void WriteChunk();

    MatchFinder finder_;
    BitWriter out_;
    Prices prices_;
    uint8_t bytes_[kChunkSize];
    uint32_t pairStart_[kChunkSize + 1];   // pairs_ of position i: [pairStart_[i], pairStart_[i + 1])
    MatchPair pairs_[kChunkSize * kMaxPairsPerPosition];
    uint32_t cost_[kChunkSize + 1];
    MatchPair step_[kChunkSize + 1];       // how the cheapest way reaches each position
    BlockCode codes_[kChunkSize];
    unsigned codeCount_ = 0;
    bool havePrices_ = false;
};

// Moves the finder through up to kChunkSize positions, keeping each one's byte
// and its longest matches.
bool Lh5Encoder::CollectMatches(unsigned& chunkLength) {
    unsigned n = 0, stored = 0, skip = 0;
    uint16_t lengths[kMaxMatch], distances[kMaxMatch];
    for (; n < kChunkSize; ++n) {
        if (!finder_.Prepare())
            return false;
        if (finder_.Available() == 0)
            break;
        bytes_[n] = *finder_.Current();
        pairStart_[n] = stored;
        if (skip > 0) {
            --skip;
            finder_.SkipAndAdvance(kSearchDepth, kNiceLength);
            continue;
        }
        unsigned found = finder_.FindAndAdvance(kSearchDepth, kNiceLength, lengths, distances);
        unsigned first = found > kMaxPairsPerPosition ? found - kMaxPairsPerPosition : 0;
        for (unsigned k = first; k < found; ++k)
            pairs_[stored++] = {lengths[k], distances[k]};
        if (found > 0 && lengths[found - 1] >= kNiceLength)
            skip = lengths[found - 1] - 1;
    }
    pairStart_[n] = stored;
    chunkLength = n;
    return true;
}

void Lh5Encoder::InitialPrices(unsigned chunkLength) {
    // Literals by their frequency in the chunk; matches by a rough guess.
    uint32_t freq[kLiteralCount] = {};
    for (unsigned i = 0; i < chunkLength; ++i)
        ++freq[bytes_[i]];
    for (unsigned c = 0; c < kLiteralCount; ++c) {
        unsigned bits = 1;
        while (bits < 15 && (static_cast<uint64_t>(freq[c]) << bits) < chunkLength)
            ++bits;
        prices_.code[c] = bits;
    }
    for (unsigned c = kLiteralCount; c < kCodeCount; ++c)
        prices_.code[c] = c - kLiteralCount < 16 ? 5 + (c - kLiteralCount) / 4 : 10;
    for (unsigned p = 0; p < kLh5PositionCodes; ++p)
        prices_.position[p] = 4;
}

void Lh5Encoder::PricesFromCodes() {
    uint8_t codeLengths[kCodeCount], positionLengths[kLh5PositionCodes];
    BlockCodeLengths(codes_, codeCount_, codeLengths, positionLengths);
    for (unsigned c = 0; c < kCodeCount; ++c)
        prices_.code[c] = codeLengths[c] != 0 ? codeLengths[c] : kUnusedCodePrice;
    for (unsigned p = 0; p < kLh5PositionCodes; ++p)
        prices_.position[p] = positionLengths[p] != 0 ? positionLengths[p] : kUnusedPositionPrice;
}

// The cheapest sequence of literals and matches through the chunk, into codes_.
void Lh5Encoder::Parse(unsigned chunkLength) {
    cost_[0] = 0;
    for (unsigned i = 1; i <= chunkLength; ++i)
        cost_[i] = UINT32_MAX;
    for (unsigned i = 0; i < chunkLength; ++i) {
        uint32_t base = cost_[i];
        uint32_t literal = base + prices_.code[bytes_[i]];
        if (literal < cost_[i + 1]) {
            cost_[i + 1] = literal;
            step_[i + 1] = {1, 0};
        }
        unsigned length = kMinMatch;
        for (unsigned k = pairStart_[i]; k < pairStart_[i + 1]; ++k) {
            unsigned distance = pairs_[k].distance;
            unsigned longest = pairs_[k].length;
            if (longest > chunkLength - i)
                longest = chunkLength - i;
            unsigned p = PositionCode(distance - 1);
            uint32_t positionCost = base + prices_.position[p] + (p > 1 ? p - 1 : 0);
            // Past kAllLengthsUpTo only the whole match is weighed: shorter
            // cuts of a long match rarely pay, and trying each costs time.
            if (length > kAllLengthsUpTo && length < longest)
                length = longest;
            for (; length <= longest; ++length) {
                if (length == kAllLengthsUpTo + 1 && length < longest)
                    length = longest;
                uint32_t c = positionCost + prices_.code[kLiteralCount + length - kMinMatch];
                if (c < cost_[i + length]) {
                    cost_[i + length] = c;
                    step_[i + length] = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
                }
            }
        }
    }
    // Walk back from the end, then lay the steps out forwards.
    unsigned count = 0;
    for (unsigned i = chunkLength; i > 0; i -= step_[i].length)
        ++count;
    codeCount_ = count;
    for (unsigned i = chunkLength; i > 0; i -= step_[i].length) {
        const MatchPair& s = step_[i];
        --count;
        if (s.length == 1)
            codes_[count] = {bytes_[i - 1], 0};
        else
            codes_[count] = {static_cast<uint16_t>(kLiteralCount + s.length - kMinMatch),
                             static_cast<uint16_t>(s.distance - 1)};
    }
}

void Lh5Encoder::WriteChunk() {
    if (codeCount_ == 0 || !out_.Ok())
        return;
    unsigned half = codeCount_ / 2;
    if (codeCount_ >= 1024 &&
        BlockCost(codes_, half) + BlockCost(codes_ + half, codeCount_ - half) < BlockCost(codes_, codeCount_)) {
        WriteBlock(out_, codes_, half);
        WriteBlock(out_, codes_ + half, codeCount_ - half);
        return;
    }
    WriteBlock(out_, codes_, codeCount_);
}

EncodeStatus Lh5Encoder::Run(uint64_t& packedSize) {
    for (;;) {
        unsigned chunkLength = 0;
        if (!CollectMatches(chunkLength))
            return EncodeStatus::InputFailed;
        if (chunkLength == 0)
            break;
        unsigned passes = kParsePasses;
        if (!havePrices_) {
            InitialPrices(chunkLength);
            passes = kFirstChunkPasses;
        }
        for (unsigned pass = 0; pass < passes; ++pass) {
            Parse(chunkLength);
            PricesFromCodes();
        }
        havePrices_ = true;
        WriteChunk();
        if (!out_.Ok())
            break;
    }
    bool finished = out_.Finish();
    packedSize = out_.BytesWritten();
    if (out_.SinkFailed())
        return EncodeStatus::OutputFailed;
    return finished ? EncodeStatus::Ok : EncodeStatus::LimitReached;
}

} // namespace

EncodeStatus EncodeLh5(ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                       uint64_t& packedSize) {
    packedSize = 0;
    // The parser's tables are too large for a thread's stack. Without memory
    // for them there is no packing: the caller stores the data instead.
    Lh5Encoder* encoder = new (std::nothrow) Lh5Encoder(in, size, out, limit);
    if (encoder == nullptr)
        return EncodeStatus::LimitReached;
    EncodeStatus status = encoder->Run(packedSize);
    delete encoder;
    return status;
}

} // namespace lha
