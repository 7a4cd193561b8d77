// m (move): adds as a does, then removes the sources that went in. Nothing is
// removed unless the new archive has replaced the old one; then only the files
// that were added, and only when they are as they were found (a file changed
// meanwhile may hold what the archive does not). Folders that were added go
// too, deepest first, but only when the move left them empty; the base folder
// given on the command line is never removed.
#include "archiver/commands/Commands.h"

#include <windows.h>

#include <algorithm>

namespace lha {

namespace {

bool RemoveFile(const AddedSource& file, Report& report)
{
    if (!(StampOf(file.path) == file.stamp)) {
        report.Out().Printf("%s: changed while being moved, kept\n", file.path.c_str());
        report.Raise(kFileOpen);
        return false;
    }
    if (DeleteFileA(file.path.c_str())) return true;
    report.Out().Printf("%s: cannot remove (error %lu)\n", file.path.c_str(), GetLastError());
    report.Raise(kFileOpen);
    return false;
}

// A folder that still holds something (a file not added, or one kept above)
// stays; that is no failure.
void RemoveFolderIfEmpty(const std::string& path, Report& report)
{
    if (RemoveDirectoryA(path.c_str())) return;
    if (GetLastError() == ERROR_DIR_NOT_EMPTY) {
        report.Out().Printf("%s: folder not empty, kept\n", path.c_str());
        return;
    }
    report.Out().Printf("%s: cannot remove the folder (error %lu)\n", path.c_str(), GetLastError());
    report.Raise(kFileOpen);
}

} // namespace

FileStamp StampOf(const std::string& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.known = true;
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

int MoveToArchive(const CommandLine& line, Report& report)
{
    if (line.sfxKind >= 0) return MakeSelfExtracting(line, report);
    AddedSources added;
    int code = AddFiles(line, report, added);
    if (added.files.empty() && added.folders.empty()) return code;
    RemoveMovedSources(added, report);
    return report.Code();
}

void RemoveMovedSources(const AddedSources& added, Report& report)
{
    unsigned removed = 0;
    for (const AddedSource& file : added.files)
        if (RemoveFile(file, report)) ++removed;
    // A folder's path is longer than that of any folder holding it.
    std::vector<std::string> folders = added.folders;
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders) RemoveFolderIfEmpty(folder, report);
    report.Out().Printf("%u files moved\n", removed);
}

} // namespace lha
