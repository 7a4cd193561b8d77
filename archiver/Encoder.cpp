#include "archiver/Encoder.h"

#include "archiver/BitWriter.h"
#include "archiver/BlockWriter.h"
#include "archiver/MatchFinder.h"

namespace lha {
namespace {

constexpr unsigned kBlockCodes = 16384;
// The search, in the manner of a deep lazy matcher: follow up to kMaxChain
// links, a quarter of them once a good match is already in hand, and take a
// match of kNiceLength at once.
constexpr unsigned kMaxChain = 4096;
constexpr unsigned kGoodLength = 32;
constexpr unsigned kNiceLength = kMaxMatch;
// A three-byte match this far back costs more than three literals.
constexpr unsigned kTooFar = 4096;

class Lh5Encoder {
public:
    Lh5Encoder(ByteSource& in, uint64_t size, ByteSink& out, uint64_t limit)
        : finder_(in, size), out_(out, limit) {}

    EncodeStatus Run(uint64_t& packedSize);

private:
    void Emit(unsigned code, unsigned offset) {
        codes_[count_++] = {static_cast<uint16_t>(code), static_cast<uint16_t>(offset)};
        if (count_ == kBlockCodes)
            FlushBlock();
    }
    void EmitLiteral(uint8_t byte) { Emit(byte, 0); }
    void EmitMatch(unsigned length, unsigned distance) {
        Emit(kLiteralCount + length - kMinMatch, distance - 1);
    }
    void FlushBlock() {
        if (count_ > 0 && out_.Ok())
            WriteBlock(out_, codes_, count_);
        count_ = 0;
    }
    unsigned FindMatch(unsigned previousLength, unsigned& distance) const;

    MatchFinder finder_;
    BitWriter out_;
    unsigned count_ = 0;
    BlockCode codes_[kBlockCodes];
};

unsigned Lh5Encoder::FindMatch(unsigned previousLength, unsigned& distance) const {
    unsigned chain = previousLength >= kGoodLength ? kMaxChain / 4 : kMaxChain;
    unsigned length = finder_.Longest(kMaxMatch, chain, kNiceLength, distance);
    if (length == kMinMatch && distance > kTooFar)
        return 0;
    return length;
}

EncodeStatus Lh5Encoder::Run(uint64_t& packedSize) {
    // Lazy matching: a match found at one position is emitted only when the
    // next position has no longer one; otherwise its first byte goes as a literal.
    unsigned previousLength = 0, previousDistance = 0;
    bool literalPending = false;
    uint8_t pendingByte = 0;
    for (;;) {
        if (!finder_.Prepare())
            return EncodeStatus::InputFailed;
        if (!out_.Ok())
            break;
        if (finder_.Available() == 0)
            break;
        unsigned distance = 0;
        unsigned length = previousLength < kMaxMatch ? FindMatch(previousLength, distance) : 0;
        if (previousLength >= kMinMatch && length <= previousLength) {
            EmitMatch(previousLength, previousDistance);
            for (unsigned k = 1; k < previousLength; ++k) {
                if (!finder_.Prepare())
                    return EncodeStatus::InputFailed;
                finder_.Advance();
            }
            previousLength = 0;
            literalPending = false;
            continue;
        }
        if (literalPending)
            EmitLiteral(pendingByte);
        pendingByte = *finder_.Current();
        literalPending = true;
        previousLength = length;
        previousDistance = distance;
        finder_.Advance();
    }
    if (literalPending && out_.Ok())
        EmitLiteral(pendingByte);
    FlushBlock();
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
    Lh5Encoder encoder(in, size, out, limit);
    return encoder.Run(packedSize);
}

} // namespace lha
