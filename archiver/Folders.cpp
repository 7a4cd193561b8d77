#include "archiver/Folders.h"

#include "archiver/AnsiText.h"

#include <windows.h>

namespace lha {

namespace {

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool MakeFolders(const std::string& path)
{
    if (path.empty()) return true;
    // Each prefix ending before a separator; failures on the way (drive roots,
    // folders that exist) are judged by the check at the end.
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at)) {
        if (at > 0 && (IsSingle(path, at, '\\') || IsSingle(path, at, '/')))
            CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
    return IsFolder(path);
}

} // namespace lha
