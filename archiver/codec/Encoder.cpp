#include "archiver/codec/Encoder.h"

#include "archiver/codec/BitWriter.h"
#include "archiver/codec/BlockWriter.h"
#include "archiver/codec/Decoder.h"
#include "archiver/codec/MatchFinder.h"

#include <new>

namespace lha {
namespace {

// The larger dictionaries are searched deeper: their chains hold more of the
// far copies that make them pay.
const PackingMethod kPackingMethods[] = {
    {"-lh0-", 0, 0},
    {"-lh5-", kLh5DictionaryBits, 256},
    {"-lh6-", kLh6DictionaryBits, 512},
    {"-lh7-", kLh7DictionaryBits, 512},
};

// The input is parsed in chunks of kChunkSize positions. The matches of every
// position are found once; then the cheapest way through the chunk (literals
// and copies, each priced in bits) is found twice: first with the code lengths
// of the chunk before, then with those its own first parse gives. Each chunk
// goes out as one block or two, whichever is smaller.
constexpr unsigned kChunkSize = 32768;
constexpr unsigned kNiceLength = kMaxMatch;   // a match this long ends the search
// A match this long is taken as it is, and the positions it covers are not
// searched: little is left to gain there, and runs would cost a search a byte.
constexpr unsigned kTakeLength = 96;
constexpr unsigned kMatchesKept = 8;          // per position, the longest
constexpr unsigned kParses = 3;
constexpr unsigned kSplitCodes = 1024;       // a block this long is tried as two halves
constexpr unsigned kUnusedCodePrice = 14;     // bits assumed for a code the last chunk did not use
constexpr unsigned kUnusedPositionPrice = 6;
constexpr uint32_t kUnreached = 0xFFFFFFFF;

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
    bool FindChunkMatches(unsigned& chunkLength);
    void Parse(unsigned chunkLength);
    void Relax(unsigned at, unsigned chunkLength);
    void CollectCodes(unsigned chunkLength);
    void InitialPrices(const uint8_t* bytes, unsigned chunkLength);
    void PricesFromCodes();
    void WriteCodes(unsigned begin, unsigned count, uint64_t cost);
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
};

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
        unsigned count = finder_.Matches(method_.searchDepth, kNiceLength, matches_[n], kMatchesKept);
        matchCount_[n] = static_cast<uint8_t>(count);
        finder_.InsertAndAdvance();
        ++n;
        if (count == 0 || matches_[n - 1][count - 1].length < kTakeLength)
            continue;
        matches_[n - 1][0] = matches_[n - 1][count - 1];
        matchCount_[n - 1] = 1;
        for (unsigned k = 1; k < matches_[n - 1][0].length && n < kChunkSize; ++k) {
            if (!finder_.Prepare())
                return false;
            bytes_[n] = *finder_.Current();
            matchCount_[n] = 0;
            finder_.InsertAndAdvance();
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
    for (unsigned m = 0; m < matchCount_[at]; ++m) {
        const Found& found = matches_[at][m];
        unsigned longest = found.length < chunkLength - at ? found.length : chunkLength - at;
        for (; length <= longest; ++length) {
            uint32_t cost = base + prices_.Match(length, found.distance);
            if (cost < steps_[at + length].cost)
                steps_[at + length] = {cost, static_cast<uint16_t>(length), found.distance};
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
    for (unsigned c = 0; c < kLiteralCount; ++c) {
        unsigned bits = 1;
        while (bits < 15 && (static_cast<uint64_t>(freq[c]) << bits) < chunkLength)
            ++bits;
        prices_.code[c] = bits;
    }
    for (unsigned c = kLiteralCount; c < kCodeCount; ++c)
        prices_.code[c] = c - kLiteralCount < 16 ? 5 + (c - kLiteralCount) / 4 : 10;
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        prices_.position[p] = 4;
}

void LhEncoder::PricesFromCodes() {
    uint8_t codeLengths[kCodeCount], positionLengths[kMaxPositionCodes];
    BlockCodeLengths(method_.dictionaryBits, codes_, codeCount_, codeLengths, positionLengths);
    for (unsigned c = 0; c < kCodeCount; ++c)
        prices_.code[c] = codeLengths[c] != 0 ? codeLengths[c] : kUnusedCodePrice;
    for (unsigned p = 0; p < kMaxPositionCodes; ++p)
        prices_.position[p] = positionLengths[p] != 0 ? positionLengths[p] : kUnusedPositionPrice;
}

// Writes codes_[begin, begin + count) as one block, or as two halves (each
// split again the same way) when that is smaller.
void LhEncoder::WriteCodes(unsigned begin, unsigned count, uint64_t cost) {
    const unsigned bits = method_.dictionaryBits;
    unsigned half = count / 2;
    if (count >= kSplitCodes) {
        uint64_t first = BlockCost(bits, codes_ + begin, half);
        uint64_t second = BlockCost(bits, codes_ + begin + half, count - half);
        if (first + second < cost) {
            WriteCodes(begin, half, first);
            WriteCodes(begin + half, count - half, second);
            return;
        }
    }
    WriteBlock(bits, out_, codes_ + begin, count);
}

void LhEncoder::WriteChunk() {
    if (codeCount_ == 0 || !out_.Ok())
        return;
    WriteCodes(0, codeCount_, BlockCost(method_.dictionaryBits, codes_, codeCount_));
}

EncodeStatus LhEncoder::Run(uint64_t& packedSize) {
    bool first = true;
    for (;;) {
        unsigned chunkLength = 0;
        if (!FindChunkMatches(chunkLength))
            return EncodeStatus::InputFailed;
        if (chunkLength == 0)
            break;
        // The first chunk starts from its literals' frequencies and a guess for matches.
        if (first)
            InitialPrices(bytes_, chunkLength);
        first = false;
        for (unsigned pass = 0; pass < kParses; ++pass) {
            Parse(chunkLength);
            PricesFromCodes();
        }
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
