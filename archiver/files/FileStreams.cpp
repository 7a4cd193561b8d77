#include "archiver/files/FileStreams.h"

#include "archiver/codec/Crc16.h"

#include <cstring>

namespace lha {

namespace {

const size_t kBufferSize = 64 * 1024;

} // namespace

FileRegionSource::FileRegionSource(const FileHandle& file, uint64_t offset, uint64_t size)
    : file_(file), position_(offset), remaining_(size),
      // A small member gets a small buffer: a 64 KiB block per member costs the
      // heap a commit and a release each time.
      buffer_(size < kBufferSize ? (size > 0 ? static_cast<size_t>(size) : 1) : kBufferSize)
{
}

bool FileRegionSource::Fill()
{
    if (remaining_ == 0 || failed_) return false;
    size_t want = remaining_ < buffer_.size() ? static_cast<size_t>(remaining_) : buffer_.size();
    size_t got = 0;
    if (!file_.Seek(position_) || !file_.Read(buffer_.data(), want, got) || got == 0) {
        failed_ = true;
        return false;
    }
    position_ += got;
    remaining_ -= got;
    at_ = 0;
    end_ = got;
    return true;
}

size_t FileRegionSource::Read(uint8_t* buffer, size_t size)
{
    if (at_ == end_ && !Fill()) return 0;
    size_t count = end_ - at_ < size ? end_ - at_ : size;
    memcpy(buffer, buffer_.data() + at_, count);
    at_ += count;
    crc_ = UpdateCrc16(crc_, buffer, count);
    return count;
}

// The buffer grows with what is written (up to kBufferSize): a small file
// costs a small block.
FileSink::FileSink(const FileHandle* file) : file_(file) {}

bool FileSink::Write(const uint8_t* data, size_t size)
{
    crc_ = UpdateCrc16(crc_, data, size);
    count_ += size;
    if (!file_) return true;
    if (buffer_.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) return file_->Write(data, size);
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
}

bool FileSink::Flush()
{
    if (!file_ || buffer_.empty()) return true;
    bool written = file_->Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
}

} // namespace lha
