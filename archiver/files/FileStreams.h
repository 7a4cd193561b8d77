// Byte streams over files for the codec: a part of an archive as a source, a
// file or a CRC counter as a sink. Each sums the CRC-16 of what passes and
// keeps the first failure for its owner to report.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/files/FileHandle.h"

#include <cstdint>
#include <vector>

namespace lha {

// `size` bytes of `file` from `offset` on, read through a buffer. A read
// failure or an early end of the file ends the stream and sets Failed().
class FileRegionSource : public ByteSource {
public:
    FileRegionSource(const FileHandle& file, uint64_t offset, uint64_t size);
    size_t Read(uint8_t* buffer, size_t size) override;
    bool Failed() const { return failed_; }
    uint16_t Crc() const { return crc_; }

private:
    bool Fill();

    const FileHandle& file_;
    uint64_t position_;
    uint64_t remaining_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0;
    size_t end_ = 0;
    bool failed_ = false;
    uint16_t crc_ = 0;
};

// Writes to a file through a buffer (Flush writes the rest), or only counts
// when `file` is null (testing a member writes nothing).
class FileSink : public ByteSink {
public:
    explicit FileSink(const FileHandle* file);
    bool Write(const uint8_t* data, size_t size) override;
    bool Flush();
    uint16_t Crc() const { return crc_; }
    uint64_t Count() const { return count_; }

private:
    const FileHandle* file_;
    std::vector<uint8_t> buffer_;
    uint16_t crc_ = 0;
    uint64_t count_ = 0;
};

} // namespace lha
