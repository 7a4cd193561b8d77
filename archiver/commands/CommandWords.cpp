#include "archiver/commands/CommandWords.h"

#include "archiver/files/AnsiText.h"
#include "archiver/files/FileHandle.h"

#include <cstring>

namespace lha {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ReadWhole(const std::string& path, std::string& text, std::string& error)
{
    FileHandle file;
    if (!file.OpenRead(path.c_str())) {
        error = "cannot read the response file " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    uint64_t size = 0;
    if (!file.Size(size) || size > kMaxResponseFileBytes) {
        error = "the response file " + path + " is larger than " + std::to_string(kMaxResponseFileBytes) + " bytes";
        return false;
    }
    text.resize(static_cast<size_t>(size));
    size_t got = 0;
    if (size > 0 && (!file.Read(&text[0], text.size(), got) || got != text.size())) {
        error = "cannot read the response file " + path;
        return false;
    }
    if (memchr(text.data(), 0, text.size()) != nullptr) {
        error = "the response file " + path + " is not text (it holds a zero byte)";
        return false;
    }
    return true;
}

} // namespace

bool SplitWords(const char* text, size_t length, std::vector<Word>& words, std::string& error)
{
    size_t at = 0;
    while (at < length) {
        while (at < length && IsBlank(text[at])) ++at;
        if (at == length) break;
        Word word;
        bool inQuotes = false;
        while (at < length && (inQuotes || !IsBlank(text[at]))) {
            const size_t step = CharLength(text, length, at);
            if (step == 1 && text[at] == '"')
                inQuotes = !inQuotes;
            else
                word.text.append(text + at, step);
            at += step;
        }
        if (inQuotes) {
            error = "bad command line: a double quote is not closed";
            return false;
        }
        words.push_back(word);
    }
    return true;
}

bool ReadResponseFile(const std::string& path, std::vector<Word>& words, std::string& error)
{
    std::string text;
    if (!ReadWhole(path, text, error)) return false;
    std::vector<Word> found;
    if (!SplitWords(text.data(), text.size(), found, error)) {
        error = "the response file " + path + ": a double quote is not closed";
        return false;
    }
    if (found.empty()) {
        error = "the response file " + path + " has no words";
        return false;
    }
    words.insert(words.end(), found.begin(), found.end());
    return true;
}

} // namespace lha
