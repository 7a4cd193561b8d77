#include "archiver/codec/Encoder.h"

#include "archiver/codec/BitWriter.h"
#include "archiver/codec/BlockWriter.h"
#include "archiver/codec/MatchFinder.h"

#include <new>

namespace lha {
namespace {

// The input is parsed in chunks with lazy matching: the longest match of a
// position (a hash chain walk) is held back while the next position's match,
// priced with the code lengths of the chunk before, would do better. Each
// chunk then goes out as one block or two, whichever is smaller.
constexpr unsigned kChunkSize = 16384;
constexpr unsigned kSearchDepth = 256;        // chain positions visited per search
constexpr unsigned kNiceLength = kMaxMatch;   // a match this long ends the search
constexpr unsigned kLazyLength = kMaxMatch;   // a match this long is taken without looking one further
// When a held match and a later one cover different spans, the shorter side is
// completed at this many bits a byte (about what a byte of text costs packed).
constexpr unsigned kRestBits = 5;
// A match this short is taken only when it costs fewer bits than its literals.
constexpr unsigned kPricedShortMatch = 5;
constexpr unsigned kUnusedCodePrice = 14;     // bits assumed for a code the last chunk did not use
constexpr unsigned kUnusedPositionPrice = 6;

// Bits each code costs under the current estimate.
struct Prices {
    uint32_t code[kCodeCount];
    uint32_t position[kLh5PositionCodes];

    uint32_t Match(unsigned length, unsigned distance) const {
        unsigned p = PositionCode(distance - 1);
        return code[kLiteralCount + length - kMinMatch] + position[p] + (p > 1 ? p - 1 : 0);
    }
};

// A match at a position: `length` bytes `distance` back (length 0: none).
struct Match {
    unsigned length = 0;
    unsigned distance = 0;
};

class Lh5Encoder {
public:
    Lh5Encoder(ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit)
        : finder_(in, size), out_(out, limit) {}

    EncodeStatus Run(uint64_t& packedSize);

private:
    bool ParseChunk(unsigned& chunkLength);
    Match FindMatch() const;
    bool BetterLater(const Match& held, uint8_t heldByte, const Match& later) const;
    unsigned PutMatch(const Match& match, unsigned entered);
    void PutLiteral(uint8_t byte) { codes_[codeCount_++] = {byte, 0}; }
    void InitialPrices(const uint8_t* bytes, unsigned chunkLength);
    void PricesFromCodes();
    void WriteChunk();

    MatchFinder finder_;
    BitWriter out_;
    Prices prices_;
    BlockCode codes_[kChunkSize];
    unsigned codeCount_ = 0;
};

// The longest match at the finder's position, or none where its literals cost less.
Match Lh5Encoder::FindMatch() const {
    Match match;
    match.length = finder_.Longest(kSearchDepth, kNiceLength, match.distance);
    if (match.length == 0 || match.length > kPricedShortMatch)
        return match;
    uint32_t literals = 0;
    for (unsigned k = 0; k < match.length; ++k)
        literals += prices_.code[finder_.Current()[k]];
    if (prices_.Match(match.length, match.distance) >= literals)
        match.length = 0;
    return match;
}

// Whether a literal of `heldByte` and then `later` (one position on) beat the
// `held` match, compared over the same span.
bool Lh5Encoder::BetterLater(const Match& held, uint8_t heldByte, const Match& later) const {
    uint32_t now = prices_.Match(held.length, held.distance);
    uint32_t next = prices_.code[heldByte] + prices_.Match(later.length, later.distance);
    if (later.length + 1 > held.length)
        now += (later.length + 1 - held.length) * kRestBits;
    else
        next += (held.length - later.length - 1) * kRestBits;
    return next < now;
}

// Codes `match` and moves the finder to its end; `entered` of its positions
// are in the chains already. Returns the match's length.
unsigned Lh5Encoder::PutMatch(const Match& match, unsigned entered) {
    codes_[codeCount_++] = {static_cast<uint16_t>(kLiteralCount + match.length - kMinMatch),
                            static_cast<uint16_t>(match.distance - 1)};
    for (unsigned k = entered; k < match.length; ++k)
        finder_.InsertAndAdvance();
    return match.length;
}

// Codes up to kChunkSize positions (a last match may run past) into codes_.
bool Lh5Encoder::ParseChunk(unsigned& chunkLength) {
    codeCount_ = 0;
    unsigned n = 0;
    Match held;            // a match at the position before, not yet coded
    uint8_t heldByte = 0;  // that position's byte
    while (n < kChunkSize) {
        if (!finder_.Prepare())
            return false;
        if (finder_.Available() == 0)
            break;
        uint8_t byte = *finder_.Current();
        Match match = FindMatch();
        if (held.length != 0) {
            if (match.length == 0 || !BetterLater(held, heldByte, match)) {
                n += PutMatch(held, 1) - 1;
                held = Match();
                continue;
            }
            PutLiteral(heldByte);
        } else if (match.length == 0) {
            PutLiteral(byte);
            finder_.InsertAndAdvance();
            ++n;
            continue;
        } else if (match.length >= kLazyLength) {
            n += PutMatch(match, 0);
            continue;
        }
        held = match;
        heldByte = byte;
        finder_.InsertAndAdvance();
        ++n;
    }
    if (held.length != 0)
        n += PutMatch(held, 1) - 1;
    chunkLength = n;
    return true;
}

void Lh5Encoder::InitialPrices(const uint8_t* bytes, unsigned chunkLength) {
    // Literals by their frequency in the chunk; matches by a rough guess.
    uint32_t freq[kLiteralCount] = {};
    for (unsigned i = 0; i < chunkLength; ++i)
        ++freq[bytes[i]];
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
    // The first chunk is priced by its literals' frequencies and a guess for matches.
    if (!finder_.Prepare())
        return EncodeStatus::InputFailed;
    InitialPrices(finder_.Current(), finder_.Available() < kChunkSize ? finder_.Available() : kChunkSize);
    for (;;) {
        unsigned chunkLength = 0;
        if (!ParseChunk(chunkLength))
            return EncodeStatus::InputFailed;
        if (chunkLength == 0)
            break;
        PricesFromCodes();
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
