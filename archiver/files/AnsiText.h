// Walking text in the system ANSI code page one character at a time, so that
// the trail byte of a double-byte character (0x5C, the backslash, is one in
// code page 932) is never taken for a character of its own.
#pragma once
#include <cstddef>
#include <string>

namespace lha {

// Bytes taken by the character at `text[at]`: 2 for a lead byte followed by a
// trail byte within `length`, else 1. A lead byte at the very end stands alone.
size_t CharLength(const char* text, size_t length, size_t at);

// True when the character at `at` is the single byte `c`.
inline bool IsSingle(const std::string& text, size_t at, char c)
{
    return text[at] == c && CharLength(text.data(), text.size(), at) == 1;
}

// True when the last character of `text` is the single byte `c`.
bool EndsWithChar(const std::string& text, char c);

// `c` with ASCII letters in upper case; every other byte as it is.
inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `path` up to and including its last single-byte '\', '/' or ':'; empty
// when it has none.
std::string FolderPart(const std::string& path);

} // namespace lha
