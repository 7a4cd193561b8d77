// MacLHA's "Mac" mode puts a 128-byte MacBinary header, and after the data
// fork possibly a resource fork, inside a member's data; its other mode
// stores plain data, and both write OS id 'm'. The filter below tells the two
// apart by a strict check of the header, so a plain file that merely starts
// like one is never cut.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/format/MemberHeader.h"

#include <cstdint>

namespace lha {

const size_t kMacBinaryHeaderSize = 128;

// True when `block` (the first 128 decoded bytes of `header`'s member) is a
// MacBinary header that agrees with the member: its fixed zero fields, the
// member's file name, fork lengths that add up to the original size, and a
// date within 14 hours of the header's time (MacLHA's stamps are local time
// and not exact). `forkSize` is then the length of the fork to keep, right
// after the header: the data fork, or the resource fork when the data fork is
// empty.
bool ReadMacBinaryHeader(const uint8_t* block, const MemberHeader& header, uint64_t& forkSize);

// Sits between a decoder and the sink of a member's bytes. For a member of
// OS id 'm' of at least 128 bytes it holds back the first 128 bytes; when they
// pass ReadMacBinaryHeader only the fork reaches `out`, else the bytes go on
// unchanged. Every other member passes straight through. The CRC and count
// are of every decoded byte, as the header's CRC is.
class MacBinaryFilter : public ByteSink {
public:
    MacBinaryFilter(const MemberHeader& header, ByteSink& out);
    bool Write(const uint8_t* data, size_t size) override;
    uint16_t Crc() const { return crc_; }
    uint64_t Count() const { return count_; }

private:
    enum class State { Holding, Passing, Fork };
    bool Decide();
    bool Pass(const uint8_t* data, size_t size);

    const MemberHeader& header_;
    ByteSink& out_;
    State state_;
    uint8_t held_[kMacBinaryHeaderSize];
    size_t heldSize_ = 0;
    uint64_t forkLeft_ = 0;  // State::Fork: fork bytes still to pass; the rest is dropped
    uint16_t crc_ = 0;
    uint64_t count_ = 0;
};

} // namespace lha
