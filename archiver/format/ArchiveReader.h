// Walks the members of an archive file from the first header to the end
// marker. The first header is at offset 0, or after the program of a
// self-extracting archive (ArchiveStart). Each header starts after the
// previous member's data, so the walk only moves forward and ends.
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
    // Level 0 folder members without a name (LHA for Unix and OS-9/68k write
    // them; the name is lost) are passed over.
    HeaderResult Next(MemberHeader& header, std::string& error);

    const FileHandle& File() const { return file_; }
    // Where the first header is: 0 for a plain archive, the stub's size for a
    // self-extracting one.
    uint64_t Start() const { return start_; }
    // Lets go of the file, so that a new archive can take its place.
    void Close() { file_.Close(); }

private:
    FileHandle file_;
    uint64_t size_ = 0;
    uint64_t start_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
};

} // namespace lha
