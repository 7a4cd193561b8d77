// Walks the members of an archive file from the first header to the end
// marker. Each header starts after the previous member's data, so the walk
// only moves forward and ends.
#pragma once
#include "archiver/files/FileHandle.h"
#include "archiver/format/HeaderCodec.h"
#include "archiver/format/MemberHeader.h"

#include <string>

namespace lha {

class ArchiveReader {
public:
    // False when the file cannot be opened (GetLastError says why).
    bool Open(const char* path);
    // The next member, the end, or a broken header (`error` says what).
    HeaderResult Next(MemberHeader& header, std::string& error);

    const FileHandle& File() const { return file_; }
    // Lets go of the file, so that a new archive can take its place.
    void Close() { file_.Close(); }

private:
    FileHandle file_;
    uint64_t size_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
};

} // namespace lha
