// d: removes the members the names select. The new archive is written beside
// the old one and replaces it only when complete.
#include "archiver/format/ArchiveWriter.h"
#include "archiver/commands/Commands.h"
#include "archiver/commands/Wildcard.h"

namespace lha {

int DeleteFromArchive(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    std::vector<MemberHeader> members;
    if (!OpenArchiveToChange(line.archive, reader, report)) return report.Code();
    if (!ReadMembers(reader, members, report)) return report.Fail(report.Code(), "the archive is unchanged");
    std::vector<const MemberHeader*> kept;
    for (const MemberHeader& member : members)
        if (!IsSelected(line.names, member.path)) kept.push_back(&member);
    if (kept.size() == members.size()) return report.Fail(kNothingMatched, "no member matches the names given; the archive is unchanged");
    ArchiveWriter writer;
    std::string error;
    bool written = writer.Begin(line.archive, error);
    for (size_t i = 0; written && i < kept.size(); ++i) written = writer.CopyMember(reader.File(), *kept[i], error);
    reader.Close();
    if (!written || !writer.Commit(error)) {
        report.Out().Printf("%s\n", error.c_str());
        return report.Fail(kCannotWrite, "the archive is unchanged");
    }
    for (const MemberHeader& member : members)
        if (IsSelected(line.names, member.path)) report.Out().Printf("%s: deleted\n", member.path.c_str());
    report.Out().Printf("%u deleted\n", static_cast<unsigned>(members.size() - kept.size()));
    return report.Code();
}

} // namespace lha
