#include "RegistryTree.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) text += '|';
        text += parts[i];
    }
    return text;
}

std::string FormatValue(const std::string& path, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    std::string line = (path.empty() ? std::string(".") : path) + " [" + name + "] ";
    if (type == REG_SZ && size == 0) return line + "sz0:";
    if (type == REG_SZ) {
        std::string text(reinterpret_cast<const char*>(data), size);
        if (!text.empty() && text.back() == '\0') text.pop_back();
        return line + "sz:" + text;
    }
    if (type == REG_DWORD && size == 4) {
        DWORD value;
        memcpy(&value, data, 4);
        return line + "dword:" + std::to_string(value);
    }
    line += "hex:";
    char byte[4];
    for (DWORD i = 0; i < size; ++i) {
        snprintf(byte, sizeof(byte), "%02x", data[i]);
        line += byte;
    }
    return line;
}

void DumpValues(HKEY key, const std::string& path, std::vector<std::string>* lines)
{
    for (DWORD index = 0;; ++index) {
        char name[16384];
        BYTE data[16384];
        DWORD nameLength = sizeof(name), size = sizeof(data), type = 0;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) return;
        lines->push_back(FormatValue(path, name, type, data, size));
    }
}

void DumpKey(HKEY key, const std::string& path, std::vector<std::string>* lines)
{
    DumpValues(key, path, lines);
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
        const std::string child = path.empty() ? std::string(name) : path + "\\" + name;
        lines->push_back(child);
        // Wine keeps keys whose name converted to nothing; opening "" would
        // give this key again.
        if (!name[0]) continue;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) {
            lines->push_back(child + " <cannot open>");
            continue;
        }
        DumpKey(sub, child, lines);
        RegCloseKey(sub);
    }
}

HKEY CreatePath(HKEY root, const std::string& path)
{
    if (path == ".") {
        HKEY same = nullptr;
        RegOpenKeyExA(root, nullptr, 0, KEY_ALL_ACCESS, &same);
        return same;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create " + path);
    }
    return key;
}

std::vector<BYTE> ParseData(const std::string& type, const std::string& data, DWORD* regType)
{
    if (type == "sz" || type == "sz0") {
        *regType = REG_SZ;
        if (type == "sz0") return {};
        std::vector<BYTE> bytes(data.begin(), data.end());
        bytes.push_back(0);
        return bytes;
    }
    if (type == "dword") {
        *regType = REG_DWORD;
        const DWORD value = static_cast<DWORD>(strtoul(data.c_str(), nullptr, 10));
        std::vector<BYTE> bytes(4);
        memcpy(bytes.data(), &value, 4);
        return bytes;
    }
    *regType = REG_BINARY;
    std::vector<BYTE> bytes;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        bytes.push_back(static_cast<BYTE>(strtoul(data.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

void BuildEntry(HKEY root, const std::string& entry)
{
    const size_t open = entry.find(" [");
    if (open == std::string::npos) {
        RegCloseKey(CreatePath(root, entry));
        return;
    }
    const size_t close = entry.find("] ", open);
    const size_t colon = entry.find(':', close);
    if (close == std::string::npos || colon == std::string::npos) throw std::runtime_error("bad entry " + entry);
    const std::string name = entry.substr(open + 2, close - open - 2);
    DWORD type = 0;
    const std::vector<BYTE> data = ParseData(entry.substr(close + 2, colon - close - 2), entry.substr(colon + 1), &type);
    HKEY key = CreatePath(root, entry.substr(0, open));
    RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

}  // namespace

ScratchKey::ScratchKey(const std::string& name) : name_("vesker-test-" + name)
{
    const std::string path = std::string(Parent()) + "\\" + name_;
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("cannot create scratch key " + path);
    }
}

ScratchKey::~ScratchKey()
{
    RegCloseKey(key_);
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(Parent()) + "\\" + name_).c_str());
}

std::string ScratchKey::Dump() const
{
    return Join(DumpTree(key_));
}

void ScratchKey::Build(const std::string& tree) const
{
    for (const std::string& entry : Split(tree, '|')) BuildEntry(key_, entry);
}

void ScratchKey::Reset(const std::string& tree) const
{
    // RegDeleteTree with a null subkey empties the key and keeps it.
    RegDeleteTreeA(key_, nullptr);
    Build(tree);
}

bool ScratchKey::Exists() const
{
    HKEY key = OpenReadOnly();
    if (!key) return false;
    RegCloseKey(key);
    return true;
}

HKEY ScratchKey::OpenReadOnly() const
{
    HKEY key = nullptr;
    const std::string path = std::string(Parent()) + "\\" + name_;
    RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    return key;
}

std::vector<std::string> DumpTree(HKEY key)
{
    std::vector<std::string> lines;
    DumpKey(key, "", &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string SortedTree(const std::string& tree)
{
    std::vector<std::string> entries = Split(tree, '|');
    std::sort(entries.begin(), entries.end());
    return Join(entries);
}

bool IsJapaneseCodePage()
{
    return GetACP() == 932;
}
