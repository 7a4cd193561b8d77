#include "archiver/commands/CommandLine.h"

#include "archiver/commands/CommandWords.h"
#include "archiver/commands/SwitchTable.h"
#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberName.h"

#include <cstring>

namespace lha {

namespace {

const char kCommands[] = "aufmdexlvtps";
const char kArchiveExtension[] = ".lzh";

bool ParseCommand(const std::string& word, char& command)
{
    if (word.size() != 1) return false;
    const char c = static_cast<char>(word[0] >= 'A' && word[0] <= 'Z' ? word[0] - 'A' + 'a' : word[0]);
    if (!strchr(kCommands, c)) return false;
    command = c;
    return true;
}

// A word ending in a backslash (or a slash with the '-' switch character), or
// a drive alone ("C:").
bool IsBaseFolder(const std::string& word, char switchCharacter)
{
    if (word.size() == 2 && word[1] == ':' && ((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= 'a' && word[0] <= 'z')))
        return true;
    return EndsWithChar(word, '\\') || (switchCharacter == '-' && EndsWithChar(word, '/'));
}

// Slashes inside names and folders are path separators: Windows takes both.
std::string WithBackslashes(std::string word)
{
    for (size_t at = 0; at < word.size(); at += CharLength(word.data(), word.size(), at))
        if (IsSingle(word, at, '/')) word[at] = '\\';
    return word;
}

// ".lzh" is added when the last component has no '.'.
std::string ArchiveName(const std::string& word)
{
    const std::string name = word.substr(FolderPart(word).size());
    return name.find('.') == std::string::npos ? word + kArchiveExtension : word;
}

// Where the words of a line go, in the order they come.
class LineBuilder {
public:
    LineBuilder(CommandLine& line, SwitchState& state) : line_(line), state_(state) {}

    // A word that is not a switch: the archive, a base folder or a name.
    void Take(const std::string& raw)
    {
        const std::string word = WithBackslashes(raw);
        if (!haveArchive_) {
            line_.archive = ArchiveName(word);
            haveArchive_ = true;
            return;
        }
        if (IsBaseFolder(raw, state_.switchCharacter)) {
            line_.groups.push_back(NameGroup{word, {}});
            return;
        }
        if (line_.groups.empty()) line_.groups.push_back(NameGroup());
        line_.groups.back().names.push_back(word);
    }

    bool HaveArchive() const { return haveArchive_; }

private:
    CommandLine& line_;
    SwitchState& state_;
    bool haveArchive_ = false;
};

// Whether `word` is to be taken as switches: it starts with the line's switch
// character (the first word starting with '-' or '/' decides which) and `--2`
// has not made every word a name.
bool IsSwitchWord(const std::string& word, SwitchState& state)
{
    if (word.empty() || (word[0] != '-' && word[0] != '/')) return false;
    if (state.switchCharacter == 0) state.switchCharacter = word[0];
    if (word[0] != state.switchCharacter) return false;
    return !(state.literal == 2 && state.switchCharacter == '-');
}

struct Walk {
    CommandLine& line;
    SwitchState& state;
    LineBuilder& builder;
    std::string& error;
};

ParseFailure TakeWords(const std::vector<Word>& words, size_t from, bool inResponseFile, Walk& walk);

ParseFailure TakeResponseFile(const std::string& path, Walk& walk)
{
    std::vector<Word> words;
    if (!ReadResponseFile(path, words, walk.error)) return ParseFailure::ResponseFile;
    return TakeWords(words, 0, true, walk);
}

// `@` starts a response file only on the line itself, and not after `--`.
bool IsResponseFileWord(const std::string& word, const SwitchState& state, bool inResponseFile)
{
    return !inResponseFile && state.literal == 0 && word.size() > 1 && word[0] == '@';
}

ParseFailure TakeWords(const std::vector<Word>& words, size_t from, bool inResponseFile, Walk& walk)
{
    for (size_t i = from; i < words.size(); ++i) {
        const std::string& word = words[i].text;
        if (IsSwitchWord(word, walk.state)) {
            std::string name;
            if (!ApplySwitchWord(word, walk.line, walk.state, name, walk.error)) return ParseFailure::BadLine;
            if (!name.empty()) walk.builder.Take(name);  // -gb<name>
            continue;
        }
        if (word.empty()) {
            walk.error = "bad command line: an empty word (\"\")";
            return ParseFailure::BadLine;
        }
        if (IsResponseFileWord(word, walk.state, inResponseFile)) {
            ParseFailure failure = TakeResponseFile(word.substr(1), walk);
            if (failure != ParseFailure::None) return failure;
            continue;
        }
        walk.builder.Take(word);
    }
    return ParseFailure::None;
}

bool NamesGiven(const CommandLine& line)
{
    for (const NameGroup& group : line.groups)
        if (!group.names.empty()) return true;
    return false;
}

} // namespace

std::vector<std::string> CommandLine::AllNames() const
{
    std::vector<std::string> names;
    for (const NameGroup& group : groups) names.insert(names.end(), group.names.begin(), group.names.end());
    return names;
}

ParseFailure ParseCommandLine(const char* text, CommandLine& line, std::string& error)
{
    line = CommandLine();
    if (strncmp(text, "echo", 4) == 0 && (text[4] == 0 || text[4] == ' ')) {
        line.command = 0;
        line.echoText = text[4] ? text + 5 : "";
        return ParseFailure::None;
    }
    std::vector<Word> words;
    if (!SplitWords(text, strlen(text), words, error)) return ParseFailure::BadLine;
    size_t from = 0;
    if (!words.empty() && ParseCommand(words[0].text, line.command)) from = 1;
    SwitchState state;
    LineBuilder builder(line, state);
    Walk walk{line, state, builder, error};
    ParseFailure failure = TakeWords(words, from, false, walk);
    if (failure != ParseFailure::None) return failure;
    if (!builder.HaveArchive()) {
        error = "bad command line: no archive named";
        return ParseFailure::BadLine;
    }
    if (line.groups.empty()) line.groups.push_back(NameGroup());
    if (!ResolveSwitches(line, state, error)) return ParseFailure::BadLine;
    if (line.command == 'd' && !NamesGiven(line)) {
        error = "d needs the names of the members to delete (it would empty the archive)";
        return ParseFailure::NoNames;
    }
    return ParseFailure::None;
}

} // namespace lha
