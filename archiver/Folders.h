// Making folders for extraction.
#pragma once
#include <set>
#include <string>

namespace lha {

// Makes `path` and every missing folder above it (backslash or slash
// separated, walked character by character). True when `path` is a folder at
// the end; an empty path (the current folder) is one. Asks the file system
// about the deepest folder first and climbs only while folders are missing,
// so a folder that exists costs one call.
bool MakeFolders(const std::string& path);

// MakeFolders for one run of a command: a folder made or found once is not
// asked about again (an extraction meets the same folder for every member in it).
class FolderMaker {
public:
    bool Make(const std::string& path);

private:
    std::set<std::string> made_;
};

} // namespace lha
