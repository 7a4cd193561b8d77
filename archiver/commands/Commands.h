// The commands of the entry. Each writes its text into the report and returns
// the most serious code it raised.
#pragma once
#include "archiver/format/ArchiveReader.h"
#include "archiver/format/ArchiveWriter.h"
#include "archiver/commands/CommandLine.h"
#include "archiver/commands/Report.h"

#include <vector>

namespace lha {

int ListArchive(const CommandLine& line, Report& report);      // l, v
int ExtractArchive(const CommandLine& line, Report& report);   // x, e, t
int PrintMembers(const CommandLine& line, Report& report);     // p
int AddToArchive(const CommandLine& line, Report& report);     // a, u, f
int MoveToArchive(const CommandLine& line, Report& report);    // m
int DeleteFromArchive(const CommandLine& line, Report& report); // d
int MakeSelfExtracting(const CommandLine& line, Report& report); // s, and a u f m with -gw<n>

// A file's size and last write time, to tell whether it changed since.
struct FileStamp {
    bool known = false;
    uint64_t size = 0;
    uint64_t lastWrite = 0;  // FILETIME ticks

    bool operator==(const FileStamp& other) const
    {
        return known && other.known && size == other.size && lastWrite == other.lastWrite;
    }
};
FileStamp StampOf(const std::string& path);

// The sources an add put in the archive (filled only once the new archive
// has replaced the old one): the files, as they were found, and the folders.
struct AddedSource {
    std::string path;
    FileStamp stamp;
};
struct AddedSources {
    std::vector<AddedSource> files;
    std::vector<std::string> folders;
};

// a, u, f and m's adding: the files the command's rule takes go in; `added`
// says which, when the archive was written.
int AddFiles(const CommandLine& line, Report& report, AddedSources& added);

// m's second half: removes the files `added` holds, when they are as they
// were found, then its folders that the move left empty, deepest first.
void RemoveMovedSources(const AddedSources& added, Report& report);

// Opens the archive named on the command line; on failure reports "archive not
// found" or a file error and returns false.
bool OpenArchive(const std::string& path, ArchiveReader& reader, Report& report);

// As OpenArchive, for the commands that change an archive: a read-only one
// is refused (kArchiveReadOnly), and so is a self-extracting one
// (kSelfExtracting), since writing it anew would drop its program; the file
// is unchanged either way.
bool OpenArchiveToChange(const std::string& path, ArchiveReader& reader, Report& report);

// Says a fault ArchiveReader::Next met (`error` is its text) and raises its
// code: kNotArchive, kBrokenHeader (a header that does not parse, or data past
// the end marker), kHeaderCrc or kEndOfFile. Member and End say nothing.
// Returns the code reached so far.
int ReportArchiveFault(HeaderResult result, const std::string& error, Report& report);

// Reads every header of an opened archive; a fault is reported
// (ReportArchiveFault) and gives false: a, u, f, m and d then leave the
// archive as it is, since writing it anew would drop what follows the fault.
bool ReadMembers(ArchiveReader& reader, std::vector<MemberHeader>& members, Report& report);

// Begins the new archive beside the old one, or in the -w folder.
bool BeginNewArchive(const CommandLine& line, ArchiveWriter& writer, std::string& error);

// The code that says which step of writing a new archive failed.
int CodeOfWriterFault(WriterFault fault);

// -t: gives the archive file the last write time `ticks` (FILETIME; 0 leaves it).
void SetArchiveFileTime(const std::string& path, uint64_t ticks);

// x, e, t and p with a progress window: its total is the packed bytes of the
// members the name groups select, from a pass over the headers of its own
// (nothing is read without a window; a fault there is left to the run itself).
void CountSelectedBytes(const CommandLine& line, Report& report);

// What a run stopped by the progress window's Cancel says last.
extern const char kCancelledText[];

} // namespace lha
