#include "archiver/format/ArchiveWriter.h"

#include "archiver/files/AnsiText.h"
#include "archiver/files/FileStreams.h"
#include "archiver/format/FileFeed.h"
#include "archiver/format/HeaderCodec.h"
#include "archiver/format/MemberPacker.h"
#include "archiver/format/MonitoredSource.h"

#include <vector>

namespace lha {

namespace {

const char kOsId = 'W';
const char kCancelledAt[] = "cancelled at ";
const uint32_t kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE;

// The archive's folder, where its temporary replacement is made.
std::string FolderOf(const std::string& path)
{
    const std::string folder = FolderPart(path);
    return folder.empty() ? "." : folder;
}

std::string LastError(const char* what, const std::string& path)
{
    return std::string(what) + " (error " + std::to_string(GetLastError()) + "): " + path;
}

// Opens `path` for writing only to flush it to the disk.
bool FlushFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) && flushed;
}

// The member's data at the end of the temporary file, from `start` on; a
// restart cuts the file back there.
class DataSink : public RestartableSink {
public:
    DataSink(const FileHandle& file, uint64_t start) : file_(file), start_(start), sink_(&file) {}
    bool Write(const uint8_t* data, size_t size) override { return sink_.Write(data, size); }
    bool Restart() override
    {
        sink_ = FileSink(&file_);
        return file_.Seek(start_) && file_.Truncate();
    }
    bool Flush() { return sink_.Flush(); }

private:
    const FileHandle& file_;
    uint64_t start_;
    FileSink sink_;
};

} // namespace

ArchiveWriter::~ArchiveWriter()
{
    if (!copyPath_.empty()) DeleteFileA(copyPath_.c_str());
    if (committed_ || tempPath_.empty()) return;
    file_.Close();
    DeleteFileA(tempPath_.c_str());
}

bool ArchiveWriter::Fail(WriterFault fault, const std::string& text, std::string& error)
{
    fault_ = fault;
    error = text;
    return false;
}

bool ArchiveWriter::Begin(const std::string& archivePath, std::string& error)
{
    archivePath_ = archivePath;
    if (file_.CreateTemporary(FolderOf(archivePath), tempPath_)) return true;
    return Fail(WriterFault::TempOpen, LastError("cannot create a file beside the archive", archivePath), error);
}

bool ArchiveWriter::BeginIn(const std::string& archivePath, const std::string& workFolder, std::string& error)
{
    archivePath_ = archivePath;
    const DWORD attributes = GetFileAttributesA(workFolder.empty() ? "." : workFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(WriterFault::TempOpen, "the work folder does not exist: " + workFolder, error);
    if (file_.CreateTemporary(workFolder.empty() ? "." : workFolder, tempPath_)) return true;
    return Fail(WriterFault::TempOpen, LastError("cannot create a file in the work folder", workFolder), error);
}

bool ArchiveWriter::CopyMember(const FileHandle& archive, const MemberHeader& header, std::string& error)
{
    uint64_t size = header.dataOffset + header.packedSize - header.headerOffset;
    FileRegionSource source(archive, header.headerOffset, size);
    MonitoredSource watched(source, monitor_);
    FileSink sink(&file_);
    if (CopyStream(watched, size, sink) && sink.Flush()) return true;
    if (watched.Cancelled()) return Fail(WriterFault::Cancelled, kCancelledAt + header.path, error);
    error = source.Failed() ? "cannot read the archive: " + archivePath_ : LastError("cannot write", tempPath_);
    return false;
}

bool ArchiveWriter::WriteHeader(const MemberHeader& header, int& writtenLevel, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!WriteHeaderAtLevel(headerLevel_, header, bytes, writtenLevel, error)) return false;
    if (file_.Write(bytes.data(), bytes.size())) return true;
    error = LastError("cannot write", tempPath_);
    return false;
}

void ArchiveWriter::NoteLevel(const MemberHeader& header, int writtenLevel)
{
    if (writtenLevel != headerLevel_) fellBack_.push_back(header.path);
}

bool ArchiveWriter::PackData(PackingFeed& feed, MemberHeader& header, std::string& error)
{
    uint64_t dataStart;
    if (!file_.Position(dataStart)) {
        error = LastError("cannot write", tempPath_);
        return false;
    }
    DataSink sink(file_, dataStart);
    PackedData packed;
    PackResult result = feed.Pack(sink, packed);
    if (result == PackResult::Ok && !sink.Flush()) result = PackResult::WriteFailed;
    if (result == PackResult::Cancelled) return Fail(WriterFault::Cancelled, kCancelledAt + header.path, error);
    if (result == PackResult::ReadFailed) {
        fault_ = WriterFault::Source;
        error = "cannot read the file (or it changed while being added): " + header.path;
        return false;
    }
    if (result == PackResult::WriteFailed) {
        error = LastError("cannot write", tempPath_);
        return false;
    }
    header.method = packed.method;
    header.packedSize = packed.packedSize;
    header.crc = packed.crc;
    return true;
}

bool ArchiveWriter::AddFile(const std::string& diskPath, const std::string& memberName,
                            const PackingMethod& method, std::string& error)
{
    FileFeed feed(diskPath, method, monitor_);
    return AddPacked(feed, memberName, method, error);
}

bool ArchiveWriter::AddPacked(PackingFeed& feed, const std::string& memberName, const PackingMethod& method,
                              std::string& error)
{
    fault_ = WriterFault::None;
    FileFacts facts;
    if (!feed.Open(facts, error)) return Fail(WriterFault::Source, error, error);
    MemberHeader header;
    header.originalSize = facts.size;
    header.method = method.id;
    header.path = memberName;
    header.osId = kOsId;
    header.fileTime = facts.fileTime;
    header.attributes = facts.attributes & kKeptAttributes;
    // The header goes first with the packed size unknown, and again when it is
    // known. Its length does not change: whether it carries 64-bit sizes
    // follows from the original size alone, and the packed data is never larger.
    uint64_t headerStart, dataEnd;
    int writtenLevel = 0;
    if (!file_.Position(headerStart) || !WriteHeader(header, writtenLevel, error)) return false;
    if (!PackData(feed, header, error)) return fault_ == WriterFault::Source ? LeaveOut(headerStart) : false;
    if (!file_.Position(dataEnd) || !file_.Seek(headerStart) || !WriteHeader(header, writtenLevel, error) ||
        !file_.Seek(dataEnd)) {
        if (error.empty()) error = LastError("cannot write", tempPath_);
        return false;
    }
    NoteLevel(header, writtenLevel);
    return true;
}

// A file that could not be read is left out: what was written of its member
// is cut off, so the archive can go on with the next one.
bool ArchiveWriter::LeaveOut(uint64_t headerStart)
{
    if (!file_.Seek(headerStart) || !file_.Truncate()) fault_ = WriterFault::Write;
    return false;
}

bool ArchiveWriter::AddFolder(const std::string& diskPath, const std::string& memberName, std::string& error)
{
    MemberHeader header;
    header.method = "-lhd-";
    header.path = memberName;
    header.osId = kOsId;
    header.attributes = FILE_ATTRIBUTE_DIRECTORY;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(diskPath.c_str(), GetFileExInfoStandard, &data))
        header.fileTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                          data.ftLastWriteTime.dwLowDateTime;
    int writtenLevel = 0;
    if (!WriteHeader(header, writtenLevel, error)) return false;
    NoteLevel(header, writtenLevel);
    return true;
}

// The finished archive in another folder is copied beside the old one under
// a temporary name, flushed, and then renamed over it.
bool ArchiveWriter::CopyBack(std::string& error)
{
    FileHandle copy;
    if (!copy.CreateTemporary(FolderOf(archivePath_), copyPath_))
        return Fail(WriterFault::CopyBack, LastError("cannot copy the archive back beside", archivePath_), error);
    copy.Close();
    if (!CopyFileA(tempPath_.c_str(), copyPath_.c_str(), FALSE) || !FlushFile(copyPath_))
        return Fail(WriterFault::CopyBack, LastError("cannot copy the archive back to", archivePath_), error);
    if (!MoveFileExA(copyPath_.c_str(), archivePath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail(WriterFault::CopyBack, LastError("cannot replace the archive", archivePath_), error);
    copyPath_.clear();
    DeleteFileA(tempPath_.c_str());
    return true;
}

bool ArchiveWriter::Commit(std::string& error)
{
    const uint8_t endMarker = 0;
    // The new archive reaches the disk before the old one goes (and before m
    // removes any source).
    if (!file_.Write(&endMarker, 1) || !FlushFileBuffers(file_.Get()) || !file_.Close())
        return Fail(WriterFault::Write, LastError("cannot write", tempPath_), error);
    if (MoveFileExA(tempPath_.c_str(), archivePath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        committed_ = true;
        return true;
    }
    if (GetLastError() != ERROR_NOT_SAME_DEVICE)
        return Fail(WriterFault::Write, LastError("cannot replace the archive", archivePath_), error);
    if (!CopyBack(error)) return false;
    committed_ = true;
    return true;
}

} // namespace lha
