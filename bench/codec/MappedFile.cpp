#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace codec_bench {

MappedFile::MappedFile(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY);
    if (file < 0)
        return;
    struct stat facts;
    if (fstat(file, &facts) == 0) {
        modified_ = static_cast<uint32_t>(facts.st_mtime);
        Map(file, static_cast<size_t>(facts.st_size));
    }
    close(file);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr)
        munmap(const_cast<uint8_t*>(data_), size_);
}

void MappedFile::Map(int file, size_t size) {
    if (size == 0) {
        ok_ = true;  // nothing to map
        return;
    }
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
    if (mapped == MAP_FAILED)
        return;
    data_ = static_cast<const uint8_t*>(mapped);
    size_ = size;
    ok_ = true;
}

} // namespace codec_bench
