#include "sfx/Switches.h"

#include "archiver/files/AnsiText.h"

#include <vector>

namespace sfx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Words at blanks outside double quotes; quotes are removed.
std::vector<std::string> SplitWords(const char* text)
{
    std::vector<std::string> words;
    const char* p = text;
    while (*p) {
        while (IsBlank(*p)) ++p;
        if (!*p) break;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || !IsBlank(*p)); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
        }
        words.push_back(word);
    }
    return words;
}

bool ApplySwitch(const std::string& word, Switches& switches)
{
    const char letter = lha::AsciiUpper(word[1]);
    if (letter == 'E' && word.size() > 2) {
        switches.destination = word.substr(2);
        return true;
    }
    if (word.size() != 2) return false;
    if (letter == 'S') return switches.silent = true;
    if (letter == 'O') return switches.overwrite = true;
    return false;
}

} // namespace

bool ParseSwitches(const char* commandLine, Switches& switches, std::string& error)
{
    std::vector<std::string> words = SplitWords(commandLine);
    // The first word is the program's own name.
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool isSwitch = word.size() >= 2 && (word[0] == '/' || word[0] == '-');
        if (isSwitch && ApplySwitch(word, switches)) continue;
        error = "unknown switch or word: " + word + "\nswitches: /s (silent), /e<folder> (destination), /o (replace files)";
        return false;
    }
    return true;
}

} // namespace sfx
