// Reads member headers of levels 0, 1, 2 and 3 and writes those of levels 0, 1 and 2.
// Every size and offset is checked against the bytes the file really has, so
// a damaged header ends in an error, never a read past the end, a loop or an
// allocation sized by the archive's word alone (a header buffer is at most
// kMaxHeaderSize bytes).
#pragma once
#include "archiver/files/FileHandle.h"
#include "archiver/format/MemberHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lha {

const size_t kMaxHeaderSize = 1 << 20;

// What reading at a header's place found. Every fault comes with `error`
// saying what is wrong; the commands turn each kind into its return code.
enum class HeaderResult {
    Member,       // `header` describes the member at the offset
    End,          // the end marker (a zero byte) or the end of the file
    Broken,       // a header that cannot be parsed
    HeaderCrc,    // a header whose checksum (levels 0, 1) or CRC (levels 2, 3) does not match
    EndOfFile,    // the file ends inside a header or inside a member's data
    NotArchive,   // ArchiveReader only: no member header where the first must be
    DataPastEnd,  // ArchiveReader only: bytes other than zero and 0x1A padding follow the end marker
};

// The header at `offset` of an archive `fileSize` bytes long. End says only
// that a zero byte (or nothing) is there: what follows it is the caller's to
// judge. Bytes without a method mark are Broken; with one, a header cut by
// the end of the file is EndOfFile.
HeaderResult ReadHeader(const FileHandle& file, uint64_t fileSize, uint64_t offset, MemberHeader& header,
                        std::string& error);

// Appends the level 2 header of `header` (method, sizes, CRC, path, time,
// attributes) to `out`, with its header CRC. An original size of 4 GiB or more
// adds the 64-bit sizes extension; whether it is there depends on that size
// alone, so a header written before packing is as long as the one written
// after. False with `error` when the packed size is larger than 4 GiB for a
// smaller file, or the name does not fit a level 2 header.
bool WriteLevel2Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error);

// Appends the level 0 header of `header`: method, sizes, the time as a local
// MS-DOS time, the attribute byte, the path in the name field (backslashes
// between folders) and the data CRC, with the checksum; no OS id and no
// extended area. False with `error` when the member does not fit (a path of
// more than 233 bytes, sizes of 4 GiB or more).
bool WriteLevel0Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error);

// Appends the level 1 header of `header`: the level 0 fields but the
// attribute byte (0x20; the attributes go in their extension, 0x40), the OS
// id, and the extensions. A plain ASCII name without a folder is in the name
// field; any other path (a folder, double-byte characters, over 230 bytes) is
// in the name (0x01) and folder (0x02) extensions as at level 2, the name
// field empty. Then the attributes (0x40) and, when the time is known, the
// Windows times (0x41). The packed size field counts the extensions' bytes,
// as the level requires. False with `error` when that sum or the original
// size does not fit 32 bits.
bool WriteLevel1Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error);

// Appends the header of `header` at `level` (0, 1 or 2), or at level 2 when
// that level cannot hold the member: at level 0 a path of more than 233
// bytes, at level 0 or 1 an original size of 4 GiB or more (level 1: with its
// extensions' bytes). The choice goes by the path and original size alone, so
// the header written before packing is as long as the one written after.
// `writtenLevel` says which level went out. False with `error` for another
// level or when the chosen writer fails.
bool WriteHeaderAtLevel(int level, const MemberHeader& header, std::vector<uint8_t>& out, int& writtenLevel,
                        std::string& error);

} // namespace lha
