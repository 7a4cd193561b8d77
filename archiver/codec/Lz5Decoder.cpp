#include "archiver/codec/Lz5Decoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/OutputWindow.h"

namespace lha {
namespace {

constexpr uint32_t kRingSize = 1u << kLz5DictionaryBits;
constexpr uint32_t kFirstIndex = kRingSize - 18;
constexpr unsigned kItemsPerFlag = 8;
constexpr uint32_t kMinLength = 3;

static_assert(OutputWindow::kSize % kRingSize == 0, "the output ring holds whole LArc rings");

// What the ring holds before the first byte: 13 of each byte value in order,
// the values rising, the values falling, 128 zeros, 110 spaces, 18 zeros.
// Built for each member rather than held as a 4 KiB table: the
// self-extractor's stub, which carries this decoder, must stay small.
struct InitialRing {
    uint8_t bytes[kRingSize];
};

InitialRing BuildInitialRing() {
    InitialRing ring{};
    uint32_t at = 0;
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned k = 0; k < 13; ++k)
            ring.bytes[at++] = static_cast<uint8_t>(v);
    for (unsigned v = 0; v < 256; ++v)
        ring.bytes[at++] = static_cast<uint8_t>(v);
    for (unsigned v = 0; v < 256; ++v)
        ring.bytes[at++] = static_cast<uint8_t>(255 - v);
    at += 128;  // zeros
    for (unsigned k = 0; k < 110; ++k)
        ring.bytes[at++] = 0x20;
    return ring;  // the last 18 stay zero
}

class Lz5Decoder {
public:
    Lz5Decoder(ByteSource& packed, uint64_t packedSize, ByteSink& out) : in_(packed, packedSize), window_(out) {
        const InitialRing ring = BuildInitialRing();
        window_.Preset(ring.bytes, kRingSize, kFirstIndex, kRingSize);
    }

    DecodeStatus Run(uint64_t left) {
        unsigned flags = 0;
        unsigned items = 0;  // items left under the current flag byte
        while (left > 0) {
            if (items == 0) {
                flags = in_.Get(8);
                items = kItemsPerFlag;
            }
            bool literal = (flags & 1) != 0;
            flags >>= 1;
            --items;
            uint32_t first = in_.Get(8);
            uint32_t length = 1;
            uint32_t index = 0;
            if (!literal) {
                uint32_t second = in_.Get(8);
                index = first | (second & 0xF0) << 4;
                length = (second & 0x0F) + kMinLength;
            }
            if (in_.Overran())
                return in_.SourceEnded() ? DecodeStatus::InputFailed : DecodeStatus::CorruptData;
            if (length > left)
                length = static_cast<uint32_t>(left);  // the member ends inside the copy
            bool written = literal ? window_.Put(static_cast<uint8_t>(first))
                                   : window_.CopyFromRingIndex(index, kRingSize, length);
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

DecodeStatus DecodeLz5(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, uint64_t originalSize,
                       ByteSink& out) {
    if (dictionaryBits != kLz5DictionaryBits)
        return DecodeStatus::CorruptData;
    Lz5Decoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
