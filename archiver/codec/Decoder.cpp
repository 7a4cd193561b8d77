#include "archiver/codec/Decoder.h"

#include "archiver/codec/BlockDecoder.h"

namespace lha {
namespace {

// -lh4- to -lh7-: a symbol s >= 256 copies s - 253 bytes; position code p
// stands for the offset p when p < 2, else 2^(p-1) plus p - 1 more bits.
template <unsigned PositionBits>
struct Lh5Codes {
    static constexpr unsigned kAlphabet = kCodeCount;
    static constexpr unsigned kPositionBits = PositionBits;  // 4 up to 8 KiB, else 5

    static uint32_t Length(unsigned symbol, BitReader&) { return symbol - kLiteralCount + kMinMatch; }
    static uint32_t Offset(unsigned p, BitReader& in) {
        return p < 2 ? p : (1u << (p - 1)) + in.Get(p - 1);
    }
};

template <class Codes>
DecodeStatus Run(unsigned positionCodes, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                 ByteSink& out) {
    block::MemberDecoder<Codes> decoder(packed, packedSize, out, positionCodes);
    return decoder.Run(originalSize);
}

} // namespace

DecodeStatus DecodeMember(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize,
                          uint64_t originalSize, ByteSink& out) {
    if (dictionaryBits < kLh4DictionaryBits || dictionaryBits > kLh7DictionaryBits)
        return DecodeStatus::CorruptData;
    const unsigned positionCodes = PositionCodeCount(dictionaryBits);
    if (PositionCountBits(dictionaryBits) == 4)
        return Run<Lh5Codes<4>>(positionCodes, packed, packedSize, originalSize, out);
    return Run<Lh5Codes<5>>(positionCodes, packed, packedSize, originalSize, out);
}

} // namespace lha
