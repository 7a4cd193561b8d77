// a (add, replacing members of the same name), u (add files not in the
// archive or newer than their member), f (replace only members whose file is
// newer; add nothing) and the adding half of m (as u). Names are taken in the
// base folder of their group; -x1 stores their folder part, -r1 searches
// below, -r2 and -d take named folders whole. The new archive is written
// beside the old one (or in the -w folder) and replaces it only when
// complete: any failure leaves the archive as it was.
#include "archiver/commands/Commands.h"
#include "archiver/commands/Wildcard.h"
#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberData.h"
#include "archiver/format/MemberName.h"
#include "archiver/format/MemberTime.h"
#include "archiver/format/PackingPipeline.h"

#include <windows.h>

#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace lha {

namespace {

// Which files each adding command takes.
struct AddRule {
    char command;
    bool takesMissing;   // a file with no member of its name
    bool onlyNewer;      // a file with a member only when newer than it (unless -c)
    bool needsArchive;   // a missing archive is an error rather than made
};

const AddRule kAddRules[] = {
    {'a', true, false, false},
    {'u', true, true, false},
    {'m', true, true, false},
    {'f', false, true, true},
};

const AddRule& RuleOf(char command)
{
    for (const AddRule& rule : kAddRules)
        if (rule.command == command) return rule;
    return kAddRules[0];
}

// Extensions of files packed already: -z2 stores them as they are.
const char* const kPackedKinds[] = {"LZH", "LHA", "LZS", "ZIP", "ARC", "PAK", "ZOO", "CAB", "RAR", "7Z",
                                    "GZ", "TGZ", "BZ2", "XZ", "ZST", "JPG", "JPEG", "PNG", "GIF", "MP3",
                                    "MP4", "M4A", "OGG", "WEBP", "DOCX", "XLSX", "PPTX"};

const DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const char kStoredSeparatorByte = static_cast<char>(0xFF);

struct Candidate {
    std::string diskPath;
    std::string member;   // a folder's ends with '\'
    bool folder;
    FileStamp stamp;      // the file as it was found (m removes it only unchanged)
};

struct Collection {
    const CommandLine& line;
    Report& report;
    std::string archiveFullPath;
    std::vector<Candidate> candidates;
    std::unordered_map<std::string, std::string> takenBy;  // NameKey of a member -> NameKey of its file's full path
    bool refused = false;  // a name the run may not take: nothing is written
};

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

std::string Joined(const std::vector<std::string>& components, size_t count)
{
    std::string path;
    for (size_t i = 0; i < count; ++i) path += components[i] + "\\";
    return path;
}

// A name as given, taken apart: where it is on the disk and which folders of
// it a member may carry. '.' and '..' are resolved by their text, as Windows
// resolves them.
struct GivenName {
    std::string diskFolder;               // where the pattern is looked up; ends with '\' or is empty
    std::string pattern;                  // the last component
    std::vector<std::string> components;  // resolved, drive and leading separators removed
    bool above = false;                   // a '..' went above the base folder
};

bool IsDots(const std::string& component) { return component == "." || component == ".."; }

GivenName TakeApart(const std::string& base, const std::string& name)
{
    GivenName given;
    const RelativeName relative = StripLeadingParts(name);
    const std::vector<std::string> raw = PathComponents(relative.path);
    for (const std::string& component : raw) {
        if (component == ".") continue;
        if (component != "..") {
            given.components.push_back(component);
        } else if (given.components.empty()) {
            given.above = true;
        } else {
            given.components.pop_back();
        }
    }
    const std::string root = relative.removed.empty() ? base : relative.removed;
    if (given.components.empty()) return given;
    given.pattern = given.components.back();
    // Above the base the text is kept as given, for Windows to resolve.
    if (given.above && !IsDots(raw.back()))
        given.diskFolder = root + FolderPart(relative.path);
    else
        given.diskFolder = root + Joined(given.components, given.components.size() - 1);
    return given;
}

bool StoresFolderPart(const CommandLine& line) { return line.keepFolders || line.folderMembers; }
bool TakesFoldersWhole(const CommandLine& line) { return line.recursion == 2 || line.folderMembers; }

// Why a name may not be taken at all, or null: one that names the base folder
// or a folder above it, or whose '..' leads above the base folder where the
// member would carry its folders or a folder would be searched (m would
// remove what lies there).
const char* RefusalOf(const CommandLine& line, const GivenName& given)
{
    if (given.components.empty()) return "it names the base folder or a folder above it";
    if (given.above && (StoresFolderPart(line) || line.recursion != 0 || line.folderMembers))
        return "its '..' leads above the base folder";
    return nullptr;
}

std::string ExtensionOf(const std::string& path)
{
    const std::string name = LastComponent(path);
    const size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : extension) c = AsciiUpper(c);
    return extension;
}

// -z1 stores every file, -z2 those of packed kinds and of the -z<ext> patterns.
bool IsStored(const CommandLine& line, const std::string& path)
{
    if (line.store == 1) return true;
    if (line.store != 2) return false;
    const std::string extension = ExtensionOf(path);
    for (const std::string& pattern : line.storeExtensions)
        if (pattern.empty() ? extension.empty() : MatchesPattern(pattern, extension)) return true;
    if (!line.storeExtensions.empty()) return false;
    for (const char* kind : kPackedKinds)
        if (extension == kind) return true;
    return false;
}

// The folder part of a member: the format stores it with 0xFF separators, so
// a 0xFF of a name's own would come back as a separator.
bool HoldsSeparatorByte(const std::string& member)
{
    const std::string folder = FolderPart(member);
    for (size_t at = 0; at < folder.size(); at += CharLength(folder.data(), folder.size(), at))
        if (IsSingle(folder, at, kStoredSeparatorByte)) return true;
    return false;
}

void Collect(Collection& collection, const std::string& diskPath, const std::string& relative, bool folder)
{
    Report& report = collection.report;
    std::string member = collection.line.storedFolder + relative;
    if (folder) member += '\\';
    const std::string full = FullPath(diskPath);
    if (!folder && SameName(full, collection.archiveFullPath)) return;
    if (HoldsSeparatorByte(member)) {
        report.Out().Printf("%s: left out, its name holds the byte 0xFF, which the archive reads as a folder "
                            "separator\n", diskPath.c_str());
        report.Raise(kFileOpen);
        return;
    }
    const auto taken = collection.takenBy.emplace(NameKey(member), NameKey(full));
    if (!taken.second) {
        // One file reached under two names goes in once; two files are said.
        if (taken.first->second == NameKey(full)) return;
        report.Out().Printf("%s: left out, another file given is the member %s\n", diskPath.c_str(), member.c_str());
        report.Raise(kSameNameFile);
        return;
    }
    FileStamp stamp;
    if (!folder) stamp = StampOf(diskPath);
    collection.candidates.push_back(Candidate{diskPath, member, folder, stamp});
}

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// A found entry the run takes: -a0 leaves out hidden and system files, and a
// link to a folder is never followed (it could lead back up the tree).
bool IsTaken(const CommandLine& line, const WIN32_FIND_DATAA& found, bool isFolder)
{
    if (IsDotEntry(found.cFileName)) return false;
    if (isFolder) return !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return line.attributes != 0 || !(found.dwFileAttributes & kHiddenOrSystem);
}

// Calls `take(name, isFolder)` for each entry of `folder` matching `pattern`;
// returns how many were taken.
template <typename Take>
unsigned ForEachMatch(const CommandLine& line, const std::string& folder, const std::string& pattern, Take take)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    unsigned count = 0;
    do {
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (IsTaken(line, found, isFolder) && take(std::string(found.cFileName), isFolder)) ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// A folder with everything below it; its members are `member` + their path below it.
void TakeWhole(Collection& collection, const std::string& diskFolder, const std::string& member)
{
    if (collection.line.folderMembers) Collect(collection, diskFolder, member, true);
    ForEachMatch(collection.line, diskFolder + "\\", "*", [&](const std::string& name, bool isFolder) {
        if (isFolder)
            TakeWhole(collection, diskFolder + "\\" + name, member + "\\" + name);
        else
            Collect(collection, diskFolder + "\\" + name, member + "\\" + name, false);
        return true;
    });
}

// -r1: the pattern in `diskFolder` and every folder below; found files keep
// their path below the folder where the search started.
unsigned SearchBelow(Collection& collection, const std::string& diskFolder, const std::string& pattern,
                     const std::string& prefix)
{
    unsigned count = ForEachMatch(collection.line, diskFolder, pattern, [&](const std::string& name, bool isFolder) {
        if (isFolder) return false;
        Collect(collection, diskFolder + name, prefix + name, false);
        return true;
    });
    ForEachMatch(collection.line, diskFolder, "*", [&](const std::string& name, bool isFolder) {
        if (!isFolder) return false;
        if (collection.line.folderMembers) Collect(collection, diskFolder + name, prefix + name, true);
        count += SearchBelow(collection, diskFolder + name + "\\", pattern, prefix + name + "\\");
        return true;
    });
    return count;
}

// -r0 and -r2: the pattern in its own folder; folders only when taken whole.
unsigned SearchHere(Collection& collection, const GivenName& given, const std::string& prefix)
{
    const CommandLine& line = collection.line;
    return ForEachMatch(line, given.diskFolder, given.pattern, [&](const std::string& name, bool isFolder) {
        if (!isFolder) {
            Collect(collection, given.diskFolder + name, prefix + name, false);
            return true;
        }
        if (!TakesFoldersWhole(line)) return false;
        TakeWhole(collection, given.diskFolder + name, prefix + name);
        return true;
    });
}

// Takes the files (and folders) one name selects; reports a name that
// selects nothing and refuses one that may not be taken.
void CollectName(Collection& collection, const std::string& base, const std::string& name)
{
    const CommandLine& line = collection.line;
    Report& report = collection.report;
    const GivenName given = TakeApart(base, name);
    if (const char* refusal = RefusalOf(line, given)) {
        report.Out().Printf("%s: refused, %s\n", name.c_str(), refusal);
        report.Raise(kBadCommandLine);
        collection.refused = true;
        return;
    }
    const std::string prefix = StoresFolderPart(line) ? Joined(given.components, given.components.size() - 1) : "";
    const unsigned found = line.recursion == 1 ? SearchBelow(collection, given.diskFolder, given.pattern, prefix)
                                               : SearchHere(collection, given, prefix);
    if (found != 0) return;
    const DWORD attributes = GetFileAttributesA((given.diskFolder + given.pattern).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !HasWildcard(name))
        report.Out().Printf("%s: a folder (-r2 takes it whole; -d stores its folders too)\n", name.c_str());
    else
        report.Out().Printf("%s: no file matches\n", name.c_str());
    report.Raise(kNothingMatched);
}

// The archive's members by NameKey: adding many files to a large archive stays
// linear instead of comparing every file with every member.
using MemberIndex = std::unordered_map<std::string, const MemberHeader*>;

MemberIndex IndexMembers(const std::vector<MemberHeader>& members)
{
    MemberIndex index;
    for (const MemberHeader& member : members) index.emplace(NameKey(member.path), &member);
    return index;
}

const MemberHeader* FindMember(const MemberIndex& members, const std::string& name)
{
    auto found = members.find(NameKey(name));
    return found == members.end() ? nullptr : found->second;
}

// f without names: every member that has a file in the group's folder.
void CollectMembersWithFiles(Collection& collection, const std::string& base, const std::vector<MemberHeader>& members)
{
    for (const MemberHeader& member : members) {
        if (IsFolderMethod(member.method) || member.isLink || UnsafeNameReason(member.path)) continue;
        const std::string diskPath = base + member.path;
        const DWORD attributes = GetFileAttributesA(diskPath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        collection.candidates.push_back(Candidate{diskPath, member.path, false, StampOf(diskPath)});
    }
}

// u, m and f: a file is newer than its member by whole seconds (level 0 and 1
// headers keep two-second steps).
bool IsNewer(const Candidate& candidate, const MemberHeader& member)
{
    if (candidate.folder) return false;
    uint32_t slack = member.level < 2 ? 1 : 0;
    return UnixTimeFromTicks(candidate.stamp.lastWrite) > UnixTimeFromTicks(member.fileTime) + slack;
}

// u, m and f: drops the files their rule does not take.
void KeepByRule(const CommandLine& line, const AddRule& rule, std::vector<Candidate>& candidates,
                const MemberIndex& members, Report& report)
{
    std::vector<Candidate> taken;
    for (const Candidate& candidate : candidates) {
        const MemberHeader* member = FindMember(members, candidate.member);
        if (!member && !rule.takesMissing) {
            if (!line.quietSkipped) report.Out().Printf("%s: not in the archive, not added\n", candidate.member.c_str());
        } else if (!member || !rule.onlyNewer || line.ignoreTime || IsNewer(candidate, *member)) {
            taken.push_back(candidate);
        } else if (!line.quietSkipped) {
            report.Out().Printf("%s: up to date\n", candidate.member.c_str());
        }
    }
    candidates.swap(taken);
}

// The progress window's total: the bytes of the members kept (copied as they
// are) and of the files packed, as they were found.
uint64_t BytesToWrite(const std::vector<MemberHeader>& members, const std::unordered_set<std::string>& replaced,
                      const std::vector<Candidate>& candidates)
{
    uint64_t total = 0;
    for (const MemberHeader& member : members)
        if (!replaced.count(NameKey(member.path))) total += member.dataOffset + member.packedSize - member.headerOffset;
    for (const Candidate& candidate : candidates) total += candidate.stamp.size;
    return total;
}

// Writes the kept members and the candidates; a file that cannot be read is
// left out (said, kFileOpen) and dropped from `candidates`. False with the
// writer's fault when the archive cannot be written.
bool WriteArchive(const CommandLine& line, ArchiveReader& reader, const std::vector<MemberHeader>& members,
                  std::vector<Candidate>& candidates, Report& report, WriterFault& fault, std::string& error)
{
    const PackingMethod* method = FindPackingMethod(line.method);
    if (!method) {
        error = "cannot pack with " + line.method;
        return false;
    }
    std::unordered_set<std::string> replaced;
    for (const Candidate& candidate : candidates) replaced.insert(NameKey(candidate.member));
    ArchiveWriter writer;
    if (!BeginNewArchive(line, writer, error)) return fault = writer.Fault(), false;
    writer.SetHeaderLevel(line.headerLevel);
    writer.Watch(report.Monitor());
    // Workers pack the files while the old members are copied; the writer
    // takes them in order.
    std::vector<std::string> files;
    std::vector<const PackingMethod*> methods;
    for (const Candidate& candidate : candidates) {
        if (candidate.folder) continue;
        files.push_back(candidate.diskPath);
        methods.push_back(IsStored(line, candidate.diskPath) ? &StoredPackingMethod() : method);
    }
    report.Total(BytesToWrite(members, replaced, candidates));
    PackingPipeline pipeline(files, methods, PackingPipeline::WorkerCount(), report.Monitor());
    for (const MemberHeader& member : members) {
        if (replaced.count(NameKey(member.path))) continue;
        report.Item(member.path);
        if (!writer.CopyMember(reader.File(), member, error)) return fault = writer.Fault(), false;
    }
    std::vector<Candidate> written;
    size_t fileIndex = 0;
    for (const Candidate& candidate : candidates) {
        report.Item(candidate.member);
        const bool added = candidate.folder
                               ? writer.AddFolder(candidate.diskPath, candidate.member, error)
                               : writer.AddPacked(pipeline.Next(), candidate.member, *methods[fileIndex++], error);
        if (added) {
            written.push_back(candidate);
            continue;
        }
        if (writer.Fault() != WriterFault::Source) return fault = writer.Fault(), false;
        report.Out().Printf("%s: left out (%s)\n", candidate.diskPath.c_str(), error.c_str());
        report.Raise(kFileOpen);
        if (report.Stopping()) return fault = WriterFault::Source, false;
    }
    reader.Close();
    if (!writer.Commit(error)) return fault = writer.Fault(), false;
    candidates.swap(written);
    // -h0, -h1: a member that level cannot hold went out at level 2.
    for (const std::string& name : writer.FellBackToLevel2())
        report.Out().Printf("%s: written with a level 2 header (level %d cannot hold it)\n", name.c_str(),
                            line.headerLevel);
    return true;
}

// -t: the archive gets the time of its newest member.
void SetArchiveTime(const CommandLine& line, const std::vector<MemberHeader>& members,
                    const std::vector<Candidate>& candidates)
{
    uint64_t newest = 0;
    for (const MemberHeader& member : members)
        if (member.fileTime > newest) newest = member.fileTime;
    for (const Candidate& candidate : candidates)
        if (candidate.stamp.lastWrite > newest) newest = candidate.stamp.lastWrite;
    SetArchiveFileTime(line.archive, newest);
}

} // namespace

int AddFiles(const CommandLine& line, Report& report, AddedSources& added)
{
    const AddRule& rule = RuleOf(line.command);
    ArchiveReader reader;
    std::vector<MemberHeader> members;
    bool exists = rule.needsArchive || GetFileAttributesA(line.archive.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && (!OpenArchiveToChange(line.archive, reader, report) || !ReadMembers(reader, members, report)))
        return report.Fail(report.Code(), "the archive is unchanged");
    Collection collection{line, report, FullPath(line.archive), {}, {}, false};
    for (const NameGroup& group : line.groups) {
        if (group.names.empty() && line.command == 'f') {
            CollectMembersWithFiles(collection, group.folder, members);
            continue;
        }
        if (group.names.empty()) CollectName(collection, group.folder, "*");
        for (const std::string& name : group.names) CollectName(collection, group.folder, name);
    }
    if (collection.refused || report.Stopping()) return report.Fail(report.Code(), "the archive is unchanged");
    const MemberIndex index = IndexMembers(members);
    KeepByRule(line, rule, collection.candidates, index, report);
    if (collection.candidates.empty()) {
        report.Out().Put("nothing to add; the archive is unchanged\n");
        return report.Code();
    }
    std::string error;
    WriterFault fault = WriterFault::None;
    if (!WriteArchive(line, reader, members, collection.candidates, report, fault, error)) {
        if (fault != WriterFault::Source) report.Out().Printf("%s\n", error.c_str());
        return report.Fail(CodeOfWriterFault(fault), "the archive is unchanged");
    }
    if (line.archiveTime) SetArchiveTime(line, members, collection.candidates);
    for (const Candidate& candidate : collection.candidates) {
        report.Out().Printf("%s: %s\n", candidate.member.c_str(), FindMember(index, candidate.member) ? "replaced" : "added");
        if (candidate.folder)
            added.folders.push_back(candidate.diskPath);
        else
            added.files.push_back({candidate.diskPath, candidate.stamp});
    }
    report.Out().Printf("%u added\n", static_cast<unsigned>(collection.candidates.size()));
    return report.Code();
}

int AddToArchive(const CommandLine& line, Report& report)
{
    if (line.sfxKind >= 0) return MakeSelfExtracting(line, report);
    AddedSources added;
    return AddFiles(line, report, added);
}

} // namespace lha
