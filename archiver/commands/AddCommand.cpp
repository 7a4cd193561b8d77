// a (add, replacing members of the same name), u (add only files newer than
// their member, or not in the archive), f (replace only members whose file is
// newer; add nothing) and the adding half of m. The new archive is written
// beside the old one and replaces it only when complete: any failure leaves
// the archive as it was.
#include "archiver/files/AnsiText.h"
#include "archiver/format/ArchiveWriter.h"
#include "archiver/commands/Commands.h"
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
    bool onlyNewer;      // a file with a member only when newer than it
    bool needsArchive;   // a missing archive is an error rather than made
};

const AddRule kAddRules[] = {
    {'a', true, false, false},
    {'m', true, false, false},
    {'u', true, true, false},
    {'f', false, true, true},
};

const AddRule& RuleOf(char command)
{
    for (const AddRule& rule : kAddRules)
        if (rule.command == command) return rule;
    return kAddRules[0];
}

struct Candidate {
    std::string diskPath;
    std::string member;   // a folder's ends with '\'
    bool folder;
    FileStamp stamp;      // m: the file as it was found
};

struct Collection {
    const CommandLine& line;
    std::string archiveFullPath;
    std::vector<Candidate> candidates;
    std::unordered_set<std::string> memberKeys;   // NameKey of each candidate's member
};

// The archive's members by NameKey: adding many files to a large archive stays
// linear instead of comparing every file with every member.
using MemberIndex = std::unordered_map<std::string, const MemberHeader*>;

MemberIndex IndexMembers(const std::vector<MemberHeader>& members)
{
    MemberIndex index;
    for (const MemberHeader& member : members) index.emplace(NameKey(member.path), &member);
    return index;
}

bool HasWildcard(const std::string& name)
{
    for (size_t at = 0; at < name.size(); at += CharLength(name.data(), name.size(), at))
        if (IsSingle(name, at, '*') || IsSingle(name, at, '?')) return true;
    return false;
}

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

void Collect(Collection& collection, const std::string& diskPath, const std::string& relative, bool folder)
{
    std::string member = MemberNameForPath(relative);
    if (member.empty()) return;
    if (folder) member += '\\';
    if (!folder && SameName(FullPath(diskPath), collection.archiveFullPath)) return;
    if (!collection.memberKeys.insert(NameKey(member)).second) return;
    FileStamp stamp;
    if (!folder && collection.line.command == 'm') stamp = StampOf(diskPath);
    collection.candidates.push_back(Candidate{diskPath, member, folder, stamp});
}

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

void CollectFolder(Collection& collection, const std::string& relative);

// Files (and with -r folders) matching the wildcard `relative`; returns how many.
unsigned CollectMatches(Collection& collection, const std::string& relative)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((collection.line.folder + relative).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    std::string prefix = FolderPart(relative);
    unsigned count = 0;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        std::string entry = prefix + found.cFileName;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && !collection.line.recurse) continue;
        // A link to a folder could lead back up the tree: not followed.
        if (isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        if (isFolder)
            CollectFolder(collection, entry);
        else
            Collect(collection, collection.line.folder + entry, entry, false);
        ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

void CollectFolder(Collection& collection, const std::string& relative)
{
    Collect(collection, collection.line.folder + relative, relative, true);
    if (collection.line.recurse) CollectMatches(collection, relative + "\\*");
}

// False (reported) when a name given is neither a file, a folder nor a wildcard that matches.
bool CollectName(Collection& collection, const std::string& name, Report& report)
{
    if (HasWildcard(name)) {
        if (CollectMatches(collection, name) == 0) {
            report.Out().Printf("%s: no file matches\n", name.c_str());
            report.Raise(kNothingMatched);
        }
        return true;
    }
    std::string relative = EndsWithChar(name, '\\') ? name.substr(0, name.size() - 1) : name;
    DWORD attributes = GetFileAttributesA((collection.line.folder + relative).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        report.Out().Printf("%s: cannot find the file (error %lu)\n", name.c_str(), GetLastError());
        report.Raise(kNothingMatched);
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        CollectFolder(collection, relative);
    else
        Collect(collection, collection.line.folder + relative, relative, false);
    return true;
}

uint64_t LastWriteTicks(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

const MemberHeader* FindMember(const MemberIndex& members, const std::string& name)
{
    auto found = members.find(NameKey(name));
    return found == members.end() ? nullptr : found->second;
}

// u: a file is taken when it is not in the archive or is newer than its
// member, by whole seconds (level 0 and 1 headers keep two-second steps).
bool IsNewer(const Candidate& candidate, const MemberHeader& member)
{
    if (candidate.folder) return false;
    uint32_t slack = member.level < 2 ? 1 : 0;
    return UnixTimeFromTicks(LastWriteTicks(candidate.diskPath)) > UnixTimeFromTicks(member.fileTime) + slack;
}

// u and f: drops the files their rule does not take.
void KeepByRule(const AddRule& rule, std::vector<Candidate>& candidates, const MemberIndex& members, Report& report)
{
    std::vector<Candidate> taken;
    for (const Candidate& candidate : candidates) {
        const MemberHeader* member = FindMember(members, candidate.member);
        if (!member && !rule.takesMissing)
            report.Out().Printf("%s: not in the archive, not added\n", candidate.member.c_str());
        else if (!member || IsNewer(candidate, *member))
            taken.push_back(candidate);
        else
            report.Out().Printf("%s: up to date\n", candidate.member.c_str());
    }
    candidates.swap(taken);
}

bool WriteArchive(const CommandLine& line, ArchiveReader& reader, const std::vector<MemberHeader>& members,
                  const std::vector<Candidate>& candidates, std::string& error)
{
    const PackingMethod* method = FindPackingMethod(line.method);
    if (!method) {
        error = "cannot pack with " + line.method;
        return false;
    }
    std::unordered_set<std::string> replaced;
    for (const Candidate& candidate : candidates) replaced.insert(NameKey(candidate.member));
    ArchiveWriter writer;
    if (!writer.Begin(line.archive, error)) return false;
    // Workers pack the files while the old members are copied; the writer
    // takes them in order.
    std::vector<std::string> files;
    for (const Candidate& candidate : candidates)
        if (!candidate.folder) files.push_back(candidate.diskPath);
    PackingPipeline pipeline(files, *method, PackingPipeline::WorkerCount());
    for (const MemberHeader& member : members)
        if (!replaced.count(NameKey(member.path)) && !writer.CopyMember(reader.File(), member, error)) return false;
    for (const Candidate& candidate : candidates) {
        bool added = candidate.folder ? writer.AddFolder(candidate.diskPath, candidate.member, error)
                                      : writer.AddPacked(pipeline.Next(), candidate.member, *method, error);
        if (!added) return false;
    }
    reader.Close();
    return writer.Commit(error);
}

} // namespace

int AddFiles(const CommandLine& line, Report& report, AddedSources& added)
{
    const AddRule& rule = RuleOf(line.command);
    Collection collection{line, FullPath(line.archive), {}, {}};
    for (const std::string& name : line.names)
        if (!CollectName(collection, name, report)) return report.Fail(kCannotWrite, "the archive is unchanged");
    ArchiveReader reader;
    std::vector<MemberHeader> members;
    bool exists = rule.needsArchive || GetFileAttributesA(line.archive.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && (!OpenArchiveToChange(line.archive, reader, report) || !ReadMembers(reader, members, report)))
        return report.Fail(report.Code(), "the archive is unchanged");
    const MemberIndex index = IndexMembers(members);
    if (rule.onlyNewer) KeepByRule(rule, collection.candidates, index, report);
    if (collection.candidates.empty()) {
        report.Out().Put("nothing to add; the archive is unchanged\n");
        return report.Code();
    }
    std::string error;
    if (!WriteArchive(line, reader, members, collection.candidates, error)) {
        report.Out().Printf("%s\n", error.c_str());
        return report.Fail(kCannotWrite, "the archive is unchanged");
    }
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
    AddedSources added;
    return AddFiles(line, report, added);
}

} // namespace lha
