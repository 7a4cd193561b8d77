// The stand-in archiver library: answers a handful of command lines with exact,
// predictable output so that tests can drive the component byte by byte, and
// records every call for them. The command language is in StandInControl.h.
#define STANDIN_ARCHIVER_BUILD
#include "stand-in/StandInControl.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// What the latest call brought, guarded by recordLock: tests may run the
// component from several threads at once.
SRWLOCK recordLock = SRWLOCK_INIT;
LONG callCount = 0;
HWND lastWindow = nullptr;
DWORD lastSize = 0;
char* lastCommandLine = nullptr;
DWORD lastCommandLength = 0;
StandInCallback callback = nullptr;
void* callbackContext = nullptr;

const BYTE DefaultFillByte = 0x78; // "x"

struct Span {
    const char* text;
    size_t length;
};

// Splits a command line into words at single spaces. A word may be empty
// (two spaces in a row, or a trailing space); `Rest` is everything not yet taken.
class Words {
public:
    explicit Words(Span line) : rest_(line), more_(true) {}

    bool Next(Span& word)
    {
        if (!more_) return false;
        const char* space = static_cast<const char*>(memchr(rest_.text, ' ', rest_.length));
        if (!space) {
            word = rest_;
            rest_ = Span{rest_.text + rest_.length, 0};
            more_ = false;
            return true;
        }
        word = Span{rest_.text, static_cast<size_t>(space - rest_.text)};
        rest_ = Span{space + 1, rest_.length - word.length - 1};
        return true;
    }

    bool More() const { return more_; }
    Span Rest() const { return rest_; }

private:
    Span rest_;
    bool more_;
};

// The caller's output area. Never writes at or past `size`; text that does not
// fit is cut so that a terminator still fits (Terminate), while a fill may take
// every byte.
class Output {
public:
    Output(char* area, DWORD size) : area_(area), size_(area ? size : 0), used_(0) {}

    void Put(const char* bytes, size_t count)
    {
        size_t room = size_ - used_;
        if (count > room) count = room;
        if (count == 0) return;
        memcpy(area_ + used_, bytes, count);
        used_ += static_cast<DWORD>(count);
    }

    void Put(Span text) { Put(text.text, text.length); }
    void Put(const char* text) { Put(text, strlen(text)); }

    void Repeat(BYTE value, DWORD count)
    {
        DWORD room = size_ - used_;
        if (count > room) count = room;
        memset(area_ + used_, value, count);
        used_ += count;
    }

    // Ends the text with a zero byte, giving up the last byte of a full area.
    void Terminate()
    {
        if (size_ == 0) return;
        area_[used_ < size_ ? used_ : size_ - 1] = 0;
    }

    bool Full() const { return used_ == size_; }

private:
    char* area_;
    DWORD size_;
    DWORD used_;
};

bool SpanEquals(Span word, const char* name)
{
    return word.length == strlen(name) && memcmp(word.text, name, word.length) == 0;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexByte(Span word, BYTE& value)
{
    if (word.length != 2) return false;
    int high = HexDigit(word.text[0]);
    int low = HexDigit(word.text[1]);
    if (high < 0 || low < 0) return false;
    value = static_cast<BYTE>(high * 16 + low);
    return true;
}

// Decimal digits only, at least one, within `limit`.
bool ParseDigits(Span word, unsigned long long limit, unsigned long long& value)
{
    if (word.length == 0) return false;
    value = 0;
    for (size_t i = 0; i < word.length; ++i) {
        char c = word.text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > limit) return false;
    }
    return true;
}

bool ParseCount(Span word, DWORD& count)
{
    unsigned long long value;
    if (!ParseDigits(word, ULONG_MAX, value)) return false;
    count = static_cast<DWORD>(value);
    return true;
}

bool ParseSigned(Span word, int& number)
{
    bool negative = word.length > 0 && word.text[0] == '-';
    Span digits = negative ? Span{word.text + 1, word.length - 1} : word;
    unsigned long long limit = negative ? 1ULL + INT_MAX : INT_MAX;
    unsigned long long value;
    if (!ParseDigits(digits, limit, value)) return false;
    number = negative ? static_cast<int>(-static_cast<long long>(value)) : static_cast<int>(value);
    return true;
}

// Writes "<text><word>" as the whole, zero-terminated output; returns `result`.
int Answer(Output& out, const char* text, Span word, int result)
{
    out.Put(text);
    out.Put(word);
    out.Terminate();
    return result;
}

int BadArgument(Output& out, Span word) { return Answer(out, "bad argument: ", word, StandInBadArgument); }

int MissingArgument(Output& out) { return Answer(out, "missing argument", Span{"", 0}, StandInBadArgument); }

int Echo(Output& out, Words& words) { return Answer(out, "", words.Rest(), 0); }

// Checks every byte first, so a bad one leaves only the error text behind.
int Hex(Output& out, Words& words)
{
    Words check = words;
    Span word;
    BYTE value;
    while (check.Next(word)) {
        if (!ParseHexByte(word, value)) return BadArgument(out, word);
    }
    while (words.Next(word)) {
        ParseHexByte(word, value);
        out.Put(reinterpret_cast<const char*>(&value), 1);
    }
    out.Terminate();
    return 0;
}

int Fill(Output& out, Words& words)
{
    Span word;
    if (!words.Next(word)) return MissingArgument(out);
    DWORD count;
    if (!ParseCount(word, count)) return BadArgument(out, word);
    BYTE value = DefaultFillByte;
    if (words.Next(word) && !ParseHexByte(word, value)) return BadArgument(out, word);
    if (words.Next(word)) return BadArgument(out, word);
    out.Repeat(value, count);
    if (!out.Full()) out.Terminate();
    return 0;
}

int Exit(Output& out, Words& words)
{
    Span word;
    if (!words.Next(word)) return MissingArgument(out);
    int number;
    if (!ParseSigned(word, number)) return BadArgument(out, word);
    if (!words.More()) return number;
    return Answer(out, "", words.Rest(), number);
}

int Args(Output& out, HWND window, DWORD size, Span line)
{
    char head[64];
    snprintf(head, sizeof head, "hwnd=%lu size=%lu cmdline=",
        static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)), static_cast<unsigned long>(size));
    return Answer(out, head, line, 0);
}

int RunCommand(HWND window, Span line, char* area, DWORD size)
{
    if (line.length == 0) return 0;
    Output out(area, size);
    Words words(line);
    Span command;
    words.Next(command);
    if (SpanEquals(command, "echo")) return Echo(out, words);
    if (SpanEquals(command, "hex")) return Hex(out, words);
    if (SpanEquals(command, "fill")) return Fill(out, words);
    if (SpanEquals(command, "exit")) return Exit(out, words);
    if (SpanEquals(command, "args")) return Args(out, window, size, line);
    return Answer(out, "unknown command: ", command, 1);
}

// Keeps a copy of the call for the test hooks; a copy that cannot be made is
// recorded as empty.
void RecordCall(HWND window, Span line, DWORD size)
{
    AcquireSRWLockExclusive(&recordLock);
    ++callCount;
    lastWindow = window;
    lastSize = size;
    char* copy = static_cast<char*>(realloc(lastCommandLine, line.length ? line.length : 1));
    if (copy) {
        memcpy(copy, line.text, line.length);
        lastCommandLine = copy;
        lastCommandLength = static_cast<DWORD>(line.length);
    } else {
        lastCommandLength = 0;
    }
    ReleaseSRWLockExclusive(&recordLock);
}

void RunCallback()
{
    AcquireSRWLockShared(&recordLock);
    StandInCallback function = callback;
    void* context = callbackContext;
    ReleaseSRWLockShared(&recordLock);
    if (function) function(context);
}

} // namespace

extern "C" int WINAPI Unlha(HWND window, LPCSTR commandLine, LPSTR output, DWORD size)
{
    Span line{commandLine ? commandLine : "", commandLine ? strlen(commandLine) : 0};
    RecordCall(window, line, size);
    RunCallback();
    return RunCommand(window, line, output, size);
}

extern "C" LONG WINAPI StandInCallCount()
{
    AcquireSRWLockShared(&recordLock);
    LONG count = callCount;
    ReleaseSRWLockShared(&recordLock);
    return count;
}

extern "C" HWND WINAPI StandInLastWindow()
{
    AcquireSRWLockShared(&recordLock);
    HWND window = lastWindow;
    ReleaseSRWLockShared(&recordLock);
    return window;
}

extern "C" DWORD WINAPI StandInLastSize()
{
    AcquireSRWLockShared(&recordLock);
    DWORD size = lastSize;
    ReleaseSRWLockShared(&recordLock);
    return size;
}

extern "C" DWORD WINAPI StandInLastCommandLine(char* buffer, DWORD size)
{
    AcquireSRWLockShared(&recordLock);
    DWORD length = lastCommandLength;
    if (buffer && lastCommandLine) memcpy(buffer, lastCommandLine, length < size ? length : size);
    ReleaseSRWLockShared(&recordLock);
    return length;
}

extern "C" void WINAPI StandInSetCallback(StandInCallback function, void* context)
{
    AcquireSRWLockExclusive(&recordLock);
    callback = function;
    callbackContext = context;
    ReleaseSRWLockExclusive(&recordLock);
}

extern "C" void WINAPI StandInReset()
{
    AcquireSRWLockExclusive(&recordLock);
    callCount = 0;
    lastWindow = nullptr;
    lastSize = 0;
    free(lastCommandLine);
    lastCommandLine = nullptr;
    lastCommandLength = 0;
    callback = nullptr;
    callbackContext = nullptr;
    ReleaseSRWLockExclusive(&recordLock);
}

// The record's copy goes with the library when it is unloaded; at process exit
// the process's memory goes anyway.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && !reserved) StandInReset();
    return TRUE;
}
