// x (with folders), e (without) and t (test only). A member is written under
// a temporary name in its target folder and renamed when its CRC matches, so
// a bad member leaves no partial file. Leading separators and drive prefixes
// are removed (said per member); names that could still reach outside the
// destination, or whose folder is a link, are refused and the other members
// still extract. Unix symbolic links are reported and never created.
#include "archiver/commands/Commands.h"
#include "archiver/files/AnsiText.h"
#include "archiver/files/Folders.h"
#include "archiver/format/MemberData.h"
#include "archiver/format/MemberName.h"
#include "archiver/commands/Wildcard.h"

#include <windows.h>

#include <set>

namespace lha {

namespace {

const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct Tally {
    unsigned done = 0;
    unsigned skipped = 0;
    unsigned failed = 0;
    FolderMaker folders;  // the folders of this run, each made once
    // NameKeys of the links met so far, as they would be written: nothing is
    // written under one (the archive meant that to go where the link leads).
    std::set<std::string> links;
};

// What a member becomes under the destination.
struct Placement {
    RelativeName relative;  // the member's path with its leading parts removed
    std::string written;    // relative to the destination: the path (x) or the file name (e)
};

Placement PlaceMember(const CommandLine& line, const MemberHeader& header)
{
    Placement placement{StripLeadingParts(header.path), std::string()};
    placement.written = line.command == 'x' ? placement.relative.path : LastComponent(placement.relative.path);
    return placement;
}

// "extracted" or "folder", and the name written when leading parts were removed.
void ReportPlaced(const MemberHeader& header, const Placement& placement, const char* what, Report& report)
{
    if (placement.relative.removed.empty())
        report.Out().Printf("%s: %s\n", header.path.c_str(), what);
    else
        report.Out().Printf("%s: %s as %s (leading '%s' removed)\n", header.path.c_str(), what,
                            placement.written.c_str(), placement.relative.removed.c_str());
}

// Reports a failed unpack for `path` and raises its code.
void ReportUnpackFailure(UnpackResult result, const std::string& path, Report& report)
{
    struct Failure {
        UnpackResult result;
        const char* text;
        int code;
    };
    static const Failure kFailures[] = {
        {UnpackResult::UnsupportedMethod, "unsupported method", kUnsupportedMethod},
        {UnpackResult::CrcError, "CRC error", kCrcError},
        {UnpackResult::ReadFailed, "cannot read the archive", kEndOfFile},
        {UnpackResult::WriteFailed, "cannot write the file", kFileOpen},
    };
    for (const Failure& failure : kFailures) {
        if (failure.result != result) continue;
        report.Out().Printf("%s: %s\n", path.c_str(), failure.text);
        report.Raise(failure.code);
        return;
    }
}

void TestMember(const ArchiveReader& reader, const MemberHeader& header, Report& report, Tally& tally)
{
    if (header.isLink) {
        report.Out().Printf("%s: OK (symbolic link, no data)\n", header.path.c_str());
        ++tally.done;
        return;
    }
    FileSink sink(nullptr);
    UnpackResult result = UnpackMember(reader.File(), header, sink);
    if (result == UnpackResult::Ok || result == UnpackResult::Folder) {
        report.Out().Printf("%s: OK\n", header.path.c_str());
        ++tally.done;
        return;
    }
    ReportUnpackFailure(result, header.path, report);
    ++tally.failed;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetTime(const FileHandle& file, uint64_t ticks)
{
    if (ticks == 0) return;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SetFileTime(file.Get(), nullptr, nullptr, &time);
}

// Unpacks into a new temporary file in `folder`, left open in `file`; true
// with its name in `temp` when the data is whole and its CRC matches. A
// failure removes the file.
bool UnpackToTemporary(const ArchiveReader& reader, const MemberHeader& header, const std::string& folder,
                       FileHandle& file, std::string& temp, Report& report)
{
    if (!file.CreateTemporary(folder, temp)) {
        report.Out().Printf("%s: cannot create a file in the destination (error %lu)\n", header.path.c_str(),
                            GetLastError());
        report.Raise(kFileOpen);
        return false;
    }
    FileSink sink(&file);
    UnpackResult result = UnpackMember(reader.File(), header, sink);
    if (result == UnpackResult::Ok && !sink.Flush()) result = UnpackResult::WriteFailed;
    if (result == UnpackResult::Ok) {
        SetTime(file, header.fileTime);
        return true;
    }
    file.Close();
    DeleteFileA(temp.c_str());
    ReportUnpackFailure(result, header.path, report);
    return false;
}

// Windows refuses to replace a read-only file, such as one an earlier
// extraction of a read-only member made: with -o its read-only bit goes first.
// A link is left as it is: the rename replaces the link itself, and changing
// its attributes could reach the file it leads to.
void AllowReplacing(const std::string& target)
{
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Gives the checked temporary file its name `target` and closes it: through
// the open handle (one call), or by name when the system cannot rename that
// way. `renamed` tells which name the file has when the close fails.
bool PlaceFile(FileHandle& file, const std::string& temp, const std::string& target, bool overwrite, bool& renamed)
{
    renamed = file.RenameTo(target, overwrite);
    if (!file.Close()) return false;
    if (renamed) return true;
    renamed = MoveFileExA(temp.c_str(), target.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0) != FALSE;
    return renamed;
}

// The file's folder (made when missing) and its name under the destination.
bool PrepareTarget(const CommandLine& line, const MemberHeader& header, const Placement& placement,
                   std::string& folder, std::string& target, Report& report, Tally& tally)
{
    const std::string& relative = placement.written;
    std::string relativeFolder = relative.substr(0, relative.size() - LastComponent(relative).size());
    folder = line.folder + relativeFolder;
    target = line.folder + relative;
    if (tally.folders.Make(folder)) return true;
    report.Out().Printf("%s: cannot make the folder %s\n", header.path.c_str(), folder.c_str());
    report.Raise(kMakeDirectory);
    return false;
}

void ReportSkipped(const MemberHeader& header, Report& report, Tally& tally)
{
    report.Out().Printf("%s: skipped, the file exists (-o overwrites)\n", header.path.c_str());
    report.Raise(kAlreadyExists);
    ++tally.skipped;
}

void ExtractFile(const CommandLine& line, const ArchiveReader& reader, const MemberHeader& header,
                 const Placement& placement, Report& report, Tally& tally)
{
    std::string folder, target, temp;
    if (!PrepareTarget(line, header, placement, folder, target, report, tally)) {
        ++tally.failed;
        return;
    }
    // Asked first so an existing file costs no unpacking; the rename below
    // refuses to replace it all the same (it may appear meanwhile).
    if (!line.overwrite && !tally.folders.Created(folder) && Exists(target))
        return ReportSkipped(header, report, tally);
    FileHandle file;
    if (!UnpackToTemporary(reader, header, folder, file, temp, report)) {
        ++tally.failed;
        return;
    }
    if (line.overwrite) AllowReplacing(target);
    bool renamed = false;
    if (!PlaceFile(file, temp, target, line.overwrite, renamed)) {
        DWORD error = GetLastError();
        // A failed close may have lost data: no partial file stays under either name.
        DeleteFileA(renamed ? target.c_str() : temp.c_str());
        if (!line.overwrite && Exists(target)) return ReportSkipped(header, report, tally);
        report.Out().Printf("%s: cannot write the file (error %lu)\n", header.path.c_str(), error);
        report.Raise(kFileOpen);
        ++tally.failed;
        return;
    }
    if (header.attributes & kSettableAttributes) SetFileAttributesA(target.c_str(), header.attributes & kSettableAttributes);
    ReportPlaced(header, placement, "extracted", report);
    ++tally.done;
}

// A folder that exists already is fine: LHMelt stores a folder's entry after
// the files in it, which made it.
void ExtractFolder(const CommandLine& line, const MemberHeader& header, const Placement& placement, Report& report,
                   Tally& tally)
{
    if (line.command != 'x') return;
    if (!tally.folders.Make(line.folder + placement.written)) {
        report.Out().Printf("%s: cannot make the folder\n", header.path.c_str());
        report.Raise(kMakeDirectory);
        ++tally.failed;
        return;
    }
    ReportPlaced(header, placement, "folder", report);
}

// Links are never created (nor followed): reported as skipped, and their
// names kept so nothing is written under one.
void SkipLink(const MemberHeader& header, const Placement& placement, Report& report, Tally& tally)
{
    report.Out().Printf("%s: symbolic link to %s: not created\n", header.path.c_str(), header.linkTarget.c_str());
    report.Raise(kUnknownType);
    ++tally.skipped;
    std::string name = placement.relative.path;
    if (EndsWithChar(name, '\\')) name.pop_back();
    tally.links.insert(NameKey(name));
}

// Why the member may not be written where `placement` puts it, or null.
const char* RefusalReason(const CommandLine& line, const Placement& placement, bool folder, Tally& tally)
{
    if (folder && placement.relative.path.empty() && !placement.relative.removed.empty()) return nullptr;
    if (const char* unsafe = UnsafeNameReason(placement.relative.path)) return unsafe;
    if (!folder && LastComponent(placement.relative.path).empty()) return "a file without a name";
    const std::string& written = placement.written;
    for (size_t at = 0; at < written.size(); at += CharLength(written.data(), written.size(), at)) {
        if (IsSingle(written, at, '\\') && tally.links.count(NameKey(written.substr(0, at))) != 0)
            return "its folder is a symbolic link of this archive";
    }
    std::string relativeFolder = written.substr(0, written.size() - LastComponent(written).size());
    if (!tally.folders.ReparsePointBelow(line.folder, relativeFolder).empty())
        return "its folder in the destination is a symbolic link or junction, or cannot be examined";
    return nullptr;
}

void ExtractMember(const CommandLine& line, const ArchiveReader& reader, const MemberHeader& header,
                   Report& report, Tally& tally)
{
    const Placement placement = PlaceMember(line, header);
    if (header.isLink) return SkipLink(header, placement, report, tally);
    const bool folder = IsFolderMethod(header.method);
    if (const char* refused = RefusalReason(line, placement, folder, tally)) {
        report.Out().Printf("%s: refused, unsafe name (%s)\n", header.path.c_str(), refused);
        report.Raise(kUnsafeName);
        ++tally.failed;
        return;
    }
    if (folder) return ExtractFolder(line, header, placement, report, tally);
    ExtractFile(line, reader, header, placement, report, tally);
}

void PrintTally(const CommandLine& line, const Tally& tally, OutputArea& out)
{
    if (line.command == 't')
        out.Printf("%u tested OK, %u failed\n", tally.done, tally.failed);
    else
        out.Printf("%u extracted, %u skipped, %u failed\n", tally.done, tally.skipped, tally.failed);
}

} // namespace

int ExtractArchive(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    if (!OpenArchive(line.archive, reader, report)) return report.Code();
    Tally tally;
    if (line.command != 't' && !tally.folders.Make(line.folder)) {
        report.Out().Printf("cannot make the destination folder %s\n", line.folder.c_str());
        report.Raise(kMakeDirectory);
        return report.Code();
    }
    unsigned selected = 0;
    MemberHeader header;
    std::string error;
    HeaderResult result;
    while ((result = reader.Next(header, error)) == HeaderResult::Member) {
        if (!IsSelected(line.names, header.path)) continue;
        ++selected;
        if (line.command == 't')
            TestMember(reader, header, report, tally);
        else
            ExtractMember(line, reader, header, report, tally);
    }
    ReportArchiveFault(result, error, report);
    if (selected == 0 && !line.names.empty()) report.Fail(kNothingMatched, "no member matches the names given");
    PrintTally(line, tally, report.Out());
    return report.Code();
}

} // namespace lha
