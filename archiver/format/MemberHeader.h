// One member of an archive as its header describes it.
#pragma once
#include <cstdint>
#include <string>

namespace lha {

struct MemberHeader {
    std::string method;          // five characters, e.g. "-lh5-" (LHARK's -lh7- reads as "-lk7-")
    uint64_t packedSize = 0;
    uint64_t originalSize = 0;
    uint16_t crc = 0;            // CRC-16 of the original bytes
    std::string path;            // backslash-separated, ANSI; a folder ends with '\'
    uint64_t fileTime = 0;       // last write, 100 ns ticks since 1601 (UTC); 0 when unknown
    uint32_t attributes = 0;     // FILE_ATTRIBUTE_* bits
    int level = 2;
    char osId = 'W';
    uint64_t headerOffset = 0;   // where the header starts in the archive
    uint64_t dataOffset = 0;     // where the packed data starts
    std::string comment;         // a file note (Amiga: after a zero byte in the name); shown by v
    bool isLink = false;         // a Unix symbolic link (-lhd- with link mode bits); never created
    std::string linkTarget;      // what the link points at, as stored
    uint16_t unixMode = 0;       // st_mode of Unix archives (OS-9 permissions translated), when hasUnixMode
    bool hasUnixMode = false;
    uint16_t unixUid = 0;        // owner of Unix archives (0x51, level 0 Unix area); not applied
    uint16_t unixGid = 0;
};

} // namespace lha
