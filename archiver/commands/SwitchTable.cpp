#include "archiver/commands/SwitchTable.h"

#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberName.h"

#include <cstring>

namespace lha {

namespace {

enum class ValueKind {
    Number,        // a digit run, '+' (1), '-' (0), or nothing (1)
    NumberOrText,  // a number as above when the rest is one, else the rest is text (-w, -z)
    Text,          // the rest of the word (-jb, -gb, -gr)
};

const int kAnyValue = -1;

struct Setting {
    int value;
    const std::string& text;  // for text values; empty otherwise
    bool isText;
};

using ApplyFunction = void (*)(CommandLine&, SwitchState&, std::string& name, const Setting&);

struct SwitchRow {
    const char* letters;  // lower case
    ValueKind kind;
    int low;
    int high;             // kAnyValue: every number is accepted
    ApplyFunction apply;
};

const char* const kMethodsByNumber[] = {"-lh0-", "-lh1-", "-lh5-", "-lh6-", "-lh7-"};  // -jm0..4

void NoEffect(CommandLine&, SwitchState&, std::string&, const Setting&) {}

void SetFullNames(CommandLine&, SwitchState& s, std::string&, const Setting& v) { s.fullNames = v.value; }
void SetRecursion(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.recursion = v.value; }
void SetPrecise(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.precise = v.value != 0; }
void SetIgnoreTime(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.ignoreTime = v.value != 0; }
void SetQuestions(CommandLine&, SwitchState& s, std::string&, const Setting& v) { s.questions = v.value; }
void SetYes(CommandLine&, SwitchState& s, std::string&, const Setting& v) { s.questions = v.value ? 1 : 0; }
void SetAttributes(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.attributes = v.value; }
void SetFolderMembers(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.folderMembers = v.value != 0; }
void SetArchiveTime(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.archiveTime = v.value != 0; }
void SetHeaderLevel(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.headerLevel = v.value; }
void SetNoProgress(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.noProgress = v.value; }
void SetQuietSkipped(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.quietSkipped = v.value != 0; }
void SetLiteral(CommandLine&, SwitchState& s, std::string&, const Setting& v) { s.literal = v.value; }
void SetReplace(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.replaceInTheWay = v.value != 0; }
void SetExclusive(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.exclusive = v.value != 0; }
void SetCountFailures(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.countFailures = v.value != 0; }
void SetStopOnWarning(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.stopOnWarning = v.value != 0; }
void SetSfxKind(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.sfxKind = v.value; }
void SetSfxProgram(CommandLine& l, SwitchState&, std::string&, const Setting& v) { l.sfxProgram = v.text; }
void SetName(CommandLine&, SwitchState&, std::string& name, const Setting& v) { name = v.text; }

// -w, -w1: the current folder; -w0: beside the archive; -w<folder>.
void SetWorkFolder(CommandLine& l, SwitchState&, std::string&, const Setting& v)
{
    l.useWorkFolder = v.isText || v.value != 0;
    l.workFolder = v.isText ? v.text : std::string();
}

// -z0, -z1, -z2; -z<ext> stores that extension and makes the rest -z2.
void SetStore(CommandLine& l, SwitchState&, std::string&, const Setting& v)
{
    if (!v.isText) {
        l.store = v.value;
        if (v.value == 0) l.storeExtensions.clear();
        return;
    }
    std::string extension = v.text[0] == '.' ? v.text.substr(1) : v.text;
    for (char& c : extension) c = AsciiUpper(c);
    l.storeExtensions.push_back(extension);
    l.store = 2;
}

// -jm<n>: the method; a later -jm undoes an earlier -z1.
void SetMethod(CommandLine& l, SwitchState&, std::string&, const Setting& v)
{
    l.method = kMethodsByNumber[v.value];
    if (l.store == 1) l.store = 0;
}

// -o1: -lh1- with level 1 headers; -o5, -o6, -o7: the method; other digits change nothing.
void SetOldMethod(CommandLine& l, SwitchState& s, std::string& n, const Setting& v)
{
    struct OldMethod {
        int value;
        int methodNumber;  // as -jm
        int level;         // 0: the level stays
    };
    static const OldMethod kOldMethods[] = {{1, 1, 1}, {5, 2, 0}, {6, 3, 0}, {7, 4, 0}};
    for (const OldMethod& row : kOldMethods) {
        if (row.value != v.value) continue;
        SetMethod(l, s, n, Setting{row.methodNumber, v.text, false});
        if (row.level) l.headerLevel = row.level;
    }
}

void SetStoredFolder(CommandLine& l, SwitchState&, std::string&, const Setting& v)
{
    l.storedFolder = v.text;
    for (size_t at = 0; at < l.storedFolder.size(); at += CharLength(l.storedFolder.data(), l.storedFolder.size(), at))
        if (IsSingle(l.storedFolder, at, '/')) l.storedFolder[at] = '\\';
    if (!l.storedFolder.empty() && !EndsWithChar(l.storedFolder, '\\')) l.storedFolder += '\\';
}

// Longer names first, so that "jso" is found before "j" could be tried.
const SwitchRow kSwitches[] = {
    {"jso", ValueKind::Number, 0, 1, SetExclusive},
    {"jsc", ValueKind::Number, 0, 1, SetCountFailures},
    {"jse", ValueKind::Number, 0, 1, SetStopOnWarning},
    {"jsp", ValueKind::Number, 0, kAnyValue, NoEffect},  // our refusal rules for unsafe names always apply
    {"jsm", ValueKind::Number, 0, kAnyValue, NoEffect},
    {"jyo", ValueKind::Number, 0, 1, SetReplace},
    {"jyc", ValueKind::Number, 0, 1, NoEffect},          // folders are made without asking anyway
    {"jm", ValueKind::Number, 0, 4, SetMethod},
    {"jb", ValueKind::Text, 0, 0, SetStoredFolder},
    {"jf", ValueKind::Number, 0, 1, NoEffect},           // drives and leading separators are never stored
    {"jp", ValueKind::Number, 0, kAnyValue, NoEffect},
    {"ji", ValueKind::Number, 0, kAnyValue, NoEffect},
    {"gm", ValueKind::Number, 0, kAnyValue, NoEffect},   // no message box is ever shown
    {"gb", ValueKind::Text, 0, 0, SetName},
    {"gw", ValueKind::Number, 0, 4, SetSfxKind},
    {"gr", ValueKind::Text, 0, 0, SetSfxProgram},
    {"gx", ValueKind::Number, 0, kAnyValue, NoEffect},
    {"x", ValueKind::Number, 0, 1, SetFullNames},
    {"r", ValueKind::Number, 0, 2, SetRecursion},
    {"p", ValueKind::Number, 0, 1, SetPrecise},
    {"c", ValueKind::Number, 0, 1, SetIgnoreTime},
    {"m", ValueKind::Number, 0, 2, SetQuestions},
    {"y", ValueKind::Number, 0, 1, SetYes},
    {"a", ValueKind::Number, 0, 2, SetAttributes},
    {"d", ValueKind::Number, 0, 1, SetFolderMembers},
    {"w", ValueKind::NumberOrText, 0, 1, SetWorkFolder},
    {"t", ValueKind::Number, 0, 1, SetArchiveTime},
    {"z", ValueKind::NumberOrText, 0, 2, SetStore},
    {"o", ValueKind::Number, 0, 9, SetOldMethod},
    {"h", ValueKind::Number, 0, 2, SetHeaderLevel},
    {"n", ValueKind::Number, 0, 2, SetNoProgress},
    {"s", ValueKind::Number, 0, 1, SetQuietSkipped},
    {"i", ValueKind::Number, 0, kAnyValue, NoEffect},    // case never matters on Windows
    {"l", ValueKind::Number, 0, kAnyValue, NoEffect},    // the text's form is fixed
    {"q", ValueKind::Number, 0, kAnyValue, NoEffect},
    {"+", ValueKind::Number, 0, 1, NoEffect},            // there are no stored settings
    {"-", ValueKind::Number, 0, 2, SetLiteral},
};

bool LettersAt(const std::string& word, size_t at, const char* letters)
{
    const size_t length = strlen(letters);
    if (word.size() - at < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<char>(tolower(static_cast<unsigned char>(word[at + i]))) != letters[i]) return false;
    return true;
}

const SwitchRow* FindSwitch(const std::string& word, size_t at)
{
    for (const SwitchRow& row : kSwitches)
        if (LettersAt(word, at, row.letters)) return &row;
    return nullptr;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number at `at`; `at` moves past it. -1 when the digit run is too long to be a value.
int ReadNumber(const std::string& word, size_t& at)
{
    if (at < word.size() && word[at] == '+') return ++at, 1;
    if (at < word.size() && word[at] == '-') return ++at, 0;
    if (at >= word.size() || !IsDigit(word[at])) return 1;
    int value = 0;
    for (size_t digits = 0; at < word.size() && IsDigit(word[at]); ++at, ++digits) {
        if (digits == 9) return -1;
        value = value * 10 + (word[at] - '0');
    }
    return value;
}

// The rest of the word is a number (or nothing) rather than text.
bool RestIsNumber(const std::string& word, size_t at)
{
    if (at == word.size()) return true;
    if ((word[at] == '+' || word[at] == '-') && at + 1 == word.size()) return true;
    for (size_t i = at; i < word.size(); ++i)
        if (!IsDigit(word[i])) return false;
    return true;
}

bool InRange(const SwitchRow& row, int value)
{
    return value >= row.low && (row.high == kAnyValue || value <= row.high);
}

} // namespace

bool ApplySwitchWord(const std::string& word, CommandLine& line, SwitchState& state, std::string& name,
                     std::string& error)
{
    const char prefix = word[0];
    if (word.size() == 1) {
        error = std::string("bad command line: an empty switch (") + prefix + ")";
        return false;
    }
    size_t at = 1;
    while (at < word.size()) {
        const SwitchRow* row = FindSwitch(word, at);
        if (!row) {
            error = std::string("bad command line: unknown switch ") + prefix + word.substr(at);
            return false;
        }
        const size_t start = at;
        at += strlen(row->letters);
        const std::string empty;
        if (row->kind == ValueKind::Text || (row->kind == ValueKind::NumberOrText && !RestIsNumber(word, at))) {
            const std::string text = word.substr(at);
            row->apply(line, state, name, Setting{0, text, true});
            return true;
        }
        const int value = ReadNumber(word, at);
        if (!InRange(*row, value)) {
            error = std::string("bad command line: value out of range in ") + prefix + word.substr(start, at - start);
            return false;
        }
        row->apply(line, state, name, Setting{value, empty, false});
    }
    return true;
}

bool ResolveSwitches(CommandLine& line, const SwitchState& state, std::string& error)
{
    line.keepFolders = state.fullNames == -1 ? line.command == 'x' : state.fullNames == 1;
    line.questions = state.questions == -1 ? (line.command == 'x' ? 1 : 0) : state.questions;
    if (line.storedFolder.empty()) return true;
    const std::string folder = line.storedFolder.substr(0, line.storedFolder.size() - 1);
    if (StripLeadingParts(folder).removed.empty()) {
        if (const char* unsafe = UnsafeNameReason(folder)) {
            error = "bad command line: -jb" + folder + ": " + unsafe;
            return false;
        }
        return true;
    }
    error = "bad command line: -jb" + folder + ": a folder inside the archive has no drive or leading separator";
    return false;
}

} // namespace lha
