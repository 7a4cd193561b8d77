#include "archiver/format/MacBinary.h"

#include "archiver/codec/Crc16.h"
#include "archiver/format/MemberName.h"
#include "archiver/format/MemberTime.h"

#include <cstring>

namespace lha {

namespace {

const char kMacOsId = 'm';
const size_t kNameLengthAt = 0x01;
const size_t kNameAt = 0x02;
const size_t kNameFieldEnd = 0x41;       // the name field ends before the file type
const size_t kLongestName = 63;
const size_t kDataForkLengthAt = 0x53;
const size_t kResourceForkLengthAt = 0x57;
const size_t kModifiedAt = 0x5F;
const size_t kZeroBytes[] = {0x00, 0x4A, 0x52};
const size_t kZeroFromComment = 0x63;    // the Get Info comment length, then the rest of the header
const uint32_t kMacToUnixSeconds = 2082844800;  // 1904-01-01 to 1970-01-01
const int64_t kLargestTimeDifference = 14 * 3600;

uint32_t Get32BigEndian(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

bool AllZero(const uint8_t* block, size_t from, size_t to)
{
    for (size_t at = from; at < to; ++at)
        if (block[at] != 0) return false;
    return true;
}

bool FixedFieldsZero(const uint8_t* block)
{
    for (size_t at : kZeroBytes)
        if (block[at] != 0) return false;
    return AllZero(block, kZeroFromComment, kMacBinaryHeaderSize);
}

bool NameMatches(const uint8_t* block, const MemberHeader& header)
{
    const std::string name = LastComponent(header.path);
    const size_t length = block[kNameLengthAt];
    if (length > kLongestName || length != name.size()) return false;
    if (memcmp(block + kNameAt, name.data(), length) != 0) return false;
    return AllZero(block, kNameAt + length, kNameFieldEnd);
}

bool ForksFillMember(uint64_t dataFork, uint64_t resourceFork, const MemberHeader& header)
{
    const uint64_t used = dataFork + resourceFork + kMacBinaryHeaderSize;
    const uint64_t padded = (used + kMacBinaryHeaderSize - 1) / kMacBinaryHeaderSize * kMacBinaryHeaderSize;
    return padded == header.originalSize;
}

bool DateNearHeaderTime(uint32_t macSeconds, const MemberHeader& header)
{
    if (macSeconds < kMacToUnixSeconds || header.fileTime == 0) return false;
    const int64_t difference = static_cast<int64_t>(macSeconds - kMacToUnixSeconds) -
                               static_cast<int64_t>(UnixTimeFromTicks(header.fileTime));
    return difference <= kLargestTimeDifference && difference >= -kLargestTimeDifference;
}

} // namespace

bool ReadMacBinaryHeader(const uint8_t* block, const MemberHeader& header, uint64_t& forkSize)
{
    if (!FixedFieldsZero(block) || !NameMatches(block, header)) return false;
    const uint32_t dataFork = Get32BigEndian(block + kDataForkLengthAt);
    const uint32_t resourceFork = Get32BigEndian(block + kResourceForkLengthAt);
    if (!ForksFillMember(dataFork, resourceFork, header)) return false;
    if (!DateNearHeaderTime(Get32BigEndian(block + kModifiedAt), header)) return false;
    forkSize = dataFork != 0 ? dataFork : resourceFork;
    return true;
}

MacBinaryFilter::MacBinaryFilter(const MemberHeader& header, ByteSink& out)
    : header_(header), out_(out),
      state_(header.osId == kMacOsId && header.originalSize >= kMacBinaryHeaderSize ? State::Holding : State::Passing)
{
}

bool MacBinaryFilter::Write(const uint8_t* data, size_t size)
{
    crc_ = UpdateCrc16(crc_, data, size);
    count_ += size;
    if (state_ == State::Holding) {
        const size_t take = size < kMacBinaryHeaderSize - heldSize_ ? size : kMacBinaryHeaderSize - heldSize_;
        memcpy(held_ + heldSize_, data, take);
        heldSize_ += take;
        data += take;
        size -= take;
        if (heldSize_ < kMacBinaryHeaderSize) return true;
        if (!Decide()) return false;
    }
    return Pass(data, size);
}

// The 128 bytes are in: either they are the header (dropped, the fork
// follows) or the first bytes of a plain file (passed on).
bool MacBinaryFilter::Decide()
{
    if (ReadMacBinaryHeader(held_, header_, forkLeft_)) {
        state_ = State::Fork;
        return true;
    }
    state_ = State::Passing;
    return out_.Write(held_, heldSize_);
}

bool MacBinaryFilter::Pass(const uint8_t* data, size_t size)
{
    if (size == 0) return true;
    if (state_ == State::Passing) return out_.Write(data, size);
    const size_t keep = forkLeft_ < size ? static_cast<size_t>(forkLeft_) : size;
    forkLeft_ -= keep;
    return keep == 0 || out_.Write(data, keep);
}

} // namespace lha
