// The words of a command line or of a response file: split at blanks outside
// double quotes; quotes group and are removed, and quoted and unquoted pieces
// that touch form one word. A backslash is an ordinary character, also right
// before a quote ("C:\out\" is C:\out\). Double-byte characters are walked
// whole, so a trail byte is never taken for a blank or a quote.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace lha {

struct Word {
    std::string text;
};

// Appends the words of `text` (`length` bytes; line ends count as blanks) to
// `words`. False with `error` when a quote is not closed.
bool SplitWords(const char* text, size_t length, std::vector<Word>& words, std::string& error);

// A response file is read whole only up to this size: a larger one is refused
// rather than given memory its size alone asks for.
const size_t kMaxResponseFileBytes = 1024 * 1024;

// The words of the response file `path` (text in the system ANSI code page).
// False with `error` when it cannot be read, is larger than
// kMaxResponseFileBytes, holds a zero byte (not text), has no words, or a
// quote in it is not closed.
bool ReadResponseFile(const std::string& path, std::vector<Word>& words, std::string& error);

} // namespace lha
