// Making folders for extraction.
#pragma once
#include <string>

namespace lha {

// Makes `path` and every missing folder above it (backslash or slash
// separated, walked character by character). True when `path` is a folder at
// the end; an empty path (the current folder) is one.
bool MakeFolders(const std::string& path);

} // namespace lha
