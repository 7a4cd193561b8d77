// The commands of the entry. Each writes its text into the report and returns
// the most serious code it raised.
#pragma once
#include "archiver/format/ArchiveReader.h"
#include "archiver/commands/CommandLine.h"
#include "archiver/commands/Report.h"

#include <vector>

namespace lha {

int ListArchive(const CommandLine& line, Report& report);      // l, v
int ExtractArchive(const CommandLine& line, Report& report);   // x, e, t
int AddToArchive(const CommandLine& line, Report& report);     // a, u
int DeleteFromArchive(const CommandLine& line, Report& report); // d

// Opens the archive named on the command line; on failure reports "archive not
// found" or a file error and returns false.
bool OpenArchive(const std::string& path, ArchiveReader& reader, Report& report);

// Reads every header of an opened archive; a broken one is reported
// (kBrokenArchive) and gives false.
bool ReadMembers(ArchiveReader& reader, std::vector<MemberHeader>& members, Report& report);

} // namespace lha
