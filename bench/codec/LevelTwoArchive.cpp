#include "LevelTwoArchive.h"

#include "archiver/codec/Crc16.h"

#include <cstring>

namespace codec_bench {
namespace {

constexpr size_t kBaseSize = 24;        // up to the OS id; the first extension size follows
constexpr size_t kLevelOffset = 20;
constexpr size_t kMethodLength = 5;
constexpr uint8_t kLevel = 2;
constexpr uint8_t kOsId = 'W';
constexpr uint8_t kAttribute = 0x20;
constexpr uint8_t kCrcExtension = 0x00;
constexpr uint8_t kNameExtension = 0x01;
constexpr uint8_t kFolderExtension = 0x02;
constexpr uint8_t kFolderSeparator = 0xFF;
constexpr size_t kMaxHeaderSize = 0xFFFF;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

} // namespace

bool LevelTwoHeader(const MemberEntry& entry, std::vector<uint8_t>& header, std::string& error) {
    if (entry.method.size() != kMethodLength || entry.packedSize > 0xFFFFFFFFu || entry.originalSize > 0xFFFFFFFFu) {
        error = entry.name + ": method or sizes do not fit a minimal level 2 header";
        return false;
    }
    const size_t slash = entry.name.rfind('/');
    std::string folder;
    if (slash != std::string::npos) {
        folder = entry.name.substr(0, slash + 1);
        for (char& c : folder)
            if (c == '/')
                c = static_cast<char>(kFolderSeparator);
    }
    const std::string file = slash == std::string::npos ? entry.name : entry.name.substr(slash + 1);

    header.clear();
    Put16(header, 0);  // the total size, known at the end
    header.insert(header.end(), entry.method.begin(), entry.method.end());
    Put32(header, static_cast<uint32_t>(entry.packedSize));
    Put32(header, static_cast<uint32_t>(entry.originalSize));
    Put32(header, entry.time);
    header.push_back(kAttribute);
    header.push_back(kLevel);
    Put16(header, entry.crc);
    header.push_back(kOsId);
    // Each extension's size (type, data, next size) stands just before it.
    struct Extension { uint8_t type; std::string data; };
    std::vector<Extension> extensions = {{kNameExtension, file}, {kCrcExtension, std::string(2, '\0')}};
    if (!folder.empty())
        extensions.insert(extensions.begin() + 1, {kFolderExtension, folder});
    size_t crcAt = 0;
    for (const Extension& extension : extensions) {
        Put16(header, static_cast<uint32_t>(extension.data.size() + 3));
        if (extension.type == kCrcExtension)
            crcAt = header.size() + 1;
        header.push_back(extension.type);
        header.insert(header.end(), extension.data.begin(), extension.data.end());
    }
    Put16(header, 0);
    if (header.size() > kMaxHeaderSize) {
        error = entry.name + ": name too long for a level 2 header";
        return false;
    }
    header[0] = static_cast<uint8_t>(header.size());
    header[1] = static_cast<uint8_t>(header.size() >> 8);
    const uint16_t crc = lha::UpdateCrc16(0, header.data(), header.size());
    header[crcAt] = static_cast<uint8_t>(crc);
    header[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
    return true;
}

bool LevelTwoReader::Fail(const std::string& error) {
    error_ = error;
    return false;
}

bool LevelTwoReader::Next(MemberEntry& entry, const uint8_t*& packed) {
    const size_t left = size_ - at_;
    const uint8_t* p = data_ + at_;
    // A header whose size is a multiple of 256 starts with a zero byte too.
    if (left == 0 || (p[0] == kEndMarker && (left <= kLevelOffset || p[kLevelOffset] != kLevel)))
        return false;
    if (left < kBaseSize + 2 || p[kLevelOffset] != kLevel)
        return Fail("not a level 2 header at offset " + std::to_string(at_));
    const size_t headerSize = Get16(p);
    if (headerSize < kBaseSize + 2 || headerSize > left)
        return Fail("broken header size at offset " + std::to_string(at_));
    entry.method.assign(reinterpret_cast<const char*>(p + 2), kMethodLength);
    entry.packedSize = Get32(p + 7);
    entry.originalSize = Get32(p + 11);
    entry.time = Get32(p + 15);
    entry.crc = static_cast<uint16_t>(Get16(p + 21));
    entry.name.clear();
    for (size_t at = kBaseSize, next = Get16(p + kBaseSize); next != 0;) {
        const size_t extension = at + 2;
        if (next < 3 || extension + next > headerSize)
            return Fail("broken extension at offset " + std::to_string(at_));
        if (p[extension] == kNameExtension)
            entry.name.append(reinterpret_cast<const char*>(p + extension + 1), next - 3);
        at = extension + next - 2;
        next = Get16(p + at);
    }
    if (entry.packedSize > left - headerSize)
        return Fail(entry.name + ": packed data past the end of the archive");
    packed = p + headerSize;
    at_ += headerSize + entry.packedSize;
    return true;
}

} // namespace codec_bench
