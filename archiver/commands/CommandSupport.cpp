#include "archiver/commands/Commands.h"
#include "archiver/commands/Wildcard.h"

#include <windows.h>

namespace lha {

namespace {

// What each fault of the archive's headers is called and returns.
struct ArchiveFault {
    HeaderResult result;
    int code;
    const char* text;
};

const ArchiveFault kArchiveFaults[] = {
    {HeaderResult::NotArchive, kNotArchive, "not an archive"},
    {HeaderResult::Broken, kBrokenHeader, "broken header"},
    {HeaderResult::HeaderCrc, kHeaderCrc, "header CRC error"},
    {HeaderResult::EndOfFile, kEndOfFile, "the archive ends early"},
    {HeaderResult::DataPastEnd, kBrokenHeader, "data past the end marker"},
};

} // namespace

int ReportArchiveFault(HeaderResult result, const std::string& error, Report& report)
{
    for (const ArchiveFault& fault : kArchiveFaults) {
        if (fault.result != result) continue;
        report.Out().Printf("%s: %s\n", fault.text, error.c_str());
        report.Raise(fault.code);
        break;
    }
    return report.Code();
}

bool OpenArchive(const std::string& path, ArchiveReader& reader, Report& report)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        report.Out().Printf("archive not found: %s\n", path.c_str());
        report.Raise(kArchiveOpen);
        return false;
    }
    if (!reader.Open(path.c_str())) {
        report.Out().Printf("cannot read the archive (error %lu): %s\n", GetLastError(), path.c_str());
        report.Raise(kArchiveOpen);
        return false;
    }
    return true;
}

bool OpenArchiveToChange(const std::string& path, ArchiveReader& reader, Report& report)
{
    if (!OpenArchive(path, reader, report)) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        report.Out().Printf("the archive is read-only; the file is unchanged: %s\n", path.c_str());
        report.Raise(kArchiveReadOnly);
        return false;
    }
    if (reader.Start() == 0) return true;
    // Writing it anew would drop the program in front of the archive.
    report.Out().Printf("self-extracting archive (its archive starts at offset %llu): only plain archives are "
                        "changed; the file is unchanged: %s\n",
                        static_cast<unsigned long long>(reader.Start()), path.c_str());
    report.Raise(kSelfExtracting);
    return false;
}

bool ReadMembers(ArchiveReader& reader, std::vector<MemberHeader>& members, Report& report)
{
    MemberHeader header;
    std::string error;
    HeaderResult result;
    while ((result = reader.Next(header, error)) == HeaderResult::Member) members.push_back(header);
    if (result == HeaderResult::End) return true;
    ReportArchiveFault(result, error, report);
    return false;
}

bool BeginNewArchive(const CommandLine& line, ArchiveWriter& writer, std::string& error)
{
    return line.useWorkFolder ? writer.BeginIn(line.archive, line.workFolder, error) : writer.Begin(line.archive, error);
}

int CodeOfWriterFault(WriterFault fault)
{
    struct FaultCode {
        WriterFault fault;
        int code;
    };
    static const FaultCode kFaultCodes[] = {
        {WriterFault::TempOpen, kTempOpen},
        {WriterFault::CopyBack, kTempCopy},
        {WriterFault::Source, kFileOpen},
        {WriterFault::Cancelled, kUserCancel},
    };
    for (const FaultCode& row : kFaultCodes)
        if (row.fault == fault) return row.code;
    return kCannotWrite;
}

void SetArchiveFileTime(const std::string& path, uint64_t ticks)
{
    if (ticks == 0) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

const char kCancelledText[] = "cancelled from the progress window: what was done before it stays";

void CountSelectedBytes(const CommandLine& line, Report& report)
{
    if (!report.Monitor()) return;
    ArchiveReader reader;
    if (!reader.Open(line.archive.c_str())) return;
    uint64_t total = 0;
    MemberHeader header;
    std::string error;
    while (reader.Next(header, error) == HeaderResult::Member)
        if (SelectingGroup(line, header.path)) total += header.packedSize;
    report.Total(total);
}

} // namespace lha
