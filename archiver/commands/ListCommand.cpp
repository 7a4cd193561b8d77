// l and v: one line per member (size, packed size, ratio, method, date and
// time, CRC, name; a Unix link as "name -> target") and a totals line; v adds
// the header level, OS id, Unix mode and owner, and the file note.
#include "archiver/commands/Commands.h"
#include "archiver/format/MemberTime.h"
#include "archiver/commands/Wildcard.h"

namespace lha {

namespace {

const char kRule[] = "---------- ---------- ------ ----- ------------------- ---- --------\n";

// Packed over original, in tenths of a percent.
unsigned RatioTenths(uint64_t packed, uint64_t original)
{
    if (original == 0) return 0;
    long double ratio = static_cast<long double>(packed) * 1000 / original;
    return ratio > 999999 ? 999999 : static_cast<unsigned>(ratio + 0.5L);
}

// A name or note as (part of) one line of the listing: a control byte (a zero would cut the
// caller's text, a line end would start a false line) shows as '?'. No such
// byte is ever the second byte of a double-byte character.
std::string PrintableName(std::string name)
{
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return name;
}

void PrintText(OutputArea& out, const std::string& text)
{
    const std::string printable = PrintableName(text);
    out.Put(printable.c_str(), printable.size());
}

void PrintName(OutputArea& out, const MemberHeader& header)
{
    PrintText(out, header.path);
    if (header.isLink) {
        out.Put(" -> ");
        PrintText(out, header.linkTarget);
    }
    out.Put("\n");
}

// v: what the header says beyond the listing's columns, on lines of their own.
void PrintDetails(OutputArea& out, const MemberHeader& header)
{
    const unsigned char os = static_cast<unsigned char>(header.osId);
    out.Printf(os >= 0x20 && os < 0x7F ? "           level %d, OS '%c'" : "           level %d, OS 0x%02X", header.level, os);
    if (header.hasUnixMode) out.Printf(", mode %06o", header.unixMode);
    if (header.unixUid != 0 || header.unixGid != 0) out.Printf(", uid %u, gid %u", header.unixUid, header.unixGid);
    out.Put("\n");
    if (header.comment.empty()) return;
    out.Put("           note: ");
    PrintText(out, header.comment);
    out.Put("\n");
}

void PrintRatio(OutputArea& out, uint64_t packed, uint64_t original)
{
    unsigned tenths = RatioTenths(packed, original);
    out.Printf("%4u.%u%%", tenths / 10, tenths % 10);
}

} // namespace

int ListArchive(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    if (!OpenArchive(line.archive, reader, report)) return report.Code();
    OutputArea& out = report.Out();
    out.Put("      Size     Packed  Ratio Method Date       Time     CRC  Name\n");
    out.Put(kRule);
    uint64_t totalOriginal = 0, totalPacked = 0, count = 0;
    MemberHeader header;
    std::string error;
    HeaderResult result;
    while ((result = reader.Next(header, error)) == HeaderResult::Member) {
        if (!SelectingGroup(line, header.path)) continue;
        out.Printf("%10llu %10llu ", static_cast<unsigned long long>(header.originalSize),
                   static_cast<unsigned long long>(header.packedSize));
        PrintRatio(out, header.packedSize, header.originalSize);
        out.Printf(" %-5.5s %s %04X ", header.method.c_str(), FormatLocalTime(header.fileTime).c_str(), header.crc);
        PrintName(out, header);
        if (line.command == 'v') PrintDetails(out, header);
        totalOriginal += header.originalSize;
        totalPacked += header.packedSize;
        ++count;
    }
    out.Put(kRule);
    out.Printf("%10llu %10llu ", static_cast<unsigned long long>(totalOriginal),
               static_cast<unsigned long long>(totalPacked));
    PrintRatio(out, totalPacked, totalOriginal);
    out.Printf(" %llu member%s\n", static_cast<unsigned long long>(count), count == 1 ? "" : "s");
    ReportArchiveFault(result, error, report);
    if (count == 0 && !line.AllNames().empty()) report.Fail(kNothingMatched, "no member matches the names given");
    return report.Code();
}

} // namespace lha
