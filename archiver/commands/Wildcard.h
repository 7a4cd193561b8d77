// Member selection by names and wildcards: `*` matches any run of characters,
// `?` one character (a whole double-byte character), ASCII letters match in
// either case.
#pragma once
#include <string>
#include <vector>

namespace lha {

// Whether a member is selected by one of `patterns` (all members when there
// are none). A pattern selects a member when it matches the member's path, the
// member's last component (for a pattern without a backslash), or one of the
// folders the member is in (so naming a folder selects what is inside).
bool IsSelected(const std::vector<std::string>& patterns, const std::string& memberPath);

} // namespace lha
