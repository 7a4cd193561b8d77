#include "sfx/Extraction.h"

#include "archiver/commands/ReturnCode.h"
#include "archiver/files/AnsiText.h"
#include "archiver/files/Folders.h"
#include "archiver/format/HeaderCodec.h"
#include "archiver/format/MemberData.h"
#include "archiver/format/MemberName.h"

#include <windows.h>

#include <set>

namespace sfx {

using namespace lha;

namespace {

const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct Run {
    Run(const ExtractionOptions& options, ExtractionView& view) : options(options), view(view) {}

    const ExtractionOptions& options;
    ExtractionView& view;
    int code = kSuccess;
    FolderMaker folders;           // each folder of the run made or examined once
    std::set<std::string> links;   // NameKeys of the archive's links: nothing is written under one

    void Say(const MemberHeader& header, const std::string& what, int raised)
    {
        view.Line(header.path + ": " + what, raised);
        code = Worse(code, raised);
    }
};

struct Failure {
    UnpackResult result;
    const char* text;
    int code;
};

const Failure kFailures[] = {
    {UnpackResult::UnsupportedMethod, "unsupported method", kUnsupportedMethod},
    {UnpackResult::CrcError, "CRC error", kCrcError},
    {UnpackResult::ReadFailed, "cannot read the archive", kEndOfFile},
    {UnpackResult::WriteFailed, "cannot write the file", kFileOpen},
};

void SayUnpackFailure(Run& run, const MemberHeader& header, UnpackResult result)
{
    for (const Failure& failure : kFailures)
        if (failure.result == result) return run.Say(header, failure.text, failure.code);
    run.Say(header, "cannot be extracted", kFileOpen);
}

// The member's path under the destination: with or without its folders,
// leading separators and drive prefix removed.
struct Placement {
    RelativeName relative;
    std::string written;
};

Placement PlaceMember(const Run& run, const MemberHeader& header)
{
    Placement placement{StripLeadingParts(header.path), std::string()};
    placement.written = run.options.keepFolders ? placement.relative.path : LastComponent(placement.relative.path);
    return placement;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.size() - LastComponent(path).size()); }

const char* RefusalReason(Run& run, const Placement& placement, bool folder)
{
    if (folder && placement.relative.path.empty() && !placement.relative.removed.empty()) return nullptr;
    if (const char* unsafe = UnsafeNameReason(placement.relative.path)) return unsafe;
    if (!folder && LastComponent(placement.relative.path).empty()) return "a file without a name";
    const std::string& written = placement.written;
    for (size_t at = 0; at < written.size(); at += CharLength(written.data(), written.size(), at))
        if (IsSingle(written, at, '\\') && run.links.count(NameKey(written.substr(0, at))) != 0)
            return "its folder is a symbolic link of this archive";
    if (!run.folders.ReparsePointBelow(run.options.destination, FolderOf(written)).empty())
        return "its folder in the destination is a symbolic link or junction, or cannot be examined";
    return nullptr;
}

void SkipLink(Run& run, const MemberHeader& header, const Placement& placement)
{
    run.Say(header, "symbolic link to " + header.linkTarget + ": not created", kUnknownType);
    std::string name = placement.relative.path;
    if (EndsWithChar(name, '\\')) name.pop_back();
    run.links.insert(NameKey(name));
}

// Unpacks into a new temporary file in `folder`, left open; a failure removes it.
bool UnpackToTemporary(Run& run, const FileHandle& archive, const MemberHeader& header, const std::string& folder,
                       FileHandle& file, std::string& temp)
{
    if (!file.CreateTemporary(folder, temp)) {
        run.Say(header, "cannot create a file in the destination", kFileOpen);
        return false;
    }
    FileSink sink(&file);
    UnpackResult result = UnpackMember(archive, header, sink);
    if (result == UnpackResult::Ok && !sink.Flush()) result = UnpackResult::WriteFailed;
    if (result == UnpackResult::Ok) {
        file.SetLastWriteTime(header.fileTime);
        return true;
    }
    file.Close();
    DeleteFileA(temp.c_str());
    SayUnpackFailure(run, header, result);
    return false;
}

// A read-only file in the way loses that bit before it is replaced; a link
// is left alone (the rename replaces the link itself).
void AllowReplacing(const std::string& target)
{
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Names the checked temporary file `target` and closes it; `renamed` tells
// which name it has when the close fails.
bool PlaceFile(FileHandle& file, const std::string& temp, const std::string& target, bool overwrite, bool& renamed)
{
    renamed = file.RenameTo(target, overwrite);
    if (!file.Close()) return false;
    if (renamed) return true;
    renamed = MoveFileExA(temp.c_str(), target.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0) != FALSE;
    return renamed;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void ExtractFile(Run& run, const FileHandle& archive, const MemberHeader& header, const Placement& placement)
{
    const std::string folder = run.options.destination + FolderOf(placement.written);
    const std::string target = run.options.destination + placement.written;
    if (!run.folders.Make(folder)) return run.Say(header, "cannot make the folder " + folder, kMakeDirectory);
    const bool overwrite = run.options.overwrite;
    if (!overwrite && !run.folders.Created(folder) && Exists(target))
        return run.Say(header, "skipped, the file exists (/o replaces it)", kAlreadyExists);
    FileHandle file;
    std::string temp;
    if (!UnpackToTemporary(run, archive, header, folder, file, temp)) return;
    if (overwrite) AllowReplacing(target);
    bool renamed = false;
    if (!PlaceFile(file, temp, target, overwrite, renamed)) {
        // A failed close may have lost data: no partial file stays under either name.
        DeleteFileA(renamed ? target.c_str() : temp.c_str());
        if (!overwrite && Exists(target)) return run.Say(header, "skipped, the file exists (/o replaces it)", kAlreadyExists);
        return run.Say(header, "cannot write the file", kFileOpen);
    }
    if (header.attributes & kSettableAttributes)
        SetFileAttributesA(target.c_str(), header.attributes & kSettableAttributes);
    run.Say(header, placement.relative.removed.empty() ? "extracted" : "extracted as " + placement.written, kSuccess);
}

void ExtractFolder(Run& run, const MemberHeader& header, const Placement& placement)
{
    if (!run.options.keepFolders) return;
    if (!run.folders.Make(run.options.destination + placement.written))
        return run.Say(header, "cannot make the folder", kMakeDirectory);
    run.Say(header, "folder", kSuccess);
}

void ExtractMember(Run& run, const FileHandle& archive, const MemberHeader& header)
{
    const Placement placement = PlaceMember(run, header);
    if (header.isLink) return SkipLink(run, header, placement);
    const bool folder = IsFolderMethod(header.method);
    if (const char* refused = RefusalReason(run, placement, folder))
        return run.Say(header, std::string("refused, unsafe name (") + refused + ")", kUnsafeName);
    if (folder) return ExtractFolder(run, header, placement);
    ExtractFile(run, archive, header, placement);
}

} // namespace

std::vector<MemberHeader> ReadMembers(const FileHandle& file, uint64_t fileSize, uint64_t start, int& code)
{
    std::vector<MemberHeader> members;
    code = kSuccess;
    for (uint64_t offset = start;;) {
        MemberHeader header;
        std::string error;
        const HeaderResult result = ReadHeader(file, fileSize, offset, header, error);
        if (result == HeaderResult::End) break;
        if (result != HeaderResult::Member) {
            code = members.empty() ? kNotArchive : kBrokenHeader;
            break;
        }
        offset = header.dataOffset + header.packedSize;
        // Level 0 folders without a name (LHA for Unix writes them) lost it: nothing to make.
        if (header.path.empty() && IsFolderMethod(header.method)) continue;
        members.push_back(header);
    }
    if (members.empty() && code == kSuccess) code = kNotArchive;
    return members;
}

int ExtractMembers(const FileHandle& file, const std::vector<MemberHeader>& members, const ExtractionOptions& options,
                   ExtractionView& view)
{
    Run run(options, view);
    if (!run.folders.Make(options.destination)) {
        view.Line("cannot make the folder " + options.destination, kMakeDirectory);
        return kMakeDirectory;
    }
    uint64_t total = 0, done = 0;
    for (const MemberHeader& header : members) total += header.packedSize;
    for (const MemberHeader& header : members) {
        view.Progress(header.path, done, total);
        ExtractMember(run, file, header);
        done += header.packedSize;
    }
    view.Progress(std::string(), total, total);
    return run.code;
}

} // namespace sfx
