#include "archiver/format/MemberName.h"

#include "archiver/files/AnsiText.h"

#include <windows.h>

#include <cstring>

namespace lha {

namespace {

const char kSeparator = '\\';
const char kStoredSeparator = static_cast<char>(0xFF);


// Slashes (single-byte characters only) become backslashes.
std::string WithBackslashes(const std::string& text)
{
    std::string result = text;
    for (size_t at = 0; at < result.size(); at += CharLength(result.data(), result.size(), at))
        if (IsSingle(result, at, '/')) result[at] = kSeparator;
    return result;
}

bool IsDotsAndBlanks(const std::string& component)
{
    return component.find_first_not_of(". ") == std::string::npos;
}

// 0-9, and under code page 1252 the superscripts 1, 2 and 3, which Windows
// also takes as the digit of a COM or LPT device.
bool IsDeviceDigit(char c)
{
    if (c >= '0' && c <= '9') return true;
    const unsigned char byte = static_cast<unsigned char>(c);
    return GetACP() == 1252 && (byte == 0xB9 || byte == 0xB2 || byte == 0xB3);
}

// CON, AUX, COM1 ...: Windows opens the device for such a name whatever
// extension follows, and ignores trailing blanks before it.
bool IsDeviceName(const std::string& component)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    std::string stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = AsciiUpper(c);
    for (const char* device : kDevices)
        if (stem == device) return true;
    bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    return numbered && IsDeviceDigit(stem[3]);
}

bool HasForbiddenCharacter(const std::string& path)
{
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at)) {
        unsigned char c = static_cast<unsigned char>(path[at]);
        if (CharLength(path.data(), path.size(), at) == 2) continue;
        if (c < 0x20 || strchr("<>\"|?*", c)) return true;
    }
    return false;
}

} // namespace

std::string JoinStoredName(const std::string& folderField, const std::string& nameField)
{
    std::string folder = folderField;
    for (char& c : folder)
        if (c == kStoredSeparator) c = kSeparator;
    folder = WithBackslashes(folder);
    // LhA 1.22 for Amiga leaves out the last separator.
    if (!folder.empty() && !EndsWithChar(folder, kSeparator)) folder += kSeparator;
    // The name field holds no folders: a slash in it is a character of the name.
    std::string name = nameField;
    for (size_t at = 0; at < name.size(); at += CharLength(name.data(), name.size(), at))
        if (IsSingle(name, at, '/')) name[at] = '_';
    return folder + name;
}

void SplitStoredName(const std::string& path, std::string& folderField, std::string& nameField)
{
    size_t nameStart = 0;
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at))
        if (IsSingle(path, at, kSeparator)) nameStart = at + 1;
    folderField = path.substr(0, nameStart);
    for (size_t at = 0; at < folderField.size(); at += CharLength(folderField.data(), folderField.size(), at))
        if (IsSingle(folderField, at, kSeparator)) folderField[at] = kStoredSeparator;
    nameField = path.substr(nameStart);
}

std::vector<std::string> PathComponents(const std::string& path)
{
    std::vector<std::string> components;
    std::string current;
    for (size_t at = 0; at < path.size();) {
        size_t step = CharLength(path.data(), path.size(), at);
        if (step == 1 && path[at] == kSeparator) {
            if (!current.empty()) components.push_back(current);
            current.clear();
        } else {
            current.append(path, at, step);
        }
        at += step;
    }
    if (!current.empty()) components.push_back(current);
    return components;
}

std::string LastComponent(const std::string& path)
{
    std::string folder, name;
    SplitStoredName(path, folder, name);
    return name;
}

RelativeName StripLeadingParts(const std::string& path)
{
    size_t start = 0;
    const char first = path.empty() ? '\0' : AsciiUpper(path[0]);
    if (path.size() >= 2 && first >= 'A' && first <= 'Z' && path[1] == ':') start = 2;
    // Separators are single bytes, and a character starts at each position
    // here: nothing before it but separators and the drive prefix.
    while (start < path.size() && (path[start] == kSeparator || path[start] == '/')) ++start;
    return RelativeName{path.substr(start), path.substr(0, start)};
}

const char* UnsafeNameReason(const std::string& path)
{
    if (path.empty()) return "empty name";
    if (path[0] == kSeparator || path[0] == '/') return "absolute path";
    if (path.find(':') != std::string::npos) return "drive letter or stream name (':')";
    if (HasForbiddenCharacter(path)) return "character no file name can hold";
    for (const std::string& component : PathComponents(path)) {
        if (IsDotsAndBlanks(component)) return "'..' or dots-only component";
        if (IsDeviceName(component)) return "device name";
    }
    return nullptr;
}

std::string MemberNameForPath(const std::string& path)
{
    std::string name = WithBackslashes(path);
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    std::string result;
    for (const std::string& component : PathComponents(name)) {
        if (component == "." || component == "..") continue;
        if (!result.empty()) result += kSeparator;
        result += component;
    }
    return result;
}

std::string FoldCapitalsToLowerCase(const std::string& path)
{
    std::string folded = path;
    for (size_t at = 0; at < folded.size(); at += CharLength(folded.data(), folded.size(), at)) {
        if (CharLength(folded.data(), folded.size(), at) != 1) continue;
        const char c = folded[at];
        if (c >= 'a' && c <= 'z') return path;
        if (c >= 'A' && c <= 'Z') folded[at] = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string NameKey(const std::string& name)
{
    std::string key = name;
    for (size_t at = 0; at < key.size(); at += CharLength(key.data(), key.size(), at))
        if (CharLength(key.data(), key.size(), at) == 1) key[at] = AsciiUpper(key[at]);
    return key;
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && NameKey(a) == NameKey(b);
}

} // namespace lha
