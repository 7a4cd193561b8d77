#include "archiver/CommandTestSupport.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace commandtest {

namespace {

const DWORD kAreaSize = 1 << 20;
const uint32_t kDosTime = 0x2A435000;  // 2001-02-03 10:00:00
const uint32_t kUnixTime = kHandUnixTime;
const uint8_t kStoredSeparator = 0xFF;

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// The folder part (0xFF separated, trailing 0xFF) and the name part; the
// split is at the last single-byte backslash.
void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    size_t cut = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\') cut = i + 1;
    }
    folder = path.substr(0, cut);
    name = path.substr(cut);
    for (size_t i = 0; i < folder.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(folder[i])) && i + 1 < folder.size()) {
            ++i;
            continue;
        }
        if (folder[i] == '\\') folder[i] = static_cast<char>(kStoredSeparator);
    }
}

void PutCommonFields(Bytes& out, const HandMember& member, uint32_t packed, uint32_t time, uint8_t attribute)
{
    PutText(out, member.method);
    Put32(out, packed);
    Put32(out, static_cast<uint32_t>(member.data.size()));
    Put32(out, time);
    out.push_back(attribute);
    out.push_back(static_cast<uint8_t>(member.level));
}

uint16_t DataCrc(const HandMember& member)
{
    return static_cast<uint16_t>(Crc16(reinterpret_cast<const uint8_t*>(member.data.data()), member.data.size()) +
                                 member.crcDelta);
}

// Level 0: the whole path in the name field. Level 1: the file name there and
// the folder in a 0x02 extended header, counted in the skip size.
Bytes Level0Or1(const HandMember& member)
{
    std::string folder, name;
    SplitPath(member.path, folder, name);
    if (member.level == 0) name = member.path;
    Bytes extended;
    if (member.level == 1 && !folder.empty()) {
        extended.push_back(0x02);
        PutText(extended, folder);
    }
    size_t extendedSize = extended.empty() ? 0 : extended.size() + 2;
    Bytes body;
    PutCommonFields(body, member, static_cast<uint32_t>(member.data.size() + extendedSize), kDosTime,
                    0x20);
    body.push_back(static_cast<uint8_t>(name.size()));
    PutText(body, name);
    Put16(body, DataCrc(member));
    if (member.level == 1) {
        body.push_back('M');
        Put16(body, static_cast<uint32_t>(extendedSize));
    }
    uint8_t sum = 0;
    for (uint8_t b : body) sum = static_cast<uint8_t>(sum + b);
    Bytes out{static_cast<uint8_t>(body.size()), static_cast<uint8_t>(sum + member.headerCheckDelta)};
    out.insert(out.end(), body.begin(), body.end());
    if (!extended.empty()) {
        out.insert(out.end(), extended.begin(), extended.end());
        Put16(out, 0);
    }
    return out;
}

// Level 2 (two-byte sizes) and level 3 (four-byte sizes, word size 4 first).
Bytes Level2Or3(const HandMember& member)
{
    const bool wide = member.level == 3;
    auto putSize = [wide](Bytes& out, uint32_t value) { wide ? Put32(out, value) : Put16(out, value); };
    const uint32_t width = wide ? 4 : 2;
    std::string folder, name;
    SplitPath(member.path, folder, name);
    if (member.storedFolder) {
        name = member.path;
        folder = *member.storedFolder;
        for (char& c : folder)
            if (c == '\\') c = static_cast<char>(kStoredSeparator);
    }
    Bytes h(2);
    if (wide) h[0] = 4;
    PutCommonFields(h, member, static_cast<uint32_t>(member.data.size()), kUnixTime, 0x20);
    Put16(h, DataCrc(member));
    h.push_back(static_cast<uint8_t>(member.osId));
    if (wide) Put32(h, 0);  // the total size, filled in below
    putSize(h, 1 + 2 + width);
    h.push_back(0x00);
    size_t crcAt = h.size();
    Put16(h, 0);
    putSize(h, static_cast<uint32_t>(1 + width + name.size()));
    h.push_back(0x01);
    PutText(h, name);
    if (!folder.empty()) {
        putSize(h, static_cast<uint32_t>(1 + width + folder.size()));
        h.push_back(0x02);
        PutText(h, folder);
    }
    if (member.unixMode) {
        putSize(h, 1 + width + 2);
        h.push_back(0x50);
        Put16(h, *member.unixMode);
    }
    putSize(h, 0);
    if (!wide && (h.size() & 0xFF) == 0) h.push_back(0);
    if (wide) {
        for (int i = 0; i < 4; ++i) h[24 + i] = static_cast<uint8_t>(h.size() >> (8 * i));
    } else {
        h[0] = static_cast<uint8_t>(h.size());
        h[1] = static_cast<uint8_t>(h.size() >> 8);
    }
    uint16_t crc = static_cast<uint16_t>(Crc16(h.data(), h.size()) + member.headerCheckDelta);
    h[crcAt] = static_cast<uint8_t>(crc);
    h[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
    return h;
}

} // namespace

CommandEntry Entry()
{
    static CommandEntry entry = [] {
        HMODULE library = LoadLibraryA((ProgramFolder() + "archiver\\UNLHA32.dll").c_str());
        return library ? reinterpret_cast<CommandEntry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))))
                       : nullptr;
    }();
    return entry;
}

Result Run(const std::string& commandLine)
{
    std::vector<char> area(kAreaSize, '\x7F');
    int code = Entry()(nullptr, commandLine.c_str(), area.data(), kAreaSize);
    return Result{code, std::string(area.data(), strnlen(area.data(), kAreaSize))};
}

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path)
{
    Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

void WriteFileText(const std::string& path, const std::string& text) { WriteFileBytes(path, Bytes(text.begin(), text.end())); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetWriteTime(const std::string& path, uint32_t unixSeconds)
{
    uint64_t ticks = 116444736000000000ULL + unixSeconds * 10000000ULL;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

namespace {

void Walk(const std::string& folder, const std::string& relative, std::set<std::string>& tree)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree.insert(relative + name + "\\");
            Walk(folder, relative + name + "\\", tree);
        } else {
            tree.insert(relative + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

std::set<std::string> Tree(const std::string& folder)
{
    std::set<std::string> tree;
    Walk(folder, "", tree);
    return tree;
}

void RemoveTree(const std::string& folder)
{
    std::set<std::string> tree = Tree(folder);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        std::string path = folder + *it;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A name may end in a trail byte 0x5C: try it as a file first.
        if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

std::string MakeScratch(const std::string& tag)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "vesker-cmd-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "\\";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

uint16_t Crc16(const uint8_t* data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

Bytes HandMemberBytes(const HandMember& member)
{
    Bytes out = member.level >= 2 ? Level2Or3(member) : Level0Or1(member);
    PutText(out, member.data);
    return out;
}

Bytes HandArchive(const std::vector<HandMember>& members)
{
    Bytes archive;
    for (const HandMember& member : members) {
        Bytes bytes = HandMemberBytes(member);
        archive.insert(archive.end(), bytes.begin(), bytes.end());
    }
    archive.push_back(0);
    return archive;
}

} // namespace commandtest
