#include "archiver/codec/Decoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/CodecFormat.h"
#include "archiver/codec/HuffmanTable.h"


namespace lha {
namespace {

constexpr unsigned kWindowBits = 16;                 // room for the largest dictionary
constexpr uint32_t kWindowSize = 1u << kWindowBits;  // flushed to the sink whenever full
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr unsigned kCodeLookupBits = 12;
constexpr unsigned kSmallLookupBits = 8;

class MemberDecoder {
public:
    MemberDecoder(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize, ByteSink& out)
        : in_(packed, packedSize), out_(out), dictionaryBits_(dictionaryBits),
          positionCodes_(PositionCodeCount(dictionaryBits)) {}

    DecodeStatus Run(uint64_t originalSize);

private:
    DecodeStatus Fail(DecodeStatus status) const;
    DecodeStatus ReadBlockHeader(unsigned& codes);
    bool ReadSmallTree(HuffmanTable& table, unsigned countBits, int skipIndex);
    bool ReadCodeTree();
    DecodeStatus DecodeCodes(unsigned codes, uint64_t& left);
    bool FlushWindow();

    BitReader in_;
    ByteSink& out_;
    unsigned dictionaryBits_;
    unsigned positionCodes_;
    uint64_t base_ = 0;  // bytes flushed to the sink, whole windows
    uint32_t pos_ = 0;   // bytes in the window since then
    HuffmanTable preTree_;
    HuffmanTable codeTree_;
    HuffmanTable positionTree_;
    uint8_t window_[kWindowSize];
};

DecodeStatus MemberDecoder::Fail(DecodeStatus status) const {
    if (status == DecodeStatus::CorruptData && in_.Overran() && in_.SourceEnded())
        return DecodeStatus::InputFailed;
    return status;
}

// Lengths of the pre-tree or the position tree: a count, then per symbol 3 bits
// or 111 and a unary tail. The pre-tree has the zero skip after its third length.
// A count past the symbols the block can use is accepted: such a symbol fails
// only when a code actually names it.
bool MemberDecoder::ReadSmallTree(HuffmanTable& table, unsigned countBits, int skipIndex) {
    unsigned count = in_.Get(countBits);
    if (count == 0) {
        table.BuildSingle(in_.Get(countBits));
        return true;
    }
    uint8_t lengths[kMaxSmallTreeCount] = {};
    unsigned i = 0;
    while (i < count) {
        unsigned length = in_.Get(kShortLengthBits);
        if (length > kShortLengthMax) {
            while (in_.Get(1) == 1) {
                if (++length > kMaxCodeLength)
                    return false;
            }
        }
        lengths[i++] = static_cast<uint8_t>(length);
        if (static_cast<int>(i) == skipIndex) {
            unsigned zeros = in_.Get(kPreTreeSkipBits);
            i += zeros;  // the lengths are already zero
        }
    }
    return table.Build(lengths, count, kSmallLookupBits);
}

bool MemberDecoder::ReadCodeTree() {
    unsigned count = in_.Get(kCodeCountBits);
    if (count == 0) {
        unsigned symbol = in_.Get(kCodeCountBits);
        if (symbol >= kCodeCount)
            return false;
        codeTree_.BuildSingle(symbol);
        return true;
    }
    if (count > kCodeCount)
        return false;
    uint8_t lengths[kCodeCount] = {};
    unsigned i = 0;
    while (i < count) {
        int code = preTree_.Decode(in_);
        if (code == HuffmanTable::kInvalid || code >= static_cast<int>(kPreTreeCount))
            return false;
        if (code > 2) {
            lengths[i++] = static_cast<uint8_t>(code - 2);
            continue;
        }
        unsigned zeros = 1;
        if (code == 1)
            zeros = in_.Get(kShortZeroRunBits) + kShortZeroRunMin;
        else if (code == 2)
            zeros = in_.Get(kLongZeroRunBits) + kLongZeroRunMin;
        if (i + zeros > kCodeCount)
            return false;
        i += zeros;  // the lengths are already zero
    }
    return codeTree_.Build(lengths, kCodeCount, kCodeLookupBits);
}

DecodeStatus MemberDecoder::ReadBlockHeader(unsigned& codes) {
    codes = in_.Get(kBlockSizeBits);
    if (codes == 0)
        return DecodeStatus::CorruptData;
    if (!ReadSmallTree(preTree_, kPreTreeCountBits, kPreTreeSkipIndex))
        return DecodeStatus::CorruptData;
    if (!ReadCodeTree())
        return DecodeStatus::CorruptData;
    unsigned positionBits = PositionCountBits(dictionaryBits_);
    if (!ReadSmallTree(positionTree_, positionBits, -1))
        return DecodeStatus::CorruptData;
    if (in_.Overran())
        return DecodeStatus::CorruptData;
    return DecodeStatus::Ok;
}

bool MemberDecoder::FlushWindow() {
    if (pos_ != 0 && !out_.Write(window_, pos_))
        return false;
    base_ += pos_;
    pos_ = 0;
    return true;
}

DecodeStatus MemberDecoder::DecodeCodes(unsigned codes, uint64_t& left) {
    for (; codes > 0 && left > 0; --codes) {
        int code = codeTree_.Decode(in_);
        if (code < 0)
            return DecodeStatus::CorruptData;
        if (code < static_cast<int>(kLiteralCount)) {
            window_[pos_++] = static_cast<uint8_t>(code);
            --left;
            if (pos_ == kWindowSize && !FlushWindow())
                return DecodeStatus::OutputFailed;
            continue;
        }
        uint32_t length = static_cast<uint32_t>(code) - kLiteralCount + kMinMatch;
        int p = positionTree_.Decode(in_);
        if (p < 0 || static_cast<unsigned>(p) >= positionCodes_)
            return DecodeStatus::CorruptData;
        uint32_t offset = static_cast<uint32_t>(p);
        if (p > 1)
            offset = (1u << (p - 1)) + in_.Get(static_cast<unsigned>(p - 1));
        if (offset >= base_ + pos_)
            return DecodeStatus::CorruptData;  // before the first byte of this member
        if (length > left)
            length = static_cast<uint32_t>(left);
        left -= length;
        uint32_t from = (pos_ - offset - 1) & kWindowMask;
        if (from < pos_ && pos_ + length < kWindowSize) {
            uint8_t* to = window_ + pos_;
            const uint8_t* source = window_ + from;
            for (uint32_t k = 0; k < length; ++k)
                to[k] = source[k];  // forward, byte by byte: the copy may overlap itself
            pos_ += length;
            continue;
        }
        for (uint32_t k = 0; k < length; ++k) {
            window_[pos_++] = window_[from];
            from = (from + 1) & kWindowMask;
            if (pos_ == kWindowSize && !FlushWindow())
                return DecodeStatus::OutputFailed;
        }
    }
    return in_.Overran() ? DecodeStatus::CorruptData : DecodeStatus::Ok;
}

DecodeStatus MemberDecoder::Run(uint64_t originalSize) {
    uint64_t left = originalSize;
    while (left > 0) {
        unsigned codes = 0;
        DecodeStatus status = ReadBlockHeader(codes);
        if (status == DecodeStatus::Ok)
            status = DecodeCodes(codes, left);
        if (status != DecodeStatus::Ok)
            return Fail(status);
    }
    return FlushWindow() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
}

} // namespace

DecodeStatus DecodeMember(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize,
                          uint64_t originalSize, ByteSink& out) {
    if (dictionaryBits < kLh4DictionaryBits || dictionaryBits > kLh7DictionaryBits)
        return DecodeStatus::CorruptData;
    MemberDecoder decoder(dictionaryBits, packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha
