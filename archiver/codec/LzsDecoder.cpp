#include "archiver/codec/LzsDecoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/OutputWindow.h"

namespace lha {
namespace {

constexpr uint32_t kRingSize = 1u << kLzsDictionaryBits;
constexpr uint32_t kFirstIndex = kRingSize - 17;
constexpr unsigned kPositionBits = kLzsDictionaryBits;
constexpr unsigned kLengthBits = 4;
constexpr uint32_t kMinLength = 2;
constexpr uint8_t kSpace = 0x20;

static_assert(OutputWindow::kSize % kRingSize == 0, "the output ring holds whole LArc rings");

class LzsDecoder {
public:
    LzsDecoder(ByteSource& packed, uint64_t packedSize, ByteSink& out) : in_(packed, packedSize), window_(out) {
        uint8_t space = kSpace;
        window_.Preset(&space, 1, kFirstIndex, kRingSize);
    }

    DecodeStatus Run(uint64_t left) {
        while (left > 0) {
            bool literal = in_.Get(1) == 1;
            uint32_t value = in_.Get(literal ? 8 : kPositionBits);
            uint32_t length = literal ? 1 : in_.Get(kLengthBits) + kMinLength;
            if (in_.Overran())
                return in_.SourceEnded() ? DecodeStatus::InputFailed : DecodeStatus::CorruptData;
            if (length > left)
                length = static_cast<uint32_t>(left);  // the member ends inside the copy
            bool written = literal ? window_.Put(static_cast<uint8_t>(value))
                                   : window_.CopyFromRingIndex(value, kRingSize, length);
            if (!written)
                return DecodeStatus::OutputFailed;
            left -= length;
        }
        return window_.Flush() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
    }

private:
    BitReader in_;
    OutputWindow window_;
};

} // namespace

DecodeStatus DecodeLzs(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out) {
    if (dictionaryBits != kLzsDictionaryBits)
        return DecodeStatus::CorruptData;
    LzsDecoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
