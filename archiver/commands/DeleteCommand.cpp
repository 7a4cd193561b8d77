// d: removes the members the names select (-d: a named folder member goes
// with everything under it, as any folder name selects what it holds). The
// new archive is written beside the old one (or in the -w folder) and
// replaces it only when complete.
#include "archiver/commands/Commands.h"
#include "archiver/commands/Wildcard.h"

namespace lha {

namespace {

bool IsDeleted(const CommandLine& line, const MemberHeader& member)
{
    return IsSelected(line.AllNames(), member.path, line.precise);
}

// The progress window's total: the bytes of the members kept, copied as they are.
uint64_t KeptBytes(const std::vector<const MemberHeader*>& kept)
{
    uint64_t total = 0;
    for (const MemberHeader* member : kept) total += member->dataOffset + member->packedSize - member->headerOffset;
    return total;
}

bool WriteKept(const CommandLine& line, ArchiveReader& reader, const std::vector<const MemberHeader*>& kept,
               ArchiveWriter& writer, Report& report, std::string& error)
{
    if (!BeginNewArchive(line, writer, error)) return false;
    writer.Watch(report.Monitor());
    report.Total(KeptBytes(kept));
    for (const MemberHeader* member : kept) {
        report.Item(member->path);
        if (!writer.CopyMember(reader.File(), *member, error)) return false;
    }
    reader.Close();
    return writer.Commit(error);
}

} // namespace

int DeleteFromArchive(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    std::vector<MemberHeader> members;
    if (!OpenArchiveToChange(line.archive, reader, report)) return report.Code();
    if (!ReadMembers(reader, members, report)) return report.Fail(report.Code(), "the archive is unchanged");
    std::vector<const MemberHeader*> kept;
    uint64_t newest = 0;
    for (const MemberHeader& member : members) {
        if (IsDeleted(line, member)) continue;
        kept.push_back(&member);
        if (member.fileTime > newest) newest = member.fileTime;
    }
    if (kept.size() == members.size())
        return report.Fail(kNothingMatched, "no member matches the names given; the archive is unchanged");
    ArchiveWriter writer;
    std::string error;
    if (!WriteKept(line, reader, kept, writer, report, error)) {
        report.Out().Printf("%s\n", error.c_str());
        return report.Fail(CodeOfWriterFault(writer.Fault()), "the archive is unchanged");
    }
    if (line.archiveTime) SetArchiveFileTime(line.archive, newest);
    for (const MemberHeader& member : members)
        if (IsDeleted(line, member)) report.Out().Printf("%s: deleted\n", member.path.c_str());
    report.Out().Printf("%u deleted\n", static_cast<unsigned>(members.size() - kept.size()));
    return report.Code();
}

} // namespace lha
