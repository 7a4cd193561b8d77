// Member selection by names and wildcards: `*` matches any run of characters,
// `?` one character (a whole double-byte character), ASCII letters match in
// either case.
#pragma once
#include "archiver/commands/CommandLine.h"

#include <string>
#include <vector>

namespace lha {

// Whether a member is selected by one of `patterns` (all members when there
// are none). A pattern selects a member when it matches the member's path, the
// member's last component (for a pattern without a backslash), or one of the
// folders the member is in (so naming a folder selects what is inside).
// `precise` (-p): only the whole path counts.
bool IsSelected(const std::vector<std::string>& patterns, const std::string& memberPath, bool precise = false);

// The first group of the line whose names select the member (a group without
// names selects every member), or null: a member two groups select goes
// where the first one says.
const NameGroup* SelectingGroup(const CommandLine& line, const std::string& memberPath);

// Whether `name` holds a '*' or '?' (single-byte characters only).
bool HasWildcard(const std::string& name);

// Whether `text` matches `pattern` ('*', '?', ASCII letters in either case).
bool MatchesPattern(const std::string& pattern, const std::string& text);

} // namespace lha
