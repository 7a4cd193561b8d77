// Support for the command tests of our UNLHA32.dll: the entry loaded from
// build/bin/archiver, a scratch folder under the temporary folder, file
// helpers, and archives written by hand from the format's definition (so the
// reader is not checked only against our own writer).
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace commandtest {

typedef std::vector<uint8_t> Bytes;
typedef int(WINAPI* CommandEntry)(HWND, LPCSTR, LPSTR, DWORD);

// archiver/README.md: the library family's return values.
enum Code {
    kSuccess = 0,
    kReadOnly = 0x8006,
    kUnknownType = 0x8008,
    kUnsupportedMethod = 0x8009,
    kCrcError = 0x800C,
    kFileOpen = 0x800D,
    kMoreFresh = 0x800E,
    kAlreadyExists = 0x8010,
    kMakeDirectory = 0x8012,
    kCannotWrite = 0x8013,
    kHeaderCrc = 0x8016,
    kBrokenHeader = 0x8017,
    kArchiveOpen = 0x8018,
    kNotArchive = 0x8019,
    kBadCommandLine = 0x801C,
    kNotSupported = 0x8023,
    kTempOpen = 0x8025,
    kArchiveReadOnly = 0x8027,
    kSameNameFile = 0x8028,
    kResponseRead = 0x802A,
    kNotFileName = 0x802B,
    kEndOfFile = 0x802D,
    kSelfExtracting = 0x802E,
    kNothingMatched = 0x8031,
    kUnsafeName = 0x8041,
};

// Loads build/bin/archiver/UNLHA32.dll (beside the test program's folder) once.
CommandEntry Entry();

struct Result {
    int code;
    std::string text;
};

// Runs `commandLine` with a 1 MiB output area.
Result Run(const std::string& commandLine);

Bytes ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
// False when the file could not be written whole.
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
void WriteFileText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// Sets the last write time, in seconds since 1970.
void SetWriteTime(const std::string& path, uint32_t unixSeconds);
// Every file and folder below `folder`, as relative paths (folders end in '\').
std::set<std::string> Tree(const std::string& folder);
// Removes a folder and everything in it.
void RemoveTree(const std::string& folder);

// A fresh, empty folder under the temporary folder; ends with a backslash.
std::string MakeScratch(const std::string& tag);

// ---- hand-built archives ----

uint16_t Crc16(const uint8_t* data, size_t size);

// The time stamp of every hand-built level 2 and 3 member (2001-02-03 10:00:00 UTC).
const uint32_t kHandUnixTime = 981194400;

struct HandMember {
    std::string path;          // backslashes; a folder ends with '\'
    std::string data;
    int level = 2;
    std::string method = "-lh0-";
    int crcDelta = 0;          // added to the true CRC (a bad one when not 0)
    int headerCheckDelta = 0;  // added to the header checksum (levels 0, 1) or header CRC (levels 2, 3)
    // Levels 2 and 3: when set, `path` is the name field as it stands (a
    // backslash in it included) and this the folder field (backslashes stored
    // as 0xFF; empty: no folder field), rather than `path` split in two.
    std::optional<std::string> storedFolder;
    char osId = 'W';                   // levels 2 and 3
    std::optional<uint16_t> unixMode;  // levels 2 and 3: a Unix mode header (0x50) with this st_mode
};

// One member: header and stored data.
Bytes HandMemberBytes(const HandMember& member);
// The members and the end marker.
Bytes HandArchive(const std::vector<HandMember>& members);

} // namespace commandtest
