// The command entry's return values: 0, or one of the archiver library
// family's codes, and no other (a script compares ErrorCode with them).
// Warnings (kFirstWarning..kLastWarning) skip a member and the run goes on;
// errors end the run unless the command says the run goes on. When several
// things go wrong, the first error counts, else the first warning.
#pragma once

namespace lha {

enum ReturnCode : int {
    kSuccess = 0,
    kDiskSpace = 0x8005,          // the disk filled while a member was written
    kReadOnly = 0x8006,           // a read-only file in the way was not replaced
    kUnknownType = 0x8008,        // a member never created: a Unix symbolic link
    kUnsupportedMethod = 0x8009,  // a member's method is not supported
    kCrcError = 0x800C,           // a member's CRC or length does not match, or its data does not unpack
    kFileOpen = 0x800D,           // a file to add cannot be opened or read or its name stored; a file to extract cannot be made
    kMoreFresh = 0x800E,          // a newer file is in the way (skipped)
    kAlreadyExists = 0x8010,      // a file is in the way and was not replaced
    kMakeDirectory = 0x8012,      // a folder cannot be made
    kCannotWrite = 0x8013,        // the new archive cannot be written (the old one stays)
    kHeaderCrc = 0x8016,          // a header's checksum or CRC does not match
    kBrokenHeader = 0x8017,       // a header cannot be parsed, or data follows the end marker
    kArchiveOpen = 0x8018,        // the archive cannot be opened: missing, a folder, or locked
    kNotArchive = 0x8019,         // the file is not an archive
    kBadCommandLine = 0x801C,
    kOutOfMemory = 0x801E,
    kUserCancel = 0x8020,         // cancelled from the progress window
    kNotSupported = 0x8023,       // a command or switch of the language not built
    kTempOpen = 0x8025,           // the temporary archive cannot be made
    kArchiveReadOnly = 0x8027,    // a u f m d on a read-only archive
    kSameNameFile = 0x8028,       // two files would become the same member: the later is left out
    kResponseRead = 0x802A,       // a response file cannot be read
    kNotFileName = 0x802B,        // d without names
    kTempCopy = 0x802C,           // the archive written in the -w folder cannot be copied back
    kEndOfFile = 0x802D,          // the archive ends inside a member's data or header
    kSelfExtracting = 0x802E,     // a u f m d on a self-extracting program
    kNothingMatched = 0x8031,     // the names matched no member or no file
    kUnsafeName = 0x8041,         // a member's name is unsafe or its folder is a link: refused
};

const int kFirstWarning = kDiskSpace;
const int kLastWarning = 0x8011;

inline bool IsWarning(int code) { return code >= kFirstWarning && code <= kLastWarning; }
inline bool IsError(int code) { return code > kLastWarning; }

// The code a run returns after `sofar` when `code` happens too: the first
// error, else the first warning.
inline int Worse(int sofar, int code)
{
    if (code == kSuccess || IsError(sofar)) return sofar;
    if (IsError(code) || sofar == kSuccess) return code;
    return sofar;
}

} // namespace lha
