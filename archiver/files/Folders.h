// Making folders for extraction.
#pragma once
#include <set>
#include <string>

namespace lha {

// Makes `path` and every missing folder above it (backslash or slash
// separated, walked character by character). True when `path` is a folder at
// the end; an empty path (the current folder) is one. Asks the file system
// about the deepest folder first and climbs only while folders are missing,
// so a folder that exists costs one call. `created` tells whether this call
// made `path` itself (false when it was there already or on failure).
bool MakeFolders(const std::string& path, bool& created);

// MakeFolders for one run of a command: a folder made or found once is not
// asked about again (an extraction meets the same folder for every member in it).
class FolderMaker {
public:
    bool Make(const std::string& path);
    // True when Make made `path` in this run: nothing in it is older than the
    // run, so there is no existing file to ask about before extracting.
    bool Created(const std::string& path) const { return created_.count(path) != 0; }
    // The first folder of `relativeFolder` below `root` (root + "a\",
    // root + "a\b\", ...) that is a reparse point (a symbolic link, junction
    // or mount point, which would take what is written in it elsewhere) or
    // cannot be examined, or empty when none is; folders not there yet are none. `root` itself is
    // the caller's choice and not asked about. A folder found plain is not
    // asked about again in this run.
    std::string ReparsePointBelow(const std::string& root, const std::string& relativeFolder);

private:
    std::set<std::string> made_;
    std::set<std::string> created_;
    std::set<std::string> plain_;
};

} // namespace lha
