// Writes a new archive beside the old one (a temporary file in the same
// folder) and puts it in the old one's place only when it is complete. Until
// Commit succeeds the archive named is untouched; a writer that goes away
// uncommitted removes its temporary file.
#pragma once
#include "archiver/codec/Encoder.h"
#include "archiver/files/FileHandle.h"
#include "archiver/format/MemberHeader.h"
#include "archiver/format/PackingFeed.h"
#include "archiver/format/ProgressMonitor.h"

#include <string>
#include <vector>

namespace lha {

// Which step failed, so that a command can return the code that says so.
enum class WriterFault {
    None,
    TempOpen,    // the temporary archive could not be made
    Write,       // writing it (or reading a member to copy) failed
    Source,      // a file to add could not be opened or read: its member is left out and the archive can go on
    CopyBack,    // the archive made in another folder could not be copied back
    Cancelled,   // the monitor said stop (Watch): the new archive is given up
};

class ArchiveWriter {
public:
    ArchiveWriter() = default;
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Creates the temporary file beside `archivePath`.
    bool Begin(const std::string& archivePath, std::string& error);
    // Creates the temporary file in `workFolder` instead (empty: the current
    // folder); Commit copies it back when that is on another volume.
    bool BeginIn(const std::string& archivePath, const std::string& workFolder, std::string& error);
    // From now on the bytes copied (CopyMember) and the files' bytes packed
    // (AddFile, AddPacked) count as `monitor`'s progress, and a cancel fails
    // the member in progress (WriterFault::Cancelled, "cancelled at <member>").
    void Watch(ProgressMonitor* monitor) { monitor_ = monitor; }
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
    // another thread, as PackingPipeline does). When the file cannot be opened
    // or read, Fault() is Source and nothing of its member stays in the archive.
    bool AddPacked(PackingFeed& feed, const std::string& memberName, const PackingMethod& method,
                   std::string& error);
    // Adds a -lhd- folder member; `memberName` ends with a backslash.
    bool AddFolder(const std::string& diskPath, const std::string& memberName, std::string& error);
    // Ends the archive, makes sure it is on the disk (FlushFileBuffers), and
    // only then replaces the old one. From another volume it is first copied
    // beside the old one (and flushed), then renamed: a failed copy leaves
    // the old archive as it was.
    bool Commit(std::string& error);
    // What failed, after a method returned false.
    WriterFault Fault() const { return fault_; }

private:
    bool WriteHeader(const MemberHeader& header, int& writtenLevel, std::string& error);
    void NoteLevel(const MemberHeader& header, int writtenLevel);
    bool PackData(PackingFeed& feed, MemberHeader& header, std::string& error);

    bool Fail(WriterFault fault, const std::string& text, std::string& error);
    bool CopyBack(std::string& error);
    bool LeaveOut(uint64_t headerStart);

    std::string archivePath_;
    std::string tempPath_;
    std::string copyPath_;  // the copy beside the archive, while CopyBack makes it
    WriterFault fault_ = WriterFault::None;
    FileHandle file_;
    int headerLevel_ = 2;
    std::vector<std::string> fellBack_;
    ProgressMonitor* monitor_ = nullptr;
    bool committed_ = false;
};

} // namespace lha
