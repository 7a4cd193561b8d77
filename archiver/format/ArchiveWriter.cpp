#include "archiver/format/ArchiveWriter.h"

#include "archiver/files/AnsiText.h"
#include "archiver/files/FileStreams.h"
#include "archiver/format/FileFeed.h"
#include "archiver/format/HeaderCodec.h"
#include "archiver/format/MemberPacker.h"

#include <vector>

namespace lha {

namespace {

const char kOsId = 'W';
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
    if (committed_ || tempPath_.empty()) return;
    file_.Close();
    DeleteFileA(tempPath_.c_str());
}

bool ArchiveWriter::Begin(const std::string& archivePath, std::string& error)
{
    archivePath_ = archivePath;
    if (file_.CreateTemporary(FolderOf(archivePath), tempPath_)) return true;
    error = LastError("cannot create a file beside the archive", archivePath);
    return false;
}

bool ArchiveWriter::CopyMember(const FileHandle& archive, const MemberHeader& header, std::string& error)
{
    uint64_t size = header.dataOffset + header.packedSize - header.headerOffset;
    FileRegionSource source(archive, header.headerOffset, size);
    FileSink sink(&file_);
    if (CopyStream(source, size, sink) && sink.Flush()) return true;
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
    if (result == PackResult::ReadFailed) {
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
    FileFeed feed(diskPath, method);
    return AddPacked(feed, memberName, method, error);
}

bool ArchiveWriter::AddPacked(PackingFeed& feed, const std::string& memberName, const PackingMethod& method,
                              std::string& error)
{
    FileFacts facts;
    if (!feed.Open(facts, error)) return false;
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
    if (!PackData(feed, header, error)) return false;
    if (!file_.Position(dataEnd) || !file_.Seek(headerStart) || !WriteHeader(header, writtenLevel, error) ||
        !file_.Seek(dataEnd)) {
        if (error.empty()) error = LastError("cannot write", tempPath_);
        return false;
    }
    NoteLevel(header, writtenLevel);
    return true;
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

bool ArchiveWriter::Commit(std::string& error)
{
    const uint8_t endMarker = 0;
    if (!file_.Write(&endMarker, 1) || !file_.Close()) {
        error = LastError("cannot write", tempPath_);
        return false;
    }
    if (!MoveFileExA(tempPath_.c_str(), archivePath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError("cannot replace the archive", archivePath_);
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace lha
