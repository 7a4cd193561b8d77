#include "archiver/format/HeaderCodec.h"

#include "archiver/codec/Crc16.h"
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
// Level 0 and 1.
const size_t kNameLengthOffset = 21;
// Level 2 and 3.
const size_t kCrcOffset = 21;
const size_t kOsOffset = 23;
const size_t kLevel2Base = 26;     // through the first extension size
const size_t kLevel3Base = 32;
const size_t kLevel3SizeOffset = 24;
const size_t kLevel3WordSize = 4;

// Extension header types.
const uint8_t kExtCrc = 0x00;
const uint8_t kExtName = 0x01;
const uint8_t kExtFolder = 0x02;
const uint8_t kExtAttributes = 0x40;
const uint8_t kExtWindowsTimes = 0x41;
const uint8_t kExtLargeSizes = 0x42;
const uint8_t kExtUnixTime = 0x54;

const uint32_t kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

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

HeaderResult Broken(std::string& error, const char* what)
{
    error = std::string("not an archive or broken header: ") + what;
    return HeaderResult::Broken;
}

bool IsMethod(const uint8_t* p) { return p[0] == '-' && p[4] == '-'; }

// What the extension headers said, gathered while walking them.
struct Extensions {
    std::string name;
    std::string folder;
    bool hasName = false;
    bool hasCrc = false;
    size_t crcAt = 0;        // offset of the header CRC value in the header buffer
    uint16_t headerCrc = 0;
};

void ApplyExtension(uint8_t type, const uint8_t* data, size_t size, MemberHeader& header, Extensions& ext)
{
    switch (type) {
    case kExtName:
        ext.name.assign(reinterpret_cast<const char*>(data), size);
        ext.hasName = true;
        break;
    case kExtFolder:
        ext.folder.assign(reinterpret_cast<const char*>(data), size);
        break;
    case kExtAttributes:
        if (size >= 2) header.attributes = Get16(data) & kKeptAttributes;
        break;
    case kExtWindowsTimes:
        if (size >= 24) header.fileTime = Get64(data + 8);
        break;
    case kExtLargeSizes:
        if (size >= 16) {
            header.packedSize = Get64(data);
            header.originalSize = Get64(data + 8);
        }
        break;
    case kExtUnixTime:
        if (size >= 4 && header.level < 2) header.fileTime = TicksFromUnixTime(Get32(data));
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
    Broken(error, "header CRC does not match");
    return false;
}

void TakeCommonFields(const uint8_t* base, MemberHeader& header)
{
    header.method.assign(reinterpret_cast<const char*>(base + kMethodOffset), kMethodLength);
    header.packedSize = Get32(base + kPackedOffset);
    header.originalSize = Get32(base + kOriginalOffset);
}

// Level 1 extension headers follow the base header in the file and count in
// its "skip" size; each is read on its own (at most 64 KiB).
HeaderResult ReadLevel1Extensions(const FileHandle& file, uint64_t fileSize, uint64_t at, size_t size,
                                  MemberHeader& header, Extensions& ext, std::string& error)
{
    uint64_t total = 0;
    std::vector<uint8_t> buffer;
    while (size != 0) {
        if (size < 3 || at + size > fileSize) return Broken(error, "extended header past the end of the file");
        total += size;
        if (total > header.packedSize) return Broken(error, "extended headers larger than the member");
        buffer.resize(size);
        if (!file.ReadAt(at, buffer.data(), size)) return Broken(error, "extended header cannot be read");
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
    if (offset + total > fileSize) return Broken(error, "header past the end of the file");
    if (!file.ReadAt(offset, base, total)) return Broken(error, "header cannot be read");
    uint8_t sum = 0;
    for (size_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + base[i]);
    if (sum != base[1]) return Broken(error, "header checksum does not match");
    size_t nameLength = base[kNameLengthOffset];
    size_t nameEnd = kNameLengthOffset + 1 + nameLength;
    size_t needed = nameEnd + 2 + (header.level == 1 ? 3 : 0);
    if (needed > total) return Broken(error, "name longer than the header");
    TakeCommonFields(base, header);
    header.fileTime = TicksFromDosTime(Get32(base + kTimeOffset));
    header.attributes = header.level == 0 ? (base[kAttributeOffset] & kKeptAttributes) : 0;
    header.crc = static_cast<uint16_t>(Get16(base + nameEnd));
    ext.name.assign(reinterpret_cast<const char*>(base + nameEnd - nameLength), nameLength);
    ext.hasName = true;
    header.dataOffset = offset + total;
    if (header.level == 0) return HeaderResult::Member;
    header.osId = static_cast<char>(base[nameEnd + 2]);
    return ReadLevel1Extensions(file, fileSize, offset + total, Get16(base + total - 2), header, ext, error);
}

HeaderResult ReadLevel2Or3(const FileHandle& file, uint64_t fileSize, uint64_t offset, const uint8_t* prefix,
                           MemberHeader& header, Extensions& ext, std::string& error)
{
    bool level3 = header.level == 3;
    size_t baseSize = level3 ? kLevel3Base : kLevel2Base;
    if (offset + baseSize > fileSize) return Broken(error, "header past the end of the file");
    uint8_t base[kLevel3Base];
    if (!file.ReadAt(offset, base, baseSize)) return Broken(error, "header cannot be read");
    if (level3 && Get16(prefix) != kLevel3WordSize) return Broken(error, "level 3 word size is not 4");
    uint64_t total = level3 ? Get32(base + kLevel3SizeOffset) : Get16(prefix);
    if (total < baseSize || total > kMaxHeaderSize) return Broken(error, "header size out of range");
    if (offset + total > fileSize) return Broken(error, "header past the end of the file");
    std::vector<uint8_t> buffer(total);
    if (!file.ReadAt(offset, buffer.data(), total)) return Broken(error, "header cannot be read");
    TakeCommonFields(base, header);
    header.fileTime = TicksFromUnixTime(Get32(base + kTimeOffset));
    header.crc = static_cast<uint16_t>(Get16(base + kCrcOffset));
    header.osId = static_cast<char>(base[kOsOffset]);
    if (!WalkBufferedExtensions(buffer, baseSize, level3 ? 4 : 2, header, ext, error)) return HeaderResult::Broken;
    if (!CheckHeaderCrc(buffer, ext, error)) return HeaderResult::Broken;
    header.dataOffset = offset + total;
    return HeaderResult::Member;
}

} // namespace

HeaderResult ReadHeader(const FileHandle& file, uint64_t fileSize, uint64_t offset, MemberHeader& header,
                        std::string& error)
{
    header = MemberHeader();
    header.headerOffset = offset;
    if (offset >= fileSize) return HeaderResult::End;
    uint8_t prefix[kLevelOffset + 2];
    uint8_t first;
    if (!file.ReadAt(offset, &first, 1)) return Broken(error, "header cannot be read");
    if (first == 0) return HeaderResult::End;
    if (offset + sizeof prefix > fileSize) return Broken(error, "truncated header");
    if (!file.ReadAt(offset, prefix, sizeof prefix)) return Broken(error, "header cannot be read");
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
        return Broken(error, "packed data past the end of the file");
    header.path = JoinStoredName(ext.folder, ext.name);
    return HeaderResult::Member;
}

bool WriteLevel2Header(const MemberHeader& header, std::vector<uint8_t>& out, std::string& error)
{
    // 64-bit sizes go by the original size alone, so a header written before
    // packing has the length of the one written after it (the packed data is
    // never larger than the original).
    const bool largeSizes = header.originalSize > 0xFFFFFFFFu;
    if (!largeSizes && header.packedSize > 0xFFFFFFFFu) {
        error = "packed data larger than the file: " + header.path;
        return false;
    }
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
    // Each extension: its size counts the type byte, data and the next size.
    auto extension = [&h](uint8_t type, const void* data, size_t size) {
        Put16(h, static_cast<uint32_t>(size + 3));
        h.push_back(type);
        h.insert(h.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    };
    uint8_t zeroCrc[2] = {0, 0};
    extension(kExtCrc, zeroCrc, sizeof zeroCrc);
    size_t crcAt = h.size() - 2;
    if (largeSizes) {
        // The base fields above keep the low 32 bits.
        std::vector<uint8_t> sizes;
        Put64(sizes, header.packedSize);
        Put64(sizes, header.originalSize);
        extension(kExtLargeSizes, sizes.data(), sizes.size());
    }
    extension(kExtName, nameField.data(), nameField.size());
    if (!folderField.empty()) extension(kExtFolder, folderField.data(), folderField.size());
    uint8_t attributes[2] = {static_cast<uint8_t>(header.attributes), static_cast<uint8_t>(header.attributes >> 8)};
    extension(kExtAttributes, attributes, sizeof attributes);
    if (header.fileTime != 0) {
        std::vector<uint8_t> times;
        for (int i = 0; i < 3; ++i) Put64(times, header.fileTime);
        extension(kExtWindowsTimes, times.data(), times.size());
    }
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
