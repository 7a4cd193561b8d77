// A file mapped read-only: its pages come from the page cache as they are
// read, with no copy and no buffer to clear first. The tester reads its
// archive this way; the packer reads its many small files with read(), which
// costs less than a mapping each.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace codec_bench {

class MappedFile {
public:
    // Ok() is false when the file cannot be opened, its facts read or it mapped.
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Ok() const { return ok_; }
    const uint8_t* Data() const { return data_; }  // null for an empty file
    size_t Size() const { return size_; }
    uint32_t ModifiedTime() const { return modified_; }  // seconds since 1970

private:
    void Map(int file, size_t size);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint32_t modified_ = 0;
    bool ok_ = false;
};

} // namespace codec_bench
