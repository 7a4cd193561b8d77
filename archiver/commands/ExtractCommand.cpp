// x (with folders), e (without, unless -x1) and t (test only). Each member
// goes to the base folder of the first name group that selects it. A file in
// the way is replaced only when asked (-m1, -y, -jyo, x) and never when it is
// newer than the member (unless -c) or read-only; -m2 writes under a free
// .000-.999 name instead. A member is written under
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

#include <cstdio>
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
    placement.written = line.keepFolders ? placement.relative.path : LastComponent(placement.relative.path);
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
        {UnpackResult::ReadFailed, "the archive ends inside the member's data", kEndOfFile},
        {UnpackResult::WriteFailed, "cannot write the file", kFileOpen},
        {UnpackResult::Cancelled, "cancelled here", kUserCancel},
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
    UnpackResult result = UnpackMember(reader.File(), header, sink, report.Monitor());
    if (result == UnpackResult::Ok || result == UnpackResult::Folder) {
        report.Out().Printf("%s: OK\n", header.path.c_str());
        ++tally.done;
        return;
    }
    ReportUnpackFailure(result, header.path, report);
    if (report.Cancelled()) return;
    report.CountFailure();
    ++tally.failed;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

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
    UnpackResult result = UnpackMember(reader.File(), header, sink, report.Monitor());
    if (result == UnpackResult::Ok && !sink.Flush()) result = UnpackResult::WriteFailed;
    if (result == UnpackResult::Ok) {
        file.SetLastWriteTime(header.fileTime);
        return true;
    }
    const DWORD error = GetLastError();
    file.Close();
    DeleteFileA(temp.c_str());
    if (result == UnpackResult::WriteFailed && IsDiskFull(error)) {
        report.Out().Printf("%s: the disk is full\n", header.path.c_str());
        report.Raise(kDiskSpace);
        return false;
    }
    ReportUnpackFailure(result, header.path, report);
    return false;
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
bool PrepareTarget(const std::string& destination, const MemberHeader& header, const Placement& placement,
                   std::string& folder, std::string& target, Report& report, Tally& tally)
{
    const std::string& relative = placement.written;
    std::string relativeFolder = relative.substr(0, relative.size() - LastComponent(relative).size());
    folder = destination + relativeFolder;
    target = destination + relative;
    if (tally.folders.Make(folder)) return true;
    report.Out().Printf("%s: cannot make the folder %s\n", header.path.c_str(), folder.c_str());
    report.Raise(kMakeDirectory);
    return false;
}

// A member that is not written: said (unless -s), its warning raised.
void Skip(const CommandLine& line, const MemberHeader& header, const char* why, int code, Report& report, Tally& tally)
{
    if (!line.quietSkipped) report.Out().Printf("%s: skipped, %s\n", header.path.c_str(), why);
    report.Raise(code);
    report.CountFailure();
    ++tally.skipped;
}

uint64_t LastWriteTicks(const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// `target` with its extension replaced by the first of .000-.999 that no file
// has; empty when all are taken.
std::string FreeNumberedName(const std::string& target)
{
    const std::string folder = FolderPart(target);
    const std::string name = target.substr(folder.size());
    const size_t dot = name.rfind('.');
    const std::string stem = folder + (dot == std::string::npos ? name : name.substr(0, dot));
    char suffix[8];
    for (int number = 0; number <= 999; ++number) {
        snprintf(suffix, sizeof suffix, ".%03d", number);
        if (!Exists(stem + suffix)) return stem + suffix;
    }
    return std::string();
}

// What to do about a file in the way of a member, in this order: a newer file
// stays (unless -c); with -m1, -y, -jyo or x it is replaced (not when
// read-only); -m2 writes under a free numbered name; else it stays.
enum class InTheWay { Write, Replace, Skipped };

InTheWay DecideInTheWay(const CommandLine& line, const MemberHeader& header, std::string& target, Report& report,
                        Tally& tally)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &data)) return InTheWay::Write;
    if (!line.ignoreTime && header.fileTime != 0 && LastWriteTicks(data) > header.fileTime) {
        Skip(line, header, "a newer file is in the way (-c replaces it)", kMoreFresh, report, tally);
        return InTheWay::Skipped;
    }
    if (line.ReplacesInTheWay()) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) return InTheWay::Replace;
        Skip(line, header, "the file in the way is read-only", kReadOnly, report, tally);
        return InTheWay::Skipped;
    }
    if (line.questions == 2) {
        const std::string free = FreeNumberedName(target);
        if (!free.empty()) {
            target = free;
            return InTheWay::Write;
        }
        Skip(line, header, "the file exists and .000 to .999 are all taken", kAlreadyExists, report, tally);
        return InTheWay::Skipped;
    }
    Skip(line, header, "the file exists (-m1, -y or -jyo replaces it)", kAlreadyExists, report, tally);
    return InTheWay::Skipped;
}

// -a1 and -a2 restore the stored attributes; without, files are plain.
void SetAttributes(const CommandLine& line, const MemberHeader& header, const std::string& target)
{
    if (line.attributes == 0 || !(header.attributes & kSettableAttributes)) return;
    SetFileAttributesA(target.c_str(), header.attributes & kSettableAttributes);
}

// The checked temporary file `temp` takes the place of a file found in the
// way after it was made; false when it does not (said), the temporary gone.
bool PlaceOverFound(const CommandLine& line, const MemberHeader& header, const std::string& temp, std::string& target,
                    Report& report, Tally& tally)
{
    const InTheWay decision = DecideInTheWay(line, header, target, report, tally);
    const DWORD flags = decision == InTheWay::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (decision != InTheWay::Skipped && MoveFileExA(temp.c_str(), target.c_str(), flags)) return true;
    DeleteFileA(temp.c_str());
    if (decision == InTheWay::Skipped) return false;
    report.Out().Printf("%s: cannot write the file (error %lu)\n", header.path.c_str(), GetLastError());
    report.Raise(kFileOpen);
    report.CountFailure();
    ++tally.failed;
    return false;
}

// The file in place: its attributes (-a1, -a2), and "extracted", or where to
// when -m2 gave it a numbered name.
void Finish(const CommandLine& line, const MemberHeader& header, const Placement& placement,
            const std::string& destination, const std::string& target, Report& report, Tally& tally)
{
    SetAttributes(line, header, target);
    if (target != destination + placement.written)
        report.Out().Printf("%s: extracted as %s (the file exists)\n", header.path.c_str(),
                            target.substr(destination.size()).c_str());
    else
        ReportPlaced(header, placement, "extracted", report);
    ++tally.done;
}

void ExtractFile(const CommandLine& line, const std::string& destination, const ArchiveReader& reader,
                 const MemberHeader& header, const Placement& placement, Report& report, Tally& tally)
{
    std::string folder, target, temp;
    if (!PrepareTarget(destination, header, placement, folder, target, report, tally)) {
        report.CountFailure();
        ++tally.failed;
        return;
    }
    // Asked first so a file in the way costs no unpacking; the rename below
    // refuses to replace a file all the same unless replacing was decided.
    InTheWay decision = tally.folders.Created(folder) ? InTheWay::Write : DecideInTheWay(line, header, target, report, tally);
    if (decision == InTheWay::Skipped) return;
    const bool replace = decision == InTheWay::Replace;
    FileHandle file;
    if (!UnpackToTemporary(reader, header, folder, file, temp, report)) {
        if (report.Cancelled()) return;
        report.CountFailure();
        ++tally.failed;
        return;
    }
    bool renamed = false;
    if (!PlaceFile(file, temp, target, replace, renamed)) {
        DWORD error = GetLastError();
        // A file of this name appeared meanwhile (an earlier member of the
        // same name in this run): decided as any file in the way.
        if (!renamed && !replace && Exists(target)) {
            if (PlaceOverFound(line, header, temp, target, report, tally))
                Finish(line, header, placement, destination, target, report, tally);
            return;
        }
        // A failed close may have lost data: no partial file stays under either name.
        DeleteFileA(renamed ? target.c_str() : temp.c_str());
        report.Out().Printf("%s: cannot write the file (error %lu)\n", header.path.c_str(), error);
        report.Raise(IsDiskFull(error) ? kDiskSpace : kFileOpen);
        report.CountFailure();
        ++tally.failed;
        return;
    }
    Finish(line, header, placement, destination, target, report, tally);
}

// A folder that exists already is fine: LHMelt stores a folder's entry after
// the files in it, which made it.
void ExtractFolder(const CommandLine& line, const std::string& destination, const MemberHeader& header,
                   const Placement& placement, Report& report, Tally& tally)
{
    if (!line.keepFolders) return;
    if (!tally.folders.Make(destination + placement.written)) {
        report.Out().Printf("%s: cannot make the folder\n", header.path.c_str());
        report.Raise(kMakeDirectory);
        report.CountFailure();
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
    report.CountFailure();
    ++tally.skipped;
    std::string name = placement.relative.path;
    if (EndsWithChar(name, '\\')) name.pop_back();
    tally.links.insert(NameKey(name));
}

// Why the member may not be written where `placement` puts it, or null.
const char* RefusalReason(const std::string& destination, const Placement& placement, bool folder, Tally& tally)
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
    if (!tally.folders.ReparsePointBelow(destination, relativeFolder).empty())
        return "its folder in the destination is a symbolic link or junction, or cannot be examined";
    return nullptr;
}

void ExtractMember(const CommandLine& line, const std::string& destination, const ArchiveReader& reader,
                   const MemberHeader& header, Report& report, Tally& tally)
{
    const Placement placement = PlaceMember(line, header);
    if (header.isLink) return SkipLink(header, placement, report, tally);
    const bool folder = IsFolderMethod(header.method);
    if (const char* refused = RefusalReason(destination, placement, folder, tally)) {
        report.Out().Printf("%s: refused, unsafe name (%s)\n", header.path.c_str(), refused);
        report.Raise(kUnsafeName);
        report.CountFailure();
        ++tally.failed;
        return;
    }
    if (folder) return ExtractFolder(line, destination, header, placement, report, tally);
    ExtractFile(line, destination, reader, header, placement, report, tally);
}

void PrintTally(const CommandLine& line, const Tally& tally, OutputArea& out)
{
    if (line.command == 't')
        out.Printf("%u tested OK, %u failed\n", tally.done, tally.failed);
    else
        out.Printf("%u extracted, %u skipped, %u failed\n", tally.done, tally.skipped, tally.failed);
}

bool NamesGiven(const CommandLine& line) { return !line.AllNames().empty(); }

} // namespace

int ExtractArchive(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    if (!OpenArchive(line.archive, reader, report)) return report.Code();
    Tally tally;
    unsigned selected = 0;
    MemberHeader header;
    std::string error;
    HeaderResult result = HeaderResult::End;
    CountSelectedBytes(line, report);
    while (!report.Stopping() && !report.CancelAsked() &&
           (result = reader.Next(header, error)) == HeaderResult::Member) {
        const NameGroup* group = SelectingGroup(line, header.path);
        if (!group) continue;
        ++selected;
        report.Item(header.path);
        if (line.command == 't')
            TestMember(reader, header, report, tally);
        else
            ExtractMember(line, group->folder, reader, header, report, tally);
    }
    if (report.CancelAsked())
        report.Fail(kUserCancel, kCancelledText);
    else if (report.Stopping())
        report.Out().Put("stopped at the first warning (-jse)\n");
    else
        ReportArchiveFault(result, error, report);
    if (selected == 0 && NamesGiven(line) && !report.Cancelled())
        report.Fail(kNothingMatched, "no member matches the names given");
    PrintTally(line, tally, report.Out());
    return report.Code();
}

} // namespace lha
