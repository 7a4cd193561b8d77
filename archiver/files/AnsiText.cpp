#include "archiver/files/AnsiText.h"

#include <windows.h>

namespace lha {

size_t CharLength(const char* text, size_t length, size_t at)
{
    if (at + 1 < length && IsDBCSLeadByte(static_cast<BYTE>(text[at]))) return 2;
    return 1;
}

bool EndsWithChar(const std::string& text, char c)
{
    size_t last = std::string::npos;
    for (size_t at = 0; at < text.size(); at += CharLength(text.data(), text.size(), at)) last = at;
    return last != std::string::npos && text[last] == c && last + 1 == text.size();
}

std::string FolderPart(const std::string& path)
{
    size_t end = 0;
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at))
        if (IsSingle(path, at, '\\') || IsSingle(path, at, '/') || IsSingle(path, at, ':')) end = at + 1;
    return path.substr(0, end);
}

} // namespace lha
