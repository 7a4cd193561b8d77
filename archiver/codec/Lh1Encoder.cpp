#include "archiver/codec/Lh1Encoder.h"

#include "archiver/codec/AdaptiveTree.h"
#include "archiver/codec/BitWriter.h"
#include "archiver/codec/Lh1Format.h"
#include "archiver/codec/MatchFinder.h"

#include <memory>
#include <new>

namespace lha {
namespace {

// The code of each high six bits of a position, assigned in order of the value.
struct PositionCode {
    uint8_t code;
    uint8_t length;
};
struct PositionCodes {
    PositionCode high[1u << (kLh1DictionaryBits - kLh1LowPositionBits)];
};

constexpr PositionCodes BuildPositionCodes() {
    PositionCodes codes{};
    unsigned code = 0, high = 0;
    for (unsigned length = 1; length <= kLh1MaxPositionCodeBits; ++length, code <<= 1) {
        for (unsigned k = 0; k < kLh1HighValuesOfLength[length]; ++k, ++high, ++code)
            codes.high[high] = {static_cast<uint8_t>(code), static_cast<uint8_t>(length)};
    }
    return codes;
}
constexpr PositionCodes kPositionCodes = BuildPositionCodes();

// A copy this short is taken only when its codes cost fewer bits than its
// literals: a short copy from far back can cost more.
constexpr unsigned kPricedShortMatch = 5;

// A match at a position: `length` bytes `distance` back (length 0: none).
struct Match {
    unsigned length = 0;
    unsigned distance = 0;
};

class Lh1Encoder {
public:
    Lh1Encoder(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit)
        : method_(method), finder_(in, size, kLh1DictionaryBits), out_(out, limit) {}

    EncodeStatus Run(uint64_t& packedSize);

private:
    bool ParseAll();
    Match FindMatch() const;
    unsigned SymbolPrice(unsigned symbol) const {
        uint32_t code;
        return tree_.Code(symbol, code);
    }
    unsigned CopyPrice(const Match& match) const {
        return SymbolPrice(kLh1LengthBias + match.length) +
               kPositionCodes.high[(match.distance - 1) >> kLh1LowPositionBits].length + kLh1LowPositionBits;
    }
    void PutSymbol(unsigned symbol);
    void PutCopy(const Match& match, unsigned entered);

    const PackingMethod& method_;
    MatchFinder finder_;
    BitWriter out_;
    AdaptiveTree tree_;
};

// The longest match at the finder's position, at most kLh1MaxMatch bytes, or
// none where its literals cost less under the tree as it is now.
Match Lh1Encoder::FindMatch() const {
    Match match;
    unsigned length = finder_.Longest(method_.searchDepth, method_.niceLength, match.distance);
    match.length = length < kLh1MaxMatch ? length : kLh1MaxMatch;
    if (match.length == 0 || match.length > kPricedShortMatch)
        return match;
    unsigned literals = 0;
    for (unsigned k = 0; k < match.length; ++k)
        literals += SymbolPrice(finder_.Current()[k]);
    if (CopyPrice(match) >= literals)
        match.length = 0;
    return match;
}

// Writes the symbol's code under the tree as it is, then counts it, as the
// decoder does after reading it.
void Lh1Encoder::PutSymbol(unsigned symbol) {
    uint32_t code;
    unsigned length = tree_.Code(symbol, code);
    if (length > 16) {
        out_.Put(length - 16, code >> 16);
        length = 16;
    }
    out_.Put(length, code);
    tree_.Update(symbol);
}

// Codes `match` and moves the finder to its end; `entered` of its positions
// are in the chains already.
void Lh1Encoder::PutCopy(const Match& match, unsigned entered) {
    PutSymbol(kLh1LengthBias + match.length);
    const unsigned offset = match.distance - 1;
    const PositionCode& high = kPositionCodes.high[offset >> kLh1LowPositionBits];
    out_.Put(high.length, high.code);
    out_.Put(kLh1LowPositionBits, offset & kLh1LowPositionMask);
    for (unsigned k = entered; k < match.length; ++k)
        finder_.InsertAndAdvance();
}

// Codes the whole input, a position's match held back while the next
// position's is longer (its byte then goes as a literal). Stops early once
// the output reaches the limit. False when the source failed.
bool Lh1Encoder::ParseAll() {
    Match held;            // a match at the position before, not yet coded
    uint8_t heldByte = 0;  // that position's byte
    while (out_.Ok()) {
        if (!finder_.Prepare())
            return false;
        if (finder_.Available() == 0)
            break;
        const uint8_t byte = *finder_.Current();
        const Match match = FindMatch();
        if (held.length != 0) {
            if (match.length <= held.length) {
                PutCopy(held, 1);
                held = Match();
                continue;
            }
            PutSymbol(heldByte);
        } else if (match.length == 0) {
            PutSymbol(byte);
            finder_.InsertAndAdvance();
            continue;
        } else if (match.length >= method_.takeLength) {
            PutCopy(match, 0);
            continue;
        }
        held = match;
        heldByte = byte;
        finder_.InsertAndAdvance();
    }
    if (held.length != 0 && out_.Ok())
        PutCopy(held, 1);
    return true;
}

EncodeStatus Lh1Encoder::Run(uint64_t& packedSize) {
    if (!ParseAll())
        return EncodeStatus::InputFailed;
    const bool finished = out_.Finish();
    packedSize = out_.BytesWritten();
    if (out_.SinkFailed())
        return EncodeStatus::OutputFailed;
    return finished ? EncodeStatus::Ok : EncodeStatus::LimitReached;
}

} // namespace

EncodeStatus EncodeLh1(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                       uint64_t& packedSize) {
    packedSize = 0;
    // The finder's tables are too large for a thread's stack.
    std::unique_ptr<Lh1Encoder> encoder(new (std::nothrow) Lh1Encoder(method, in, size, out, limit));
    if (!encoder)
        return EncodeStatus::LimitReached;
    return encoder->Run(packedSize);
}

} // namespace lha
