#include "archiver/codec/Pm2Decoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/CanonicalCode.h"
#include "archiver/codec/PmarcOutput.h"

namespace lha {
namespace {

constexpr uint8_t kWindowFill = 0x20;  // what copies from before the first byte read

// The code tree: 5 bits N (symbols), 3 bits M (shortest length; 0 = the one
// symbol N - 1), 3 bits W, then N lengths of W bits (v = 0 unused, else M + v - 1).
constexpr unsigned kSymbolCountBits = 5;
constexpr unsigned kMinLengthBits = 3;
constexpr unsigned kLengthFieldBits = 3;
constexpr unsigned kCodeSymbols = 29;           // 0..7 literal classes, 8..28 copies
constexpr unsigned kOffsetTreeFrom = 10;        // a code of fewer symbols has no far copies
constexpr unsigned kRunOfOneSymbols = 29;       // with M = 0: only "256 bytes from 1 back"
constexpr unsigned kOffsetLengthBits = 3;
constexpr unsigned kStartOffsetEntries = 5;  // later refresh points send 6, 7, then 8
constexpr unsigned kMaxOffsetEntries = 8;

constexpr unsigned kLiteralClasses = 8;
const struct { uint16_t base; uint8_t bits; } kLiteralClass[kLiteralClasses] = {
    {0, 3}, {8, 3}, {16, 4}, {32, 5}, {64, 5}, {96, 5}, {128, 6}, {192, 6},
};

// Copy c = symbol - 8: c < 15 copies c + 2 bytes; the rest take a base and bits.
constexpr unsigned kShortCopies = 15;
constexpr unsigned kShortCopyMin = 2;
const struct { uint16_t base; uint8_t bits; } kLongCopy[] = {
    {17, 3}, {25, 3}, {33, 5}, {65, 6}, {129, 7}, {256, 0},
};
constexpr unsigned kCopyClasses = kShortCopies + sizeof kLongCopy / sizeof kLongCopy[0];  // 21
constexpr unsigned kNearOffsetBits = 6;  // c = 0, and offset symbol 0
constexpr unsigned kRunCopy = kCopyClasses - 1;  // c = 20: offset 0, no bits

// After the byte that brings the output to `total`, the stream may send new
// trees. Past the rows, every 4096 bytes from 8192 on is like kLaterRefresh.
struct RefreshPoint {
    uint64_t total;
    bool codeTreeBit;      // a bit says whether a new code tree follows
    bool offsetWithCode;   // the offset tree comes only with a new code tree
    unsigned offsetEntries;
};
const RefreshPoint kRefreshPoints[] = {
    {1024, false, false, 6},
    {2048, false, false, 7},
    {4096, true, false, 8},
};
constexpr unsigned kFixedRefreshPoints = sizeof kRefreshPoints / sizeof kRefreshPoints[0];
constexpr RefreshPoint kLaterRefresh = {8192, true, true, 8};
constexpr uint64_t kLaterRefreshStep = 4096;

// One command, all its bits read: a literal's list index, or a copy.
struct Command {
    bool literal;
    unsigned index;
    uint32_t distance;
    uint32_t count;
};

class Pm2Decoder {
public:
    Pm2Decoder(ByteSource& packed, uint64_t packedSize, ByteSink& out)
        : in_(packed, packedSize), out_(out, kWindowFill) {}

    DecodeStatus Run(uint64_t originalSize);

private:
    DecodeStatus Fail(DecodeStatus status) const;
    bool ReadCodeTree();
    bool ReadOffsetTree(unsigned entries);
    bool ReadCommand(Command& command);
    bool ReadCopy(unsigned copyClass, Command& command);
    bool Refresh(const RefreshPoint& point);
    RefreshPoint NextRefresh() const;

    BitReader in_;
    PmarcOutput out_;
    CanonicalCode codeTree_;
    CanonicalCode offsetTree_;  // empty until the stream sends one
    bool needOffsetTree_ = false;
    unsigned refreshesDone_ = 0;
};

DecodeStatus Pm2Decoder::Fail(DecodeStatus status) const {
    if (status == DecodeStatus::CorruptData && in_.Overran() && in_.SourceEnded())
        return DecodeStatus::InputFailed;
    return status;
}

bool Pm2Decoder::ReadCodeTree() {
    unsigned symbols = in_.Get(kSymbolCountBits);
    unsigned minLength = in_.Get(kMinLengthBits);
    needOffsetTree_ = symbols >= kOffsetTreeFrom && !(symbols == kRunOfOneSymbols && minLength == 0);
    if (minLength == 0) {
        if (symbols == 0 || symbols > kCodeSymbols)
            return false;  // names no symbol, or one that does not exist
        codeTree_.BuildSingle(symbols - 1);
        return true;
    }
    unsigned fieldBits = in_.Get(kLengthFieldBits);
    uint8_t lengths[CanonicalCode::kMaxSymbols] = {};
    for (unsigned s = 0; s < symbols; ++s) {
        unsigned v = in_.Get(fieldBits);
        lengths[s] = static_cast<uint8_t>(v == 0 ? 0 : minLength + v - 1);
    }
    return codeTree_.Build(lengths, symbols);
}

bool Pm2Decoder::ReadOffsetTree(unsigned entries) {
    if (!needOffsetTree_)
        return true;  // the old tree, if any, stays
    uint8_t lengths[kMaxOffsetEntries] = {};
    unsigned used = 0;
    unsigned last = 0;
    for (unsigned u = 0; u < entries; ++u) {
        lengths[u] = static_cast<uint8_t>(in_.Get(kOffsetLengthBits));
        if (lengths[u] != 0) {
            ++used;
            last = u;
        }
    }
    if (used == 1) {
        offsetTree_.BuildSingle(last);  // its stated length does not matter
        return true;
    }
    return offsetTree_.Build(lengths, entries);
}

bool Pm2Decoder::ReadCopy(unsigned copyClass, Command& command) {
    command.literal = false;
    if (copyClass < kShortCopies) {
        command.count = copyClass + kShortCopyMin;
    } else {
        const auto& row = kLongCopy[copyClass - kShortCopies];
        command.count = row.base + in_.Get(row.bits);
    }
    uint32_t offset = 0;
    if (copyClass == 0) {
        offset = in_.Get(kNearOffsetBits);
    } else if (copyClass != kRunCopy) {
        int u = offsetTree_.Decode(in_);
        if (u < 0)
            return false;  // no offset tree was sent
        offset = u == 0 ? in_.Get(kNearOffsetBits)
                        : (1u << (u + kNearOffsetBits - 1)) + in_.Get(static_cast<unsigned>(u) + kNearOffsetBits - 1);
    }
    command.distance = offset + 1;
    return true;
}

bool Pm2Decoder::ReadCommand(Command& command) {
    int symbol = codeTree_.Decode(in_);
    if (symbol < 0 || static_cast<unsigned>(symbol) >= kCodeSymbols)
        return false;
    if (static_cast<unsigned>(symbol) >= kLiteralClasses)
        return ReadCopy(static_cast<unsigned>(symbol) - kLiteralClasses, command);
    const auto& row = kLiteralClass[symbol];
    command.literal = true;
    command.index = row.base + in_.Get(row.bits);
    return true;
}

RefreshPoint Pm2Decoder::NextRefresh() const {
    if (refreshesDone_ < kFixedRefreshPoints)
        return kRefreshPoints[refreshesDone_];
    RefreshPoint point = kLaterRefresh;
    point.total += (refreshesDone_ - kFixedRefreshPoints) * kLaterRefreshStep;
    return point;
}

bool Pm2Decoder::Refresh(const RefreshPoint& point) {
    bool newCodeTree = point.codeTreeBit && in_.Get(1) == 1;
    if (newCodeTree && !ReadCodeTree())
        return false;
    if (point.offsetWithCode && !newCodeTree)
        return true;
    return ReadOffsetTree(point.offsetEntries);
}

DecodeStatus Pm2Decoder::Run(uint64_t originalSize) {
    if (originalSize == 0)
        return DecodeStatus::Ok;
    in_.Get(1);  // unused
    if (!ReadCodeTree() || !ReadOffsetTree(kStartOffsetEntries) || in_.Overran())
        return Fail(DecodeStatus::CorruptData);
    while (out_.Total() < originalSize) {
        Command command{};
        if (!ReadCommand(command) || in_.Overran())
            return Fail(DecodeStatus::CorruptData);
        uint64_t left = originalSize - out_.Total();
        bool written = command.literal ? out_.Literal(command.index)
                                       : out_.Copy(command.distance, command.count < left
                                                                         ? command.count
                                                                         : static_cast<uint32_t>(left));
        if (!written)
            return DecodeStatus::OutputFailed;
        // A copy of at most 256 bytes passes at most one point; none is read
        // once the output is complete.
        for (RefreshPoint point = NextRefresh(); out_.Total() >= point.total && out_.Total() < originalSize;
             point = NextRefresh()) {
            ++refreshesDone_;
            if (!Refresh(point) || in_.Overran())
                return Fail(DecodeStatus::CorruptData);
        }
    }
    return out_.Finish() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
}

} // namespace

DecodeStatus DecodePm2(unsigned, ByteSource& packed, uint64_t packedSize, uint64_t originalSize, ByteSink& out) {
    Pm2Decoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
