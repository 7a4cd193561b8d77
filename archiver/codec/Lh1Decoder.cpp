#include "archiver/codec/Lh1Decoder.h"

#include "archiver/codec/AdaptiveTree.h"
#include "archiver/codec/BitReader.h"
#include "archiver/codec/OutputWindow.h"

namespace lha {
namespace {

constexpr unsigned kPositionPeekBits = kLh1MaxPositionCodeBits;
static_assert(kLh1MaxPositionCodeBits + kLh1LowPositionBits <= 16, "a position fits one peek");

// The high six bits of a position (Lh1Format.h), looked up on the next 8 bits.
struct PositionCode {
    uint8_t high;
    uint8_t length;
};
struct PositionTable {
    PositionCode entry[1u << kPositionPeekBits];
};

constexpr PositionTable BuildPositionTable() {
    PositionTable table{};
    unsigned code = 0, high = 0;
    for (unsigned length = 1; length <= kPositionPeekBits; ++length, code <<= 1) {
        for (unsigned k = 0; k < kLh1HighValuesOfLength[length]; ++k, ++high, ++code) {
            unsigned first = code << (kPositionPeekBits - length);
            for (unsigned i = 0; i < (1u << (kPositionPeekBits - length)); ++i)
                table.entry[first + i] = {static_cast<uint8_t>(high), static_cast<uint8_t>(length)};
        }
    }
    return table;
}
constexpr PositionTable kPositionTable = BuildPositionTable();

class Lh1Decoder {
public:
    Lh1Decoder(ByteSource& packed, uint64_t packedSize, ByteSink& out) : in_(packed, packedSize), window_(out) {
        uint8_t space = kLh1WindowFill;
        window_.Preset(&space, 1, 0, 1u << kLh1DictionaryBits);
    }

    DecodeStatus Run(uint64_t left) {
        while (left > 0) {
            int symbol = tree_.DecodeAndUpdate(in_);
            if (symbol < 0)
                return DecodeStatus::CorruptData;
            uint32_t distance = 0;
            uint32_t length = 1;
            if (symbol >= static_cast<int>(kLh1LiteralCount)) {
                distance = ReadDistance();
                length = static_cast<uint32_t>(symbol) - kLh1LengthBias;
                if (length > left)
                    length = static_cast<uint32_t>(left);  // the member ends inside the copy
            }
            // Bits past the packed data: nothing of this command is output.
            if (in_.Overran())
                return in_.SourceEnded() ? DecodeStatus::InputFailed : DecodeStatus::CorruptData;
            bool written = distance == 0 ? window_.Put(static_cast<uint8_t>(symbol)) : window_.Copy(distance, length);
            if (!written)
                return DecodeStatus::OutputFailed;
            left -= length;
        }
        return window_.Flush() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
    }

private:
    // 1..4096 bytes back. The high bits' code and the low bits take one peek.
    uint32_t ReadDistance() {
        const unsigned bits = in_.Peek16();
        const PositionCode& code = kPositionTable.entry[bits >> (16 - kPositionPeekBits)];
        const unsigned taken = code.length + kLh1LowPositionBits;
        in_.Skip(taken);
        const uint32_t low = (bits >> (16 - taken)) & kLh1LowPositionMask;
        return ((static_cast<uint32_t>(code.high) << kLh1LowPositionBits) | low) + 1;
    }

    BitReader in_;
    OutputWindow window_;
    AdaptiveTree tree_;
};

} // namespace

DecodeStatus DecodeLh1(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out) {
    if (dictionaryBits != kLh1DictionaryBits)
        return DecodeStatus::CorruptData;
    Lh1Decoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
