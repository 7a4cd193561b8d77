// The command entry's return codes. When several things go wrong in one run the
// most serious wins, and the codes are numbered in that order: a larger code is
// more serious.
#pragma once

namespace lha {

enum ReturnCode : int {
    kSuccess = 0,
    kMembersSkipped = 1,    // members exist at the destination and were not overwritten
    kNothingMatched = 2,    // names or wildcards were given and matched no member or file
    kUnsafeName = 3,        // a member name that would leave the destination was refused
    kUnsupportedMethod = 4, // a member packed with a method this library does not unpack
    kCrcError = 5,          // a member's data does not match its CRC (or does not unpack)
    kBrokenArchive = 6,     // not an archive or broken header
    kFileError = 7,         // a file or folder could not be read, written or made
    kArchiveNotFound = 8,
    kOutOfMemory = 9,
    kBadCommandLine = 10,
};

// The more serious of two codes.
inline int Worse(int a, int b) { return a > b ? a : b; }

} // namespace lha
