// The static Huffman block decoder shared by -lh4- to -lh7- and LHARK's
// variant (-lk7-). Both send blocks of a command count, a pre-tree, a
// literal/length tree and a position tree; they differ in the alphabet, the
// width of the position count field and how a copy's length and offset come
// from its symbols. `Codes` supplies those differences:
//
//   static constexpr unsigned kAlphabet;      literal/length symbols (n is clipped to it)
//   static constexpr unsigned kPositionBits;  width of the position tree's count field
//   static uint32_t Length(unsigned symbol, BitReader&);   symbol >= 256
//   static uint32_t Offset(unsigned position, BitReader&); distance - 1
//
// Included only by the decoders' own .cpp files.
#pragma once
#include "archiver/codec/BitReader.h"
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/CodecFormat.h"
#include "archiver/codec/DecodeStatus.h"
#include "archiver/codec/HuffmanTable.h"

#include <cstdint>
#include <cstring>

namespace lha {
namespace block {

constexpr unsigned kWindowBits = 16;                 // room for the largest dictionary
constexpr uint32_t kWindowSize = 1u << kWindowBits;  // flushed to the sink whenever full
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr unsigned kCodeLookupBits = 12;
constexpr unsigned kSmallLookupBits = 8;
constexpr unsigned kMaxSmallCount = 64;              // room for any count a 6-bit field can name
constexpr uint8_t kInitialByte = 0x20;               // a copy from before the start reads spaces

template <class Codes>
class MemberDecoder {
public:
    MemberDecoder(ByteSource& packed, uint64_t packedSize, ByteSink& out, unsigned positionCodes)
        : in_(packed, packedSize), out_(out), positionCodes_(positionCodes) {}

    DecodeStatus Run(uint64_t originalSize) {
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

private:
    DecodeStatus Fail(DecodeStatus status) const {
        if (status == DecodeStatus::CorruptData && in_.Overran() && in_.SourceEnded())
            return DecodeStatus::InputFailed;
        return status;
    }

    // Lengths of the pre-tree or the position tree: a count, then per symbol 3
    // bits or 111 and a unary tail. The pre-tree has the zero skip after its
    // third length. A count past the symbols the block can use is accepted:
    // such a symbol fails only when a code actually names it.
    bool ReadSmallTree(HuffmanTable& table, unsigned countBits, int skipIndex) {
        unsigned count = in_.Get(countBits);
        if (count == 0) {
            table.BuildSingle(in_.Get(countBits));
            return true;
        }
        uint8_t lengths[kMaxSmallCount] = {};
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
            if (static_cast<int>(i) == skipIndex)
                i += in_.Get(kPreTreeSkipBits);  // the lengths are already zero
        }
        return table.Build(lengths, count < kMaxSmallCount ? count : kMaxSmallCount, kSmallLookupBits);
    }

    // A count past the alphabet is taken as the alphabet; a zero run past the
    // count stops at it.
    bool ReadCodeTree() {
        unsigned count = in_.Get(kCodeCountBits);
        if (count == 0) {
            unsigned symbol = in_.Get(kCodeCountBits);
            if (symbol >= Codes::kAlphabet)
                return false;
            codeTree_.BuildSingle(symbol);
            return true;
        }
        if (count > Codes::kAlphabet)
            count = Codes::kAlphabet;
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
            i = i + zeros < count ? i + zeros : count;  // the lengths are already zero
            if (in_.Overran())
                return false;
        }
        return codeTree_.Build(lengths, Codes::kAlphabet, kCodeLookupBits);
    }

    // A block of no commands is followed at once by another header; each
    // header takes at least 16 bits, so a run of them ends with the data.
    DecodeStatus ReadBlockHeader(unsigned& codes) {
        do {
            codes = in_.Get(kBlockSizeBits);
            if (!ReadSmallTree(preTree_, kPreTreeCountBits, kPreTreeSkipIndex))
                return DecodeStatus::CorruptData;
            if (!ReadCodeTree())
                return DecodeStatus::CorruptData;
            if (!ReadSmallTree(positionTree_, Codes::kPositionBits, -1))
                return DecodeStatus::CorruptData;
            if (in_.Overran())
                return DecodeStatus::CorruptData;
        } while (codes == 0);
        return DecodeStatus::Ok;
    }

    bool FlushWindow() {
        if (pos_ != 0 && !out_.Write(window_, pos_))
            return false;
        base_ += pos_;
        pos_ = 0;
        return true;
    }

    DecodeStatus DecodeCodes(unsigned codes, uint64_t& left) {
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
            uint32_t length = Codes::Length(static_cast<unsigned>(code), in_);
            int p = positionTree_.Decode(in_);
            if (p < 0 || static_cast<unsigned>(p) >= positionCodes_)
                return DecodeStatus::CorruptData;
            uint32_t offset = Codes::Offset(static_cast<unsigned>(p), in_);
            if (offset >= kWindowSize)
                return DecodeStatus::CorruptData;
            if (length > left)
                length = static_cast<uint32_t>(left);
            left -= length;
            if (!Copy(offset, length))
                return DecodeStatus::OutputFailed;
        }
        return in_.Overran() ? DecodeStatus::CorruptData : DecodeStatus::Ok;
    }

    // Copies `length` bytes from offset + 1 back, byte by byte (the copy may
    // overlap itself); bytes before the member's first read as spaces.
    bool Copy(uint32_t offset, uint32_t length) {
        uint32_t from = (pos_ - offset - 1) & kWindowMask;
        if (offset >= base_ + pos_)
            return CopyFromBeforeStart(offset, length);
        if (from < pos_ && pos_ + length < kWindowSize) {
            CopyWithin(window_ + from, window_ + pos_, offset + 1, length);
            pos_ += length;
            return true;
        }
        for (uint32_t k = 0; k < length; ++k) {
            window_[pos_++] = window_[from];
            from = (from + 1) & kWindowMask;
            if (pos_ == kWindowSize && !FlushWindow())
                return false;
        }
        return true;
    }

    // Forward from `distance` back, as byte by byte would. A distance at least
    // as long as the pieces (8 bytes, or 4 for a copy of 4 to 8) lets each
    // piece read bytes already written, and the last piece may overlap the one
    // before it (it writes the same bytes again); a shorter distance repeats
    // its pattern a byte at a time. Nothing past `length` is touched: the ring
    // past the copy still holds the previous window's bytes.
    static void CopyWithin(const uint8_t* source, uint8_t* to, uint32_t distance, uint32_t length) {
        if (distance >= 8 && length >= 8) {
            for (uint32_t k = 0; k + 8 < length; k += 8)
                memcpy(to + k, source + k, 8);
            memcpy(to + length - 8, source + length - 8, 8);
            return;
        }
        if (distance >= 4 && length >= 4 && length <= 8) {
            memcpy(to, source, 4);
            memcpy(to + length - 4, source + length - 4, 4);
            return;
        }
        if (distance == 1) {
            memset(to, *source, length);
            return;
        }
        for (uint32_t k = 0; k < length; ++k)
            to[k] = source[k];
    }

    // Only in the first window, for a copy from before the member's first
    // byte: those bytes are spaces.
    bool CopyFromBeforeStart(uint32_t offset, uint32_t length) {
        const uint64_t back = static_cast<uint64_t>(offset) + 1;
        for (uint32_t k = 0; k < length; ++k) {
            const uint64_t written = base_ + pos_;
            window_[pos_] = written >= back ? window_[(written - back) & kWindowMask] : kInitialByte;
            if (++pos_ == kWindowSize && !FlushWindow())
                return false;
        }
        return true;
    }

    BitReader in_;
    ByteSink& out_;
    unsigned positionCodes_;
    uint64_t base_ = 0;  // bytes flushed to the sink, whole windows
    uint32_t pos_ = 0;   // bytes in the window since then
    HuffmanTable preTree_;
    HuffmanTable codeTree_;
    HuffmanTable positionTree_;
    uint8_t window_[kWindowSize];
};

} // namespace block
} // namespace lha
