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
    // The next member, the end, or a fault (`error` says what and where).
    // Level 0 folder members without a name (LHA for Unix and OS-9/68k write
    // them; the name is lost) are passed over.
    //
    // A file is an archive only when its first header is a member, or when it
    // holds nothing but zero and 0x1A padding (an empty archive): anything
    // else where the first header must be, an empty file included, is
    // NotArchive. After the end marker only padding may follow (PMarc pads
    // with 0x1A); other bytes there are DataPastEnd, since they may be
    // members behind a damaged header. A self-extracting program may go on
    // past its archive (the Atari ST ones do), so there they are not judged.
    HeaderResult Next(MemberHeader& header, std::string& error);

    const FileHandle& File() const { return file_; }
    // Where the first header is: 0 for a plain archive, the stub's size for a
    // self-extracting one.
    uint64_t Start() const { return start_; }
    // Lets go of the file, so that a new archive can take its place.
    void Close() { file_.Close(); }

private:
    HeaderResult ReadNext(MemberHeader& header, std::string& error);
    HeaderResult JudgeEnd(std::string& error);
    bool OnlyPaddingFrom(uint64_t offset) const;

    FileHandle file_;
    uint64_t size_ = 0;
    uint64_t start_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
};

} // namespace lha
