#include "archiver/codec/Encoder.h"

#include "archiver/codec/BitWriter.h"
#include "archiver/codec/BlockWriter.h"
#include "archiver/codec/Decoder.h"
#include "archiver/codec/Lh1Encoder.h"
#include "archiver/codec/MatchFinder.h"

#include <algorithm>
#include <new>

namespace lha {
namespace {

// -lh5-, the default, stays fast: a match of 16 bytes is taken without
// looking one position on (0.01 % larger, 4 % faster on the bench corpus); the
// larger dictionaries are asked for to pack small, and are searched deeper:
// their chains hold more of the far copies that make them pay.
const PackingMethod kPackingMethods[] = {
    // id      dictionary          parsing            depth nice       take       parses
    {"-lh0-", 0, Parsing::Lazy, 0, 0, 0, 0},
    {"-lh5-", kLh5DictionaryBits, Parsing::Lazy, 256, kMaxMatch, 16, 1},
    {"-lh6-", kLh6DictionaryBits, Parsing::Cheapest, 32, 128, 128, 2},
    {"-lh7-", kLh7DictionaryBits, Parsing::Cheapest, 32, 128, 128, 2},
    {"-lh1-", kLh1DictionaryBits, Parsing::Lazy, 128, kLh1MaxMatch, kLh1MaxMatch, 1, EncodeLh1},
};

// The input is parsed in chunks. Lazy: kLazyChunk positions, a position's
// longest match (a hash chain walk) held back while the next position's match,
// priced with the code lengths of the chunk before, would do better.
// Cheapest: kChunkSize positions; the matches of every position are found
// once (a binary tree walk: a chain would have to be walked hundreds deep at
// every position for the same matches), then the cheapest way through the
// chunk (literals and copies, each priced in bits) is found `parses` times:
// first with the code lengths of the chunk before, then with those the parse
// before gives. A chunk goes out as one block, or halves split again while
// that is smaller. (On this tree's bench corpus, -lh7- Cheapest is 2.4 %
// smaller than Lazy but three times slower: not worth it for the default; a
// third parse gains 0.03 %, a single one loses 0.5 %.)
constexpr unsigned kChunkSize = 32768;
constexpr unsigned kLazyChunk = 16384;
// When a held match and a later one cover different spans, the shorter side is
// completed at this many bits a byte (about what a byte of text costs packed).
constexpr unsigned kRestBits = 5;
// A held match this long is seldom bettered one position on: that search goes
// a share of the depth (4 and an eighth: 0.06 % larger and 6 % faster on the
// bench corpus than searching as deep as ever).
constexpr unsigned kGoodHeld = 4;
constexpr unsigned kGoodHeldDepthShare = 8;
// A match this short is taken only when it costs fewer bits than its literals.
constexpr unsigned kPricedShortMatch = 5;
constexpr unsigned kMatchesKept = 8;          // per position, the longest
// A block this long is tried as two halves (from 1024, each try planning two
// more blocks, -lh5- packs 0.02 % smaller and 5 % slower).
constexpr unsigned kSplitCodes = 2048;
// How many times a chunk's codes can be halved and still be tried as halves.
constexpr unsigned SplitLevels(unsigned count) { return count < kSplitCodes ? 0 : 1 + SplitLevels((count + 1) / 2); }
constexpr unsigned kSplitLevels = SplitLevels(kChunkSize);
constexpr unsigned kUnusedCodePrice = 14;     // bits assumed for a code the last chunk did not use
constexpr unsigned kUnusedPositionPrice = 6;
constexpr unsigned kMaxInitialLiteralBits = 15;  // a literal the first chunk does not hold
constexpr uint32_t kUnreached = 0xFFFFFFFF;

unsigned BitLength(uint32_t value) { return value == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(value)); }

// Bits each code costs under the current estimate.
struct Prices {
    uint32_t code[kCodeCount];
    uint32_t position[kMaxPositionCodes];

    uint32_t Match(unsigned length, unsigned distance) const {
        unsigned p = PositionCode(distance - 1);
        return code[kLiteralCount + length - kMinMatch] + position[p] + (p > 1 ? p - 1 : 0);
    }
};

using Found = MatchFinder::Found;

// A match at a position: `length` bytes `distance` back (length 0: none).
struct Match {
    unsigned length = 0;
    unsigned distance = 0;
};

// The cheapest way to each position of the chunk: its cost from the chunk's
// start and the step that ends there (length 1: a literal).
struct Step {
    uint32_t cost;
    uint16_t length;
    uint16_t distance;
};

class LhEncoder {
public:
    LhEncoder(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit)
        : method_(method), finder_(in, size, method.dictionaryBits), out_(out, limit) {}

    EncodeStatus Run(uint64_t& packedSize);

private:
    bool NextChunk(bool first, unsigned& chunkLength);
    // Lazy
    bool ParseLazily(unsigned& chunkLength);
    unsigned DepthAfter(const Match& held) const;
    Match FindMatch(unsigned depth) const;
    bool BetterLater(const Match& held, uint8_t heldByte, const Match& later) const;
    unsigned PutMatch(const Match& match, unsigned entered);
    void PutLiteral(uint8_t byte) { codes_[codeCount_++] = {byte, 0}; }
    // Cheapest
    bool FindChunkMatches(unsigned& chunkLength);
    void Parse(unsigned chunkLength);
    void Relax(unsigned at, unsigned chunkLength);
    void CollectCodes(unsigned chunkLength);
    void InitialPrices(const uint8_t* bytes, unsigned chunkLength);
    void PricesFromCodes();
    void WriteCodes(const BlockWriter& block, unsigned begin, unsigned count, unsigned level);
    void WriteChunk();

    const PackingMethod& method_;
    MatchFinder finder_;
    BitWriter out_;
    Prices prices_;
    uint8_t bytes_[kChunkSize];                 // the chunk (the finder's buffer slides meanwhile)
    uint8_t matchCount_[kChunkSize];
    Found matches_[kChunkSize][kMatchesKept];
    Step steps_[kChunkSize + 1];
    BlockCode codes_[kChunkSize];
    unsigned codeCount_ = 0;
    // The block of all codes_, planned once for pricing the next chunk and
    // for writing; and the halves tried at each level of splitting.
    BlockWriter block_;
    BlockWriter halves_[kSplitLevels][2];
};

// How deep the search one position past `held` goes.
unsigned LhEncoder::DepthAfter(const Match& held) const {
    return held.length >= kGoodHeld ? method_.searchDepth / kGoodHeldDepthShare : method_.searchDepth;
}

// The longest match at the finder's position, or none where its literals cost less.
Match LhEncoder::FindMatch(unsigned depth) const {
    Match match;
    match.length = finder_.Longest(depth, method_.niceLength, match.distance);
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
bool LhEncoder::BetterLater(const Match& held, uint8_t heldByte, const Match& later) const {
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
unsigned LhEncoder::PutMatch(const Match& match, unsigned entered) {
    codes_[codeCount_++] = {static_cast<uint16_t>(kLiteralCount + match.length - kMinMatch),
                            static_cast<uint16_t>(match.distance - 1)};
    for (unsigned k = entered; k < match.length; ++k)
        finder_.InsertAndAdvance();
    return match.length;
}

// Codes up to kLazyChunk positions (a last match may run past) into codes_.
bool LhEncoder::ParseLazily(unsigned& chunkLength) {
    codeCount_ = 0;
    unsigned n = 0;
    Match held;            // a match at the position before, not yet coded
    uint8_t heldByte = 0;  // that position's byte
    while (n < kLazyChunk) {
        if (!finder_.Prepare())
            return false;
        if (finder_.Available() == 0)
            break;
        uint8_t byte = *finder_.Current();
        Match match = FindMatch(DepthAfter(held));
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
        } else if (match.length >= method_.takeLength) {
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

// Reads up to kChunkSize positions, entering each in the chains, and keeps
// their bytes and matches. A long match is kept alone and the positions it
// covers get none.
bool LhEncoder::FindChunkMatches(unsigned& chunkLength) {
    unsigned n = 0;
    while (n < kChunkSize) {
        if (!finder_.Prepare())
            return false;
        if (finder_.Available() == 0)
            break;
        bytes_[n] = *finder_.Current();
        unsigned count = finder_.TreeMatches(method_.searchDepth, method_.niceLength, matches_[n], kMatchesKept);
        matchCount_[n] = static_cast<uint8_t>(count);
        ++n;
        if (count == 0 || matches_[n - 1][count - 1].length < method_.takeLength)
            continue;
        matches_[n - 1][0] = matches_[n - 1][count - 1];
        matchCount_[n - 1] = 1;
        // The length is read once: n moves on over positions whose matches are not set.
        const unsigned covered = matches_[n - 1][0].length;
        for (unsigned k = 1; k < covered && n < kChunkSize; ++k) {
            if (!finder_.Prepare())
                return false;
            bytes_[n] = *finder_.Current();
            matchCount_[n] = 0;
            finder_.SkipAdvance();
            ++n;
        }
    }
    chunkLength = n;
    return true;
}

// Offers the steps that start at `at`: its literal, and every length of its
// matches from the nearest match that long, none past the chunk's end.
void LhEncoder::Relax(unsigned at, unsigned chunkLength) {
    const uint32_t base = steps_[at].cost;
    uint32_t literal = base + prices_.code[bytes_[at]];
    if (literal < steps_[at + 1].cost)
        steps_[at + 1] = {literal, 1, 0};
    unsigned length = kMinMatch;
    const unsigned room = chunkLength - at;
    Step* target = steps_ + at;
    for (unsigned m = 0; m < matchCount_[at]; ++m) {
        const Found& found = matches_[at][m];
        const unsigned longest = found.length < room ? found.length : room;
        // The position's part of the price is the same for every length.
        const unsigned p = PositionCode(found.distance - 1u);
        const uint32_t position = base + prices_.position[p] + (p > 1 ? p - 1 : 0);
        const uint32_t* lengthPrice = prices_.code + kLiteralCount - kMinMatch;
        for (; length <= longest; ++length) {
            uint32_t cost = position + lengthPrice[length];
            if (cost < target[length].cost)
                target[length] = {cost, static_cast<uint16_t>(length), found.distance};
        }
    }
}

void LhEncoder::Parse(unsigned chunkLength) {
    steps_[0] = {0, 0, 0};
    for (unsigned i = 1; i <= chunkLength; ++i)
        steps_[i].cost = kUnreached;
    for (unsigned i = 0; i < chunkLength; ++i)
        Relax(i, chunkLength);
    CollectCodes(chunkLength);
}

// Walks the cheapest steps back from the chunk's end and codes them in order.
void LhEncoder::CollectCodes(unsigned chunkLength) {
    unsigned count = 0;
    for (unsigned at = chunkLength; at > 0; at -= steps_[at].length)
        ++count;
    codeCount_ = count;
    for (unsigned at = chunkLength; at > 0; at -= steps_[at].length) {
        const Step& step = steps_[at];
        codes_[--count] = step.length == 1
                              ? BlockCode{bytes_[at - 1], 0}
                              : BlockCode{static_cast<uint16_t>(kLiteralCount + step.length - kMinMatch),
                                          static_cast<uint16_t>(step.distance - 1)};
    }
}

void LhEncoder::InitialPrices(const uint8_t* bytes, unsigned chunkLength) {
    // Literals by their frequency in the chunk; matches by a rough guess.
    uint32_t freq[kLiteralCount] = {};
    for (unsigned i = 0; i < chunkLength; ++i)
        ++freq[bytes[i]];
    // A literal seen freq times costs the fewest bits b (1 to 15) with
    // freq * 2^b >= chunkLength: b is the bit length of ceil(chunkLength / freq) - 1.
    for (unsigned c = 0; c < kLiteralCount; ++c) {
        unsigned bits = kMaxInitialLiteralBits;
        if (freq[c] != 0) {
            const uint32_t share = (chunkLength + freq[c] - 1) / freq[c];
            bits = std::min(std::max(BitLength(share - 1), 1u), kMaxInitialLiteralBits);
        }
        prices_.code[c] = bits;
    }
    for (unsigned c = kLiteralCount; c < kCodeCount; ++c)
        prices_.code[c] = c - kLiteralCount < 16 ? 5 + (c - kLiteralCount) / 4 : 10;
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        prices_.position[p] = 4;
}

void LhEncoder::PricesFromCodes() {
    uint8_t codeLengths[kCodeCount], positionLengths[kMaxPositionCodes];
    block_.Plan(method_.dictionaryBits, codes_, codeCount_);
    block_.CodeLengths(codeLengths, positionLengths);
    for (unsigned c = 0; c < kCodeCount; ++c)
        prices_.code[c] = codeLengths[c] != 0 ? codeLengths[c] : kUnusedCodePrice;
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        prices_.position[p] = positionLengths[p] != 0 ? positionLengths[p] : kUnusedPositionPrice;
}

// Writes codes_[begin, begin + count), planned as `block`, as one block, or
// as two halves (each split again the same way) when that is smaller.
void LhEncoder::WriteCodes(const BlockWriter& block, unsigned begin, unsigned count, unsigned level) {
    const unsigned bits = method_.dictionaryBits;
    unsigned half = count / 2;
    if (count >= kSplitCodes) {
        BlockWriter& first = halves_[level][0];
        BlockWriter& second = halves_[level][1];
        first.Plan(bits, codes_ + begin, half);
        second.Plan(bits, codes_ + begin + half, count - half);
        if (first.Bits() + second.Bits() < block.Bits()) {
            WriteCodes(first, begin, half, level + 1);
            WriteCodes(second, begin + half, count - half, level + 1);
            return;
        }
    }
    block.Write(out_);
}

// Writes the chunk's codes, planned by PricesFromCodes.
void LhEncoder::WriteChunk() {
    if (codeCount_ == 0 || !out_.Ok())
        return;
    WriteCodes(block_, 0, codeCount_, 0);
}

// Codes the next chunk into codes_ and prices the codes for the chunk after;
// chunkLength 0 at the end of the input. The first chunk starts from its
// literals' frequencies and a guess for matches.
bool LhEncoder::NextChunk(bool first, unsigned& chunkLength) {
    if (method_.parsing == Parsing::Lazy) {
        if (first) {
            if (!finder_.Prepare())
                return false;
            InitialPrices(finder_.Current(), finder_.Available() < kLazyChunk ? finder_.Available() : kLazyChunk);
        }
        if (!ParseLazily(chunkLength))
            return false;
        if (chunkLength != 0)
            PricesFromCodes();
        return true;
    }
    if (!FindChunkMatches(chunkLength))
        return false;
    if (chunkLength == 0)
        return true;
    if (first)
        InitialPrices(bytes_, chunkLength);
    for (unsigned pass = 0; pass < method_.parses; ++pass) {
        Parse(chunkLength);
        PricesFromCodes();
    }
    return true;
}

EncodeStatus LhEncoder::Run(uint64_t& packedSize) {
    for (bool first = true;; first = false) {
        unsigned chunkLength = 0;
        if (!NextChunk(first, chunkLength))
            return EncodeStatus::InputFailed;
        if (chunkLength == 0)
            break;
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

const PackingMethod* FindPackingMethod(const std::string& id) {
    for (const PackingMethod& method : kPackingMethods)
        if (id == method.id)
            return &method;
    return nullptr;
}

const PackingMethod& StoredPackingMethod() { return kPackingMethods[0]; }

EncodeStatus Encode(const PackingMethod& method, ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit,
                    uint64_t& packedSize) {
    packedSize = 0;
    // A stored row has no packing; the caller copies the data itself.
    if (method.dictionaryBits == 0)
        return EncodeStatus::LimitReached;
    if (method.encoder != nullptr)
        return method.encoder(method, in, size, out, limit, packedSize);
    // The parser's tables are too large for a thread's stack. Without memory
    // for them there is no packing: the caller stores the data instead.
    LhEncoder* encoder = new (std::nothrow) LhEncoder(method, in, size, out, limit);
    if (encoder == nullptr)
        return EncodeStatus::LimitReached;
    EncodeStatus status = encoder->Run(packedSize);
    delete encoder;
    return status;
}

} // namespace lha
