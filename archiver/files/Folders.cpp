#include "archiver/files/Folders.h"

#include "archiver/files/AnsiText.h"

#include <windows.h>

namespace lha {

namespace {

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSeparator(const std::string& text, size_t at) { return IsSingle(text, at, '\\') || IsSingle(text, at, '/'); }

// Where the folder above `path` ends (its last separator but a trailing one),
// or npos when `path` has no folder above it.
size_t ParentEnd(const std::string& path)
{
    size_t last = std::string::npos;
    for (size_t at = 0; at < path.size(); at += CharLength(path.data(), path.size(), at)) {
        if (!IsSeparator(path, at)) continue;
        if (at + 1 == path.size()) break;  // the trailing one
        last = at;
    }
    return last == 0 ? std::string::npos : last;
}

} // namespace

bool MakeFolders(const std::string& path, bool& created)
{
    created = false;
    if (path.empty()) return true;
    if (CreateDirectoryA(path.c_str(), nullptr)) return created = true;
    // A folder (or file) of that name, a drive root, no access: the check decides.
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return IsFolder(path);
    size_t parentEnd = ParentEnd(path);
    bool parentCreated;
    if (parentEnd == std::string::npos || !MakeFolders(path.substr(0, parentEnd), parentCreated)) return false;
    if (CreateDirectoryA(path.c_str(), nullptr)) return created = true;
    return IsFolder(path);
}

bool FolderMaker::Make(const std::string& path)
{
    if (made_.count(path) != 0) return true;
    bool created;
    if (!MakeFolders(path, created)) return false;
    made_.insert(path);
    if (created) created_.insert(path);
    return true;
}

std::string FolderMaker::ReparsePointBelow(const std::string& root, const std::string& relativeFolder)
{
    for (size_t at = 0; at < relativeFolder.size(); at += CharLength(relativeFolder.data(), relativeFolder.size(), at)) {
        if (!IsSeparator(relativeFolder, at)) continue;
        // Asked without the trailing separator, so the answer is about the
        // entry itself and not about where it leads.
        const std::string folder = root + relativeFolder.substr(0, at);
        if (plain_.count(folder) != 0) continue;
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            // Missing: nothing deeper is there either. Any other failure
            // leaves the folder unexamined, and it counts as suspect.
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::string();
            return folder;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return folder;
        plain_.insert(folder);
    }
    return std::string();
}

} // namespace lha
