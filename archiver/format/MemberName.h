// Member names: paths in the system ANSI code page with backslash separators,
// walked one character at a time (a double-byte character whose trail byte is
// 0x5C is never split). A folder member's name ends with a backslash.
#pragma once
#include <string>
#include <vector>

namespace lha {

// The member path from a header's folder (0x02) and name (0x01) fields: 0xFF
// and single-byte slashes in the folder field become backslashes, and it gets
// a trailing backslash when it lacks one; a slash in the name field becomes
// '_'. Either field may be empty.
std::string JoinStoredName(const std::string& folderField, const std::string& nameField);

// The folder field (0xFF separators, trailing 0xFF) and the name field of a
// level 2 header for `path`. A path ending in a backslash has an empty name.
void SplitStoredName(const std::string& path, std::string& folderField, std::string& nameField);

// The components between backslashes, empty ones dropped.
std::vector<std::string> PathComponents(const std::string& path);

// The part after the last backslash (empty for a folder member).
std::string LastComponent(const std::string& path);

// A member path made relative to the destination: archives written with
// "full paths" (MacLHA's volume name after a leading 0xFF, LHMelt's root,
// DOS drive names) still extract inside it.
struct RelativeName {
    std::string path;     // what is left, to be checked by UnsafeNameReason
    std::string removed;  // the leading part taken away ("\\", "C:\"), empty when none
};

// `path` without a drive prefix (an ASCII letter and ':') and then without
// every leading backslash or slash: "\a\b" -> "a\b", "C:\a" -> "a",
// "C:a" -> "a", "\\server\share\x" -> "server\share\x". Nothing else
// changes, so a ':' further on (a stream, "\C:\x") is still refused.
RelativeName StripLeadingParts(const std::string& path);

// Why `path` may not be written under a destination folder, or null when it
// may: empty, leading backslash or slash (StripLeadingParts removes those),
// ':' anywhere (drive letters, alternate streams), a '..' or other dots-only
// component, a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
// CONOUT$, with any extension, in any case, in any component), or a character
// no file name can hold.
const char* UnsafeNameReason(const std::string& path);

// The member name for a file given as `path` on the command line: drive and
// leading separators dropped, '.' and '..' components dropped, slashes made
// backslashes. Empty when nothing is left.
std::string MemberNameForPath(const std::string& path);

// `path` with its ASCII letters in lower case when it has no lower-case
// letter at all (names of DOS-era tools, stored in capitals); else as it is.
// Double-byte characters are kept whole and never looked into.
std::string FoldCapitalsToLowerCase(const std::string& path);

// Names equal but for the case of ASCII letters.
bool SameName(const std::string& a, const std::string& b);

// The name with its ASCII letters in upper case (double-byte characters kept
// whole): two names are the same name exactly when their keys are equal, so
// large sets of names can be looked up by key instead of compared pairwise.
std::string NameKey(const std::string& name);

} // namespace lha
