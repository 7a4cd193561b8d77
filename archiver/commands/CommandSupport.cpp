#include "archiver/commands/Commands.h"

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

} // namespace lha
