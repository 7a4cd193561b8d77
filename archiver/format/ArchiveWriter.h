// Writes a new archive beside the old one (a temporary file in the same
// folder) and puts it in the old one's place only when it is complete. Until
// Commit succeeds the archive named is untouched; a writer that goes away
// uncommitted removes its temporary file.
#pragma once
#include "archiver/codec/Encoder.h"
#include "archiver/files/FileHandle.h"
#include "archiver/format/MemberHeader.h"
#include "archiver/format/PackingFeed.h"

#include <string>
#include <vector>

namespace lha {

class ArchiveWriter {
public:
    ArchiveWriter() = default;
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Creates the temporary file beside `archivePath`.
    bool Begin(const std::string& archivePath, std::string& error);
    // The header level of the members AddFile, AddPacked and AddFolder write
    // from now on: 0, 1 or 2 (the default). A member that level cannot hold
    // goes out at level 2 (WriteHeaderAtLevel) and its name joins FellBackToLevel2.
    void SetHeaderLevel(int level) { headerLevel_ = level; }
    // The members written at level 2 though another level was asked for, in order.
    const std::vector<std::string>& FellBackToLevel2() const { return fellBack_; }
    // Copies a member of `archive` byte for byte, header and data.
    bool CopyMember(const FileHandle& archive, const MemberHeader& header, std::string& error);
    // Packs the file `diskPath` as `memberName` with `method` (-lh0- where
    // packing does not pay). A file of 4 GiB or more gets 64-bit sizes.
    bool AddFile(const std::string& diskPath, const std::string& memberName, const PackingMethod& method,
                 std::string& error);
    // As AddFile, with the file opened and packed by `feed` (perhaps on
    // another thread, as PackingPipeline does).
    bool AddPacked(PackingFeed& feed, const std::string& memberName, const PackingMethod& method,
                   std::string& error);
    // Adds a -lhd- folder member; `memberName` ends with a backslash.
    bool AddFolder(const std::string& diskPath, const std::string& memberName, std::string& error);
    // Ends the archive and replaces the old one (MoveFileExA).
    bool Commit(std::string& error);

private:
    bool WriteHeader(const MemberHeader& header, int& writtenLevel, std::string& error);
    void NoteLevel(const MemberHeader& header, int writtenLevel);
    bool PackData(PackingFeed& feed, MemberHeader& header, std::string& error);

    std::string archivePath_;
    std::string tempPath_;
    FileHandle file_;
    int headerLevel_ = 2;
    std::vector<std::string> fellBack_;
    bool committed_ = false;
};

} // namespace lha
