#include "archiver/commands/CommandLine.h"

#include "archiver/files/AnsiText.h"

#include <cstring>

namespace lha {

namespace {

struct Argument {
    std::string text;
    bool quoted = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at blanks outside double quotes; quotes join and are removed, so
// `""` is an empty argument.
bool SplitArguments(const char* text, std::vector<Argument>& arguments, std::string& error)
{
    size_t length = strlen(text);
    size_t at = 0;
    while (at < length) {
        while (at < length && IsBlank(text[at])) ++at;
        if (at == length) break;
        Argument argument;
        bool inQuotes = false;
        while (at < length && (inQuotes || !IsBlank(text[at]))) {
            size_t step = CharLength(text, length, at);
            if (step == 1 && text[at] == '"') {
                inQuotes = !inQuotes;
                argument.quoted = true;
            } else {
                argument.text.append(text + at, step);
            }
            at += step;
        }
        if (inQuotes) {
            error = "bad command line: a double quote is not closed";
            return false;
        }
        arguments.push_back(argument);
    }
    return true;
}

// -m<n>: the digit after m picks the method of the members added.
struct MethodSwitch {
    char digit;
    const char* method;
};

const MethodSwitch kMethodSwitches[] = {
    {'0', "-lh0-"},
    {'5', "-lh5-"},
    {'6', "-lh6-"},
    {'7', "-lh7-"},
};

const char kStoredMethod[] = "-lh0-";  // -s

// The method -m<digit> names; false with `error` for any other digit or none.
bool ApplyMethodSwitch(const std::string& word, size_t digitAt, CommandLine& line, std::string& error)
{
    for (const MethodSwitch& row : kMethodSwitches) {
        if (digitAt < word.size() && word[digitAt] == row.digit) {
            line.method = row.method;
            return true;
        }
    }
    error = "bad command line: -m takes 0 (store), 5, 6 or 7 (-lh0-, -lh5-, -lh6-, -lh7-): " + word;
    return false;
}

bool ApplySwitch(const std::string& word, CommandLine& line, std::string& error)
{
    if (word.size() < 2) {
        error = "bad command line: empty switch";
        return false;
    }
    for (size_t i = 1; i < word.size(); ++i) {
        switch (word[i]) {
        case 'o': case 'O': line.overwrite = true; break;
        case 's': case 'S': line.method = kStoredMethod; break;
        case 'r': case 'R': line.recurse = true; break;
        case 'm': case 'M':
            if (!ApplyMethodSwitch(word, i + 1, line, error)) return false;
            ++i;  // the digit
            break;
        default:
            error = "bad command line: unknown switch " + word;
            return false;
        }
    }
    return true;
}

bool ParseCommand(const std::string& word, CommandLine& line, std::string& error)
{
    static const char kCommands[] = "lvtxepaumfd";
    if (word.size() == 1) {
        char c = word[0] >= 'A' && word[0] <= 'Z' ? static_cast<char>(word[0] - 'A' + 'a') : word[0];
        if (strchr(kCommands, c)) {
            line.command = c;
            return true;
        }
    }
    error = "bad command line: unknown command " + word;
    return false;
}

// The commands that change an archive take nothing by default.
bool NeedsNames(char command) { return strchr("aumfd", command) != nullptr; }

} // namespace

bool ParseCommandLine(const char* text, CommandLine& line, std::string& error)
{
    line = CommandLine();
    if (strncmp(text, "echo", 4) == 0 && (text[4] == 0 || text[4] == ' ')) {
        line.echoText = text[4] ? text + 5 : "";
        return true;
    }
    std::vector<Argument> arguments;
    if (!SplitArguments(text, arguments, error)) return false;
    if (arguments.empty()) {
        error = "bad command line: no command";
        return false;
    }
    if (!ParseCommand(arguments[0].text, line, error)) return false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const Argument& argument = arguments[i];
        if (!argument.quoted && argument.text.size() > 0 && argument.text[0] == '-') {
            if (!ApplySwitch(argument.text, line, error)) return false;
            continue;
        }
        if (argument.text.empty()) {
            error = "bad command line: empty argument";
            return false;
        }
        if (line.archive.empty()) {
            line.archive = argument.text;
        } else if (line.folder.empty() && line.names.empty() && EndsWithChar(argument.text, '\\')) {
            line.folder = argument.text;
        } else {
            line.names.push_back(argument.text);
        }
    }
    if (line.archive.empty()) {
        error = "bad command line: no archive named";
        return false;
    }
    if (NeedsNames(line.command) && line.names.empty()) {
        error = std::string("bad command line: command ") + line.command + " needs names";
        return false;
    }
    return true;
}

} // namespace lha
