#include "archiver/format/HeaderCodec.h"

#include "archiver/codec/Crc16.h"
#include "archiver/codec/MethodTable.h"
#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberName.h"
#include "archiver/format/MemberTime.h"

#include <cstring>

namespace lha {

namespace {

// Offsets shared by all header levels.
const size_t kMethodOffset = 2;
const size_t kMethodLength = 5;
const size_t kPackedOffset = 7;
const size_t kOriginalOffset = 11;
const size_t kTimeOffset = 15;
const size_t kAttributeOffset = 19;
const size_t kLevelOffset = 20;
const size_t kPrefixSize = kLevelOffset + 2;  // what every level has before its own fields
// Level 0 and 1.
const size_t kNameLengthOffset = 21;
// Level 2 and 3.
const size_t kCrcOffset = 21;
const size_t kOsOffset = 23;
const size_t kLevel2Base = 26;     // through the first extension size
const size_t kLevel3Base = 32;
const size_t kLevel3SizeOffset = 24;
const size_t kLevel3WordSize = 4;
// LHa for OS-9/68k counts a level 2 header's size from offset 2.
const char kOs968k = 'K';
const size_t kOs968kShortfall = 2;

// Extension header types.
const uint8_t kExtCrc = 0x00;
const uint8_t kExtName = 0x01;
const uint8_t kExtFolder = 0x02;
const uint8_t kExtAttributes = 0x40;
const uint8_t kExtWindowsTimes = 0x41;
const uint8_t kExtLargeSizes = 0x42;
const uint8_t kExtUnixMode = 0x50;
const uint8_t kExtUnixOwner = 0x51;
const uint8_t kExtUnixTime = 0x54;
const uint8_t kExtFileNote = 0x71;
const uint8_t kExtOs9 = 0xCC;

const uint32_t kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

// Method ids by their letters between the dashes (MethodTable.h says why).
const char kFolderMethod[] = "lhd";
const char kStoredMethod[] = "lh0";
const char kLharkMethodAsStored[] = "lh7";
const char kLharkMethod[] = "lk7";
const uint16_t kUnixTypeMask = 0xF000;
const uint16_t kUnixLinkType = 0xA000;
const char kLinkMark = '|';

uint32_t Get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }
uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::vector<uint8_t>& out, uint64_t v)
{
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

HeaderResult Fault(HeaderResult kind, std::string& error, const char* what)
{
    error = what;
    return kind;
}

HeaderResult Broken(std::string& error, const char* what) { return Fault(HeaderResult::Broken, error, what); }
HeaderResult CutShort(std::string& error, const char* what) { return Fault(HeaderResult::EndOfFile, error, what); }

bool IsMethod(const uint8_t* p) { return p[0] == '-' && p[4] == '-'; }
bool IsPmarcMethod(const std::string& method) { return method.compare(0, 3, "-pm") == 0; }

std::string Text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// What the extension headers (and the level 0 extended area) said, gathered
// while walking them and applied once the header is read whole.
struct Extensions {
    std::string folder;      // member form: backslashes, a trailing one when not empty
    std::string name;
    bool hasCrc = false;
    size_t crcAt = 0;        // offset of the header CRC value in the header buffer
    uint16_t headerCrc = 0;
    bool hasWindowsTime = false;
    uint64_t windowsTime = 0;
    bool hasUnixTime = false;
    uint32_t unixTime = 0;
    bool hasMode = false;
    bool modeIsOs9 = false;  // OS-9 permission bits rather than a Unix st_mode
    uint16_t mode = 0;
};

void ApplyExtension(uint8_t type, const uint8_t* data, size_t size, MemberHeader& header, Extensions& ext)
{
    switch (type) {
    case kExtName:
        // Folders write an empty one; it leaves the name as it is.
        if (size >= 1) ext.name = JoinStoredName("", Text(data, size));
        break;
    case kExtFolder:
        if (size >= 1) ext.folder = JoinStoredName(Text(data, size), "");
        break;
    case kExtAttributes:
        if (size >= 2) header.attributes = Get16(data) & kKeptAttributes;
        break;
    case kExtWindowsTimes:
        if (size >= 24) {
            ext.hasWindowsTime = true;
            ext.windowsTime = Get64(data + 8);
        }
        break;
    case kExtLargeSizes:
        if (size >= 16) {
            header.packedSize = Get64(data);
            header.originalSize = Get64(data + 8);
        }
        break;
    case kExtUnixMode:
        if (size >= 2) {
            ext.hasMode = true;
            ext.modeIsOs9 = false;
            ext.mode = static_cast<uint16_t>(Get16(data));
        }
        break;
    case kExtUnixOwner:
        if (size >= 4) {
            header.unixGid = static_cast<uint16_t>(Get16(data));
            header.unixUid = static_cast<uint16_t>(Get16(data + 2));
        }
        break;
    case kExtUnixTime:
        if (size >= 4) {
            ext.hasUnixTime = true;
            ext.unixTime = Get32(data);
        }
        break;
    case kExtFileNote:
        header.comment = Text(data, size);
        break;
    case kExtOs9:
        if (size >= 12) {
            ext.hasMode = true;
            ext.modeIsOs9 = true;
            ext.mode = static_cast<uint16_t>(Get16(data + 7));
        }
        break;
    }
}

// Walks the extension headers inside a level 2 or 3 header buffer: each is its
// size (`width` bytes, counting itself at the end of the previous one), a type
// byte, data, and the next size. Offsets only grow, so the walk ends.
bool WalkBufferedExtensions(const std::vector<uint8_t>& buffer, size_t at, size_t width, MemberHeader& header,
                            Extensions& ext, std::string& error)
{
    size_t size = width == 2 ? Get16(&buffer[at - 2]) : Get32(&buffer[at - 4]);
    while (size != 0) {
        if (size < 1 + width || size > buffer.size() - at) {
            Broken(error, "extended header past the end of the header");
            return false;
        }
        uint8_t type = buffer[at];
        const uint8_t* data = &buffer[at + 1];
        size_t dataSize = size - 1 - width;
        if (type == kExtCrc && dataSize >= 2) {
            ext.hasCrc = true;
            ext.crcAt = at + 1;
            ext.headerCrc = static_cast<uint16_t>(Get16(data));
        }
        ApplyExtension(type, data, dataSize, header, ext);
        at += size;
        size = width == 2 ? Get16(&buffer[at - 2]) : Get32(&buffer[at - 4]);
    }
    return true;
}

// Zeroes the CRC field in `buffer` (the caller is done with it) to recompute the CRC.
bool CheckHeaderCrc(std::vector<uint8_t>& buffer, const Extensions& ext, std::string& error)
{
    if (!ext.hasCrc) return true;
    buffer[ext.crcAt] = 0;
    buffer[ext.crcAt + 1] = 0;
    if (UpdateCrc16(0, buffer.data(), buffer.size()) == ext.headerCrc) return true;
    Fault(HeaderResult::HeaderCrc, error, "header CRC does not match");
    return false;
}

void TakeCommonFields(const uint8_t* base, MemberHeader& header)
{
    header.method = Text(base + kMethodOffset, kMethodLength);
    header.packedSize = Get32(base + kPackedOffset);
    header.originalSize = Get32(base + kOriginalOffset);
}

// The level 0/1 name field: the name ends at a zero byte (Amiga tools put the
// file note after it); '\' and '/' both separate folders, and the folder part
// goes with its last separator.
void TakeNameField(const uint8_t* field, size_t length, MemberHeader& header, Extensions& ext)
{
    std::string text = Text(field, length);
    size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        header.comment = text.substr(zero + 1);
        text.resize(zero);
    }
    size_t nameStart = 0;
    for (size_t at = 0; at < text.size(); at += CharLength(text.data(), text.size(), at)) {
        if (IsSingle(text, at, '/')) text[at] = '\\';
        if (IsSingle(text, at, '\\')) nameStart = at + 1;
    }
    ext.folder = text.substr(0, nameStart);
    ext.name = text.substr(nameStart);
}

// The level 0 extended area (after the data CRC, to the end of the header).
// PMarc keeps the file note there; LHA for Unix and for OS-9/68k a Unix
// area, LHA for OS-9 a copy of its 0xCC extension. Anything else is ignored.
void TakeLevel0Area(const uint8_t* area, size_t size, MemberHeader& header, Extensions& ext)
{
    if (size == 0) return;
    if (IsPmarcMethod(header.method)) {
        header.comment = Text(area, size);
        return;
    }
    const bool unixArea = (area[0] == 'U' || area[0] == kOs968k) && size >= 12 && area[1] == 0;
    if (unixArea) {
        header.osId = static_cast<char>(area[0]);
        ext.hasUnixTime = true;
        ext.unixTime = Get32(area + 2);
        // The mode and owner sit at the end: OS-9/68k writes the time twice.
        ext.hasMode = true;
        ext.mode = static_cast<uint16_t>(Get16(area + size - 6));
        header.unixUid = static_cast<uint16_t>(Get16(area + size - 4));
        header.unixGid = static_cast<uint16_t>(Get16(area + size - 2));
        return;
    }
    const bool os9Area = area[0] == '9' && size >= 22 && area[9] == kExtOs9 && area[1] == area[17] && area[2] == area[18];
    if (os9Area) {
        header.osId = '9';
        ext.hasMode = true;
        ext.modeIsOs9 = true;
        ext.mode = static_cast<uint16_t>(Get16(area + 1));
    }
}

// OS-9 permission bits as the usual Unix mode: public rights go to both group
// and others; the directory bit becomes the directory type.
uint16_t UnixModeFromOs9(uint16_t bits)
{
    static const struct {
        uint16_t os9;
        uint16_t unixBits;
    } kRights[] = {
        {0x01, 0400}, {0x02, 0200}, {0x04, 0100}, {0x08, 0044}, {0x10, 0022}, {0x20, 0011}, {0x80, 040000},
    };
    uint16_t mode = 0;
    for (const auto& right : kRights)
        if (bits & right.os9) mode = static_cast<uint16_t>(mode | right.unixBits);
    return mode;
}

// Level 1 extension headers follow the base header in the file and count in
// its "skip" size; each is read on its own (at most 64 KiB).
HeaderResult ReadLevel1Extensions(const FileHandle& file, uint64_t fileSize, uint64_t at, size_t size,
                                  MemberHeader& header, Extensions& ext, std::string& error)
{
    uint64_t total = 0;
    std::vector<uint8_t> buffer;
    while (size != 0) {
        if (size < 3) return Broken(error, "extended header too short");
        if (at + size > fileSize) return CutShort(error, "extended header past the end of the file");
        total += size;
        if (total > header.packedSize) return Broken(error, "extended headers larger than the member");
        buffer.resize(size);
        if (!file.ReadAt(at, buffer.data(), size)) return CutShort(error, "extended header cannot be read");
        ApplyExtension(buffer[0], buffer.data() + 1, size - 3, header, ext);
        at += size;
        size = Get16(&buffer[size - 2]);
    }
    header.packedSize -= total;
    header.dataOffset = at;
    return HeaderResult::Member;
}

HeaderResult ReadLevel0Or1(const FileHandle& file, uint64_t fileSize, uint64_t offset, const uint8_t* prefix,
                           MemberHeader& header, Extensions& ext, std::string& error)
{
    size_t total = prefix[0] + 2u;
    uint8_t base[258];
    if (total < kNameLengthOffset + 3) return Broken(error, "header too short");
    if (offset + total > fileSize) return CutShort(error, "header past the end of the file");
    if (!file.ReadAt(offset, base, total)) return CutShort(error, "header cannot be read");
    uint8_t sum = 0;
    for (size_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + base[i]);
    if (sum != base[1]) return Fault(HeaderResult::HeaderCrc, error, "header checksum does not match");
    size_t nameLength = base[kNameLengthOffset];
    size_t nameEnd = kNameLengthOffset + 1 + nameLength;
    size_t needed = nameEnd + 2 + (header.level == 1 ? 3 : 0);
    if (needed > total) return Broken(error, "name longer than the header");
    TakeCommonFields(base, header);
    header.fileTime = TicksFromDosTime(Get32(base + kTimeOffset));
    header.attributes = header.level == 0 ? (base[kAttributeOffset] & kKeptAttributes) : 0;
    header.crc = static_cast<uint16_t>(Get16(base + nameEnd));
    TakeNameField(base + nameEnd - nameLength, nameLength, header, ext);
    header.dataOffset = offset + total;
    if (header.level == 0) {
        header.osId = 0;  // level 0 has no OS id; a Unix or OS-9 area may give one
        TakeLevel0Area(base + nameEnd + 2, total - (nameEnd + 2), header, ext);
        return HeaderResult::Member;
    }
    header.osId = static_cast<char>(base[nameEnd + 2]);
    return ReadLevel1Extensions(file, fileSize, offset + total, Get16(base + total - 2), header, ext, error);
}

HeaderResult ReadLevel2Or3(const FileHandle& file, uint64_t fileSize, uint64_t offset, const uint8_t* prefix,
                           MemberHeader& header, Extensions& ext, std::string& error)
{
    bool level3 = header.level == 3;
    size_t baseSize = level3 ? kLevel3Base : kLevel2Base;
    if (offset + baseSize > fileSize) return CutShort(error, "header past the end of the file");
    uint8_t base[kLevel3Base];
    if (!file.ReadAt(offset, base, baseSize)) return CutShort(error, "header cannot be read");
    if (level3 && Get16(prefix) != kLevel3WordSize) return Broken(error, "level 3 word size is not 4");
    uint64_t total = level3 ? Get32(base + kLevel3SizeOffset) : Get16(prefix);
    if (!level3 && base[kOsOffset] == kOs968k) total += kOs968kShortfall;
    if (total < baseSize || total > kMaxHeaderSize) return Broken(error, "header size out of range");
    if (offset + total > fileSize) return CutShort(error, "header past the end of the file");
    std::vector<uint8_t> buffer(total);
    if (!file.ReadAt(offset, buffer.data(), total)) return CutShort(error, "header cannot be read");
    TakeCommonFields(base, header);
    header.fileTime = TicksFromUnixTime(Get32(base + kTimeOffset));
    header.crc = static_cast<uint16_t>(Get16(base + kCrcOffset));
    header.osId = static_cast<char>(base[kOsOffset]);
    if (!WalkBufferedExtensions(buffer, baseSize, level3 ? 4 : 2, header, ext, error)) return HeaderResult::Broken;
    if (!CheckHeaderCrc(buffer, ext, error)) return HeaderResult::HeaderCrc;
    header.dataOffset = offset + total;
    return HeaderResult::Member;
}

// A Unix link is stored as a folder member named "link|target"; the mark may
// sit in the folder part or the name, so the joined path is split at its
// first single-byte '|'. False when there is none.
bool SplitLink(MemberHeader& header)
{
    const std::string& path = header.path;
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at)) {
        if (!IsSingle(path, at, kLinkMark)) continue;
        header.isLink = true;
        header.linkTarget = path.substr(at + 1);
        header.path = path.substr(0, at);
        return true;
    }
    return false;
}

// MS-DOS (and no OS id, as in every level 0 header), Atari, LHARK and OS/2.
bool StoresNamesInCapitals(char osId)
{
    static const char kDosFamily[] = {0, 'M', 'a', ' ', '2'};
    for (char id : kDosFamily)
        if (osId == id) return true;
    return false;
}

// What the whole header says once read: times, mode, the Amiga folder fix,
// the path, links and LHARK's method.
HeaderResult FinishHeader(MemberHeader& header, const Extensions& ext, std::string& error)
{
    if (ext.hasUnixTime) header.fileTime = TicksFromUnixTime(ext.unixTime);
    if (ext.hasWindowsTime) header.fileTime = ext.windowsTime;
    // Some Amiga LhA versions store a folder as an empty -lh0- member with no name.
    const bool amigaFolder = header.osId == 'A' && IsMethodId(header.method, kStoredMethod) &&
                             header.originalSize == 0 && ext.name.empty() && !ext.folder.empty();
    if (amigaFolder) header.method = MethodId(kFolderMethod);
    header.path = ext.folder + ext.name;
    // Links are told by the mode as stored, before any OS-9 translation.
    const bool link = IsMethodId(header.method, kFolderMethod) && ext.hasMode && !ext.modeIsOs9 &&
                      (ext.mode & kUnixTypeMask) == kUnixLinkType;
    if (link && !SplitLink(header)) return Broken(error, "link without a target");
    // DOS-family tools store names in capitals; they read in lower case, as
    // other readers show them.
    if (StoresNamesInCapitals(header.osId)) header.path = FoldCapitalsToLowerCase(header.path);
    if (ext.hasMode) {
        // OS-9/68k writes OS-9 permission bits where Unix tools write st_mode.
        const bool os9 = ext.modeIsOs9 || header.osId == kOs968k;
        header.unixMode = os9 ? UnixModeFromOs9(ext.mode) : ext.mode;
        header.hasUnixMode = true;
    }
    // LHARK writes its own variant of -lh7- under that name.
    if (header.level == 1 && header.osId == ' ' && IsMethodId(header.method, kLharkMethodAsStored))
        header.method = MethodId(kLharkMethod);
    return HeaderResult::Member;
}

HeaderResult ParseHeader(const FileHandle& file, uint64_t fileSize, uint64_t offset, const uint8_t* prefix,
                         MemberHeader& header, std::string& error)
{
    if (!IsMethod(prefix + kMethodOffset)) return Broken(error, "no method mark");
    header.level = prefix[kLevelOffset];
    Extensions ext;
    HeaderResult result;
    if (header.level <= 1)
        result = ReadLevel0Or1(file, fileSize, offset, prefix, header, ext, error);
    else if (header.level <= 3)
        result = ReadLevel2Or3(file, fileSize, offset, prefix, header, ext, error);
    else
        return Broken(error, "unknown header level");
    if (result != HeaderResult::Member) return result;
    if (header.dataOffset > fileSize || header.packedSize > fileSize - header.dataOffset)
        return CutShort(error, "packed data past the end of the file");
    return FinishHeader(header, ext, error);
}

} // namespace

HeaderResult ReadHeader(const FileHandle& file, uint64_t fileSize, uint64_t offset, MemberHeader& header,
                        std::string& error)
{
    header = MemberHeader();
    header.headerOffset = offset;
    if (offset >= fileSize) return HeaderResult::End;
    uint8_t prefix[kPrefixSize];
    const size_t got = fileSize - offset < kPrefixSize ? static_cast<size_t>(fileSize - offset) : kPrefixSize;
    if (!file.ReadAt(offset, prefix, got)) return CutShort(error, "header cannot be read");
    if (prefix[0] != 0) {
        const bool marked = got >= kMethodOffset + kMethodLength && IsMethod(prefix + kMethodOffset);
        if (!marked) return Broken(error, "no method mark");
        if (got < kPrefixSize) return CutShort(error, "header past the end of the file");
        return ParseHeader(file, fileSize, offset, prefix, header, error);
    }
    // A zero byte is the end marker, unless it is the low byte of the size of
    // a level 2 header that parses (its size a multiple of 256).
    std::string ignored;
    if (got == kPrefixSize && prefix[kLevelOffset] == 2 &&
        ParseHeader(file, fileSize, offset, prefix, header, ignored) == HeaderResult::Member)
        return HeaderResult::Member;
    header = MemberHeader();
    header.headerOffset = offset;
    return HeaderResult::End;
}

namespace {

// Writing.
const uint64_t kMax32 = 0xFFFFFFFFu;
const size_t kMaxBaseHeader = 0xFF + 2;  // levels 0 and 1: the size byte counts from offset 2
const size_t kLevel0Fixed = 24;          // the level 0 header but its name: through the data CRC
const size_t kLevel1Fixed = 27;          // level 1 adds the OS id and the first extension size
const size_t kMaxLevel0Name = kMaxBaseHeader - kLevel0Fixed;
const size_t kMaxLevel1Name = kMaxBaseHeader - kLevel1Fixed;
const uint8_t kFileAttributeBits = 0xFF;  // the level 0 attribute byte
const uint8_t kLevel1AttributeField = 0x20;

// Appends one extension header after the size field that names it: the type
// byte, the data, and the next extension's size, which counts its own 2 bytes
// (the caller writes the next size, or 0 to end the chain).
void PutExtension(std::vector<uint8_t>& h, uint8_t type, const void* data, size_t size)
{
    Put16(h, static_cast<uint32_t>(size + 3));
    h.push_back(type);
    h.insert(h.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}

void PutAttributesExtension(std::vector<uint8_t>& h, const MemberHeader& header)
{
    uint8_t attributes[2] = {static_cast<uint8_t>(header.attributes), static_cast<uint8_t>(header.attributes >> 8)};
    PutExtension(h, kExtAttributes, attributes, sizeof attributes);
}

// Creation, last write and last access, all the file's last write: what the
// reader takes as the member's time, to the tick and in UTC.
void PutWindowsTimesExtension(std::vector<uint8_t>& h, const MemberHeader& header)
{
    if (header.fileTime == 0) return;
    std::vector<uint8_t> times;
    for (int i = 0; i < 3; ++i) Put64(times, header.fileTime);
    PutExtension(h, kExtWindowsTimes, times.data(), times.size());
}

// Whether the packed size and `extra` bytes fit the 32-bit field; false with
// `error` when they do not.
bool PackedSizeFits(const MemberHeader& header, uint64_t extra, std::string& error)
{
    if (header.packedSize <= kMax32 - extra) return true;
    error = "packed data larger than the file: " + header.path;
    return false;
}

// The level 0/1 base header through the data CRC, its size and checksum left
// for CloseBaseHeader.
std::vector<uint8_t> OpenBaseHeader(int level, const MemberHeader& header, uint64_t packedField,
                                    uint8_t attributeField, const std::string& nameField)
{
    std::vector<uint8_t> h(2);
    h.insert(h.end(), header.method.begin(), header.method.begin() + kMethodLength);
    Put32(h, static_cast<uint32_t>(packedField));
    Put32(h, static_cast<uint32_t>(header.originalSize));
    Put32(h, DosTimeFromTicks(header.fileTime));
    h.push_back(attributeField);
    h.push_back(static_cast<uint8_t>(level));
    h.push_back(static_cast<uint8_t>(nameField.size()));
    h.insert(h.end(), nameField.begin(), nameField.end());
    Put16(h, header.crc);
    return h;
}

// The size byte (from offset 2) and the checksum of the bytes it counts.
void CloseBaseHeader(std::vector<uint8_t>& h)
{
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
    h[0] = static_cast<uint8_t>(h.size() - 2);
    h[1] = sum;
}

// Level 1 names the member in the base header's name field (where readers
// that know no extension see it) when every reader takes it the same way
// there: ASCII only (byte-wise readers split a double-byte character whose
// second byte is 0x5C), no folder (bsdtar keeps a level 1 name field's
// backslashes in the file name) and within the field's 230 bytes. Any other
// path goes, as at level 2, to the name (0x01) and folder (0x02) extensions,
// and the name field is empty.
bool Level1NameInBase(const MemberHeader& header)
{
    if (header.path.size() > kMaxLevel1Name) return false;
    for (char c : header.path)
        if (static_cast<uint8_t>(c) >= 0x80 || c == '\\') return false;
    return true;
}

// The level 1 extension chain from the base header's last field on: the
// first extension's size, each extension with the next one's size, and 0.
std::vector<uint8_t> Level1Extensions(const MemberHeader& header)
{
    std::vector<uint8_t> chain;
    if (!Level1NameInBase(header)) {
        std::string folderField, nameField;
        SplitStoredName(header.path, folderField, nameField);
        PutExtension(chain, kExtName, nameField.data(), nameField.size());
        if (!folderField.empty()) PutExtension(chain, kExtFolder, folderField.data(), folderField.size());
    }
    PutAttributesExtension(chain, header);
    PutWindowsTimesExtension(chain, header);
    Put16(chain, 0);
    return chain;
}

// The bytes a level 1 header's extensions add to its packed size field.
uint64_t Level1ExtensionBytes(const std::vector<uint8_t>& chain) { return chain.size() - 2; }

bool Level0Holds(const MemberHeader& header)
{
    return header.originalSize <= kMax32 && header.path.size() <= kMaxLevel0Name;
}

// The packed size field counts the extensions too, and the packed data is
// never larger than the file.
bool Level1Holds(const MemberHeader& header)
{
    return header.originalSize <= kMax32 - Level1ExtensionBytes(Level1Extensions(header));
}

bool Level2Holds(const MemberHeader&) { return true; }

struct LevelWriter {
    int level;
    bool (*holds)(const MemberHeader& header);
    bool (*write)(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error);
};

const LevelWriter kLevelWriters[] = {
    {0, Level0Holds, WriteLevel0Header},
    {1, Level1Holds, WriteLevel1Header},
    {2, Level2Holds, WriteLevel2Header},
};
const LevelWriter& kFallbackWriter = kLevelWriters[2];

} // namespace

bool WriteLevel0Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error)
{
    if (!Level0Holds(header)) {
        error = "member not fit for a level 0 header: " + header.path;
        return false;
    }
    if (!PackedSizeFits(header, 0, error)) return false;
    // The name field holds the path as DOS-family tools write it: backslashes
    // between folders, a folder member ending in one.
    std::vector<uint8_t> h = OpenBaseHeader(0, header, header.packedSize,
                                            static_cast<uint8_t>(header.attributes & kFileAttributeBits), header.path);
    CloseBaseHeader(h);
    out.insert(out.end(), h.begin(), h.end());
    return true;
}

bool WriteLevel1Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error)
{
    const std::vector<uint8_t> chain = Level1Extensions(header);
    const uint64_t extensionBytes = Level1ExtensionBytes(chain);
    if (!Level1Holds(header)) {
        error = "member too large for a level 1 header: " + header.path;
        return false;
    }
    if (!PackedSizeFits(header, extensionBytes, error)) return false;
    const std::string nameField = Level1NameInBase(header) ? header.path : std::string();
    // The attributes go in their extension; bsdtar refuses a level 1 header
    // whose attribute byte is not 0x20, what other level 1 writers put there.
    std::vector<uint8_t> h =
        OpenBaseHeader(1, header, header.packedSize + extensionBytes, kLevel1AttributeField, nameField);
    h.push_back(static_cast<uint8_t>(header.osId));
    h.insert(h.end(), chain.begin(), chain.begin() + 2);
    CloseBaseHeader(h);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), chain.begin() + 2, chain.end());
    return true;
}

bool WriteHeaderAtLevel(int level, const MemberHeader& header, std::vector<uint8_t>& out, int& writtenLevel,
                        std::string& error)
{
    for (const LevelWriter& writer : kLevelWriters) {
        if (writer.level != level) continue;
        const LevelWriter& chosen = writer.holds(header) ? writer : kFallbackWriter;
        writtenLevel = chosen.level;
        return chosen.write(header, out, error);
    }
    error = "header level " + std::to_string(level) + " is not written";
    return false;
}

bool WriteLevel2Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error)
{
    // 64-bit sizes go by the original size alone, so a header written before
    // packing has the length of the one written after it (the packed data is
    // never larger than the original).
    const bool largeSizes = header.originalSize > kMax32;
    if (!largeSizes && !PackedSizeFits(header, 0, error)) return false;
    std::string folderField, nameField;
    SplitStoredName(header.path, folderField, nameField);
    std::vector<uint8_t> h;
    h.resize(2);  // total size, filled in below
    h.insert(h.end(), header.method.begin(), header.method.begin() + kMethodLength);
    Put32(h, static_cast<uint32_t>(header.packedSize));
    Put32(h, static_cast<uint32_t>(header.originalSize));
    Put32(h, UnixTimeFromTicks(header.fileTime));
    h.push_back(0x20);
    h.push_back(2);
    Put16(h, header.crc);
    h.push_back(static_cast<uint8_t>(header.osId));
    uint8_t zeroCrc[2] = {0, 0};
    PutExtension(h, kExtCrc, zeroCrc, sizeof zeroCrc);
    size_t crcAt = h.size() - 2;
    if (largeSizes) {
        // The base fields above keep the low 32 bits.
        std::vector<uint8_t> sizes;
        Put64(sizes, header.packedSize);
        Put64(sizes, header.originalSize);
        PutExtension(h, kExtLargeSizes, sizes.data(), sizes.size());
    }
    PutExtension(h, kExtName, nameField.data(), nameField.size());
    if (!folderField.empty()) PutExtension(h, kExtFolder, folderField.data(), folderField.size());
    PutAttributesExtension(h, header);
    PutWindowsTimesExtension(h, header);
    Put16(h, 0);
    // A header whose size has a zero low byte would read as the end marker.
    if ((h.size() & 0xFF) == 0) h.push_back(0);
    if (h.size() > 0xFFFF) {
        error = "name too long for a header: " + header.path;
        return false;
    }
    h[0] = static_cast<uint8_t>(h.size());
    h[1] = static_cast<uint8_t>(h.size() >> 8);
    uint16_t crc = UpdateCrc16(0, h.data(), h.size());
    h[crcAt] = static_cast<uint8_t>(crc);
    h[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
    out.insert(out.end(), h.begin(), h.end());
    return true;
}

} // namespace lha
