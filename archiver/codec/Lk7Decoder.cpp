#include "archiver/codec/Lk7Decoder.h"

#include "archiver/codec/BlockDecoder.h"

namespace lha {
namespace {

constexpr unsigned kLastPlainLength = 263;  // 256..263 copy 3..10 bytes
constexpr unsigned kLongestSymbol = 288;    // copies kLongestLength bytes, no extra bits
constexpr uint32_t kLongestLength = 514;
constexpr unsigned kPlainPositions = 4;     // 0..3 are the offset itself
constexpr unsigned kPositionSymbols = 64;   // a 6-bit count field names up to 63

struct Lk7Codes {
    static constexpr unsigned kAlphabet = kLongestSymbol + 1;
    static constexpr unsigned kPositionBits = 6;

    // 264..287: (s - 260) / 4 extra bits r; ((4 + s mod 4) << bits) + r + 3.
    static uint32_t Length(unsigned s, BitReader& in) {
        if (s <= kLastPlainLength)
            return s - kLiteralCount + kMinMatch;
        if (s == kLongestSymbol)
            return kLongestLength;
        const unsigned bits = (s - 260) / 4;
        return ((4u + s % 4) << bits) + in.Get(bits) + kMinMatch;
    }

    // p >= 4: (p - 2) / 2 extra bits r; ((2 + p mod 2) << bits) + r.
    static uint32_t Offset(unsigned p, BitReader& in) {
        if (p < kPlainPositions)
            return p;
        const unsigned bits = (p - 2) / 2;
        if (bits > 16)
            return 1u << 17;  // past any window: the caller rejects it
        return ((2u + p % 2) << bits) + in.Get(bits);
    }
};

} // namespace

DecodeStatus DecodeLk7(unsigned, ByteSource& packed, uint64_t packedSize, uint64_t originalSize, ByteSink& out) {
    block::MemberDecoder<Lk7Codes> decoder(packed, packedSize, out, kPositionSymbols);
    return decoder.Run(originalSize);
}

} // namespace lha
