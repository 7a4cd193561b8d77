// The stand-in archiver's command protocol and test hooks. Every other test
// trusts these bytes, so they are checked exactly, with guard bytes behind the
// area to catch a write past the size the caller gave.
#include "stand-in/StandInControl.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace std::string_literals;

namespace {

const unsigned char Guard = 0xCC;
const size_t GuardBytes = 16;

StandInCommandEntry CommandEntry()
{
    HMODULE library = GetModuleHandleA("UNLHA32.dll");
    if (!library) return nullptr;
    return reinterpret_cast<StandInCommandEntry>(GetProcAddress(library, MAKEINTRESOURCEA(1)));
}

// One call into an area of `size` bytes followed by guard bytes.
struct Call {
    int result;
    std::vector<unsigned char> area;

    std::string Written(size_t size) const { return std::string(area.begin(), area.begin() + size); }

    // How many bytes from the start differ from the guard pattern.
    size_t TouchedPrefix() const
    {
        size_t last = 0;
        for (size_t i = 0; i < area.size(); ++i)
            if (area[i] != Guard) last = i + 1;
        return last;
    }
};

Call RunCommand(const char* commandLine, DWORD size, HWND window = nullptr)
{
    Call call{0, std::vector<unsigned char>(size + GuardBytes, Guard)};
    call.result = CommandEntry()(window, commandLine, reinterpret_cast<char*>(call.area.data()), size);
    return call;
}

class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(CommandEntry(), nullptr) << "UNLHA32.dll has no ordinal 1";
        StandInReset();
    }
    void TearDown() override { StandInReset(); }
};

TEST_F(StandIn, EntryIsOrdinalOneAndNamedUnlha)
{
    HMODULE library = GetModuleHandleA("UNLHA32.dll");
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "Unlha")), reinterpret_cast<void*>(CommandEntry()));
}

// Output written into a roomy area: the exact bytes (terminator included, when
// one is written) and nothing after them.
struct CommandCase {
    const char* name;
    const char* commandLine;
    std::string written;
    int result;
};

const CommandCase commandCases[] = {
    {"echo text", "echo hello world", "hello world\0"s, 0},
    {"echo alone", "echo", "\0"s, 0},
    {"echo trailing space", "echo ", "\0"s, 0},
    {"echo keeps inner spaces", "echo  a  b ", " a  b \0"s, 0},
    {"echo keeps high bytes", "echo \x82\xa0\x0a", "\x82\xa0\x0a\0"s, 0},
    {"hex bytes", "hex 61 0a 62", "a\nb\0"s, 0},
    {"hex upper case digits", "hex 0D 0A FF", "\r\n\xff\0"s, 0},
    {"hex embedded zero", "hex 41 00 42", "A\0B\0"s, 0},
    {"hex alone", "hex", "\0"s, 0},
    {"hex bad digit", "hex 41 4g", "bad argument: 4g\0"s, StandInBadArgument},
    {"hex one digit", "hex 4", "bad argument: 4\0"s, StandInBadArgument},
    {"hex three digits", "hex 414", "bad argument: 414\0"s, StandInBadArgument},
    {"hex two spaces", "hex 41  42", "bad argument: \0"s, StandInBadArgument},
    {"hex trailing space", "hex 41 ", "bad argument: \0"s, StandInBadArgument},
    {"fill default byte", "fill 3", "xxx\0"s, 0},
    {"fill given byte", "fill 2 82", "\x82\x82\0"s, 0},
    {"fill zero count", "fill 0", "\0"s, 0},
    {"fill missing count", "fill", "missing argument\0"s, StandInBadArgument},
    {"fill negative count", "fill -1", "bad argument: -1\0"s, StandInBadArgument},
    {"fill count with letters", "fill 3x", "bad argument: 3x\0"s, StandInBadArgument},
    {"fill count past 32 bits", "fill 4294967296", "bad argument: 4294967296\0"s, StandInBadArgument},
    {"fill bad byte", "fill 3 zz", "bad argument: zz\0"s, StandInBadArgument},
    {"fill extra word", "fill 3 41 42", "bad argument: 42\0"s, StandInBadArgument},
    {"exit without text writes nothing", "exit 5", ""s, 5},
    {"exit with text", "exit -3 oops, a b", "oops, a b\0"s, -3},
    {"exit with empty text", "exit 7 ", "\0"s, 7},
    {"exit largest", "exit 2147483647", ""s, INT_MAX},
    {"exit smallest", "exit -2147483648", ""s, INT_MIN},
    {"exit past 32 bits", "exit 2147483648", "bad argument: 2147483648\0"s, StandInBadArgument},
    {"exit below 32 bits", "exit -2147483649", "bad argument: -2147483649\0"s, StandInBadArgument},
    {"exit missing number", "exit", "missing argument\0"s, StandInBadArgument},
    {"exit lone minus", "exit -", "bad argument: -\0"s, StandInBadArgument},
    {"exit plus sign", "exit +1", "bad argument: +1\0"s, StandInBadArgument},
    {"empty command line", "", ""s, 0},
    {"null command line", nullptr, ""s, 0},
    {"unknown command", "list a.lzh", "unknown command: list\0"s, 1},
    {"commands are case sensitive", "ECHO x", "unknown command: ECHO\0"s, 1},
    {"leading space is an empty word", " echo x", "unknown command: \0"s, 1},
};

TEST_F(StandIn, AnswersEachCommand)
{
    const DWORD size = 256;
    for (const CommandCase& c : commandCases) {
        SCOPED_TRACE(c.name);
        Call call = RunCommand(c.commandLine, size);
        EXPECT_EQ(call.result, c.result);
        EXPECT_EQ(call.Written(c.written.size()), c.written);
        EXPECT_EQ(call.TouchedPrefix(), c.written.size()) << "bytes written after the output";
    }
}

struct ArgsCase {
    const char* name;
    ULONG_PTR window;
    DWORD size;
    const char* commandLine;
    std::string written;
};

const ArgsCase argsCases[] = {
    {"no window", 0, 256, "args", "hwnd=0 size=256 cmdline=args\0"s},
    {"window as unsigned decimal", 0x12345678, 100, "args", "hwnd=305419896 size=100 cmdline=args\0"s},
    {"all bits set", 0xFFFFFFFF, 65536, "args", "hwnd=4294967295 size=65536 cmdline=args\0"s},
    {"whole command line", 7, 256, "args  x \x82\xa0", "hwnd=7 size=256 cmdline=args  x \x82\xa0\0"s},
};

TEST_F(StandIn, ArgsReportsWhatArrived)
{
    for (const ArgsCase& c : argsCases) {
        SCOPED_TRACE(c.name);
        std::vector<char> area(c.size + GuardBytes, static_cast<char>(Guard));
        int result = CommandEntry()(reinterpret_cast<HWND>(c.window), c.commandLine, area.data(), c.size);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::string(area.data(), c.written.size()), c.written);
    }
}

// Small areas: text is cut so that a terminator still fits, and nothing lands
// at or past the size.
struct SizeCase {
    const char* name;
    std::string commandLine;
    DWORD size;
    std::string written;
    int result;
};

const DWORD FillArea = 16;

const SizeCase sizeCases[] = {
    {"size 0 receives nothing", "echo abc", 0, ""s, 0},
    {"size 1 holds only the terminator", "echo abc", 1, "\0"s, 0},
    {"echo cut before the terminator", "echo abc", 3, "ab\0"s, 0},
    {"echo fits exactly", "echo abc", 4, "abc\0"s, 0},
    {"hex cut", "hex 41 42 43", 2, "A\0"s, 0},
    {"args cut", "args", 8, "hwnd=0 \0"s, 0},
    {"exit text cut, number kept", "exit 9 hello", 2, "h\0"s, 9},
    {"error text cut", "hex zz", 4, "bad\0"s, StandInBadArgument},
    {"unknown command cut", "what", 5, "unkn\0"s, 1},
    {"fill below size", "fill 15", FillArea, std::string(15, 'x') + '\0', 0},
    {"fill of size writes no terminator", "fill 16", FillArea, std::string(16, 'x'), 0},
    {"fill past size stops at size", "fill 17 82", FillArea, std::string(16, '\x82'), 0},
    {"largest fill stops at size", "fill 4294967295", FillArea, std::string(16, 'x'), 0},
    {"fill into size 0", "fill 5", 0, ""s, 0},
};

TEST_F(StandIn, NeverWritesPastSize)
{
    for (const SizeCase& c : sizeCases) {
        SCOPED_TRACE(c.name);
        Call call = RunCommand(c.commandLine.c_str(), c.size);
        EXPECT_EQ(call.result, c.result);
        EXPECT_EQ(call.Written(c.written.size()), c.written);
        EXPECT_EQ(call.TouchedPrefix(), c.written.size());
    }
}

// A null output area with any size: the command still runs and answers.
struct NullAreaCase {
    const char* name;
    const char* commandLine;
    DWORD size;
    int result;
};

const NullAreaCase nullAreaCases[] = {
    {"echo", "echo abc", 256, 0},
    {"fill", "fill 300", 256, 0},
    {"exit", "exit 4 text", 256, 4},
    {"unknown", "what", 0, 1},
    {"bad argument", "hex q", 16, StandInBadArgument},
};

TEST_F(StandIn, NullAreaReceivesNothing)
{
    for (const NullAreaCase& c : nullAreaCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CommandEntry()(nullptr, c.commandLine, nullptr, c.size), c.result);
    }
}

// The hooks: each call is counted and recorded as it arrived.
struct RecordCase {
    const char* name;
    ULONG_PTR window;
    std::string commandLine;
    DWORD size;
};

TEST_F(StandIn, RecordsEveryCall)
{
    std::string longLine = "echo " + std::string(100000, 'q');
    const RecordCase cases[] = {
        {"plain", 0, "echo a", 256},
        {"window and size", 0xABCD, "hex 41", 65536},
        {"high bytes", 1, "echo \x82\xa0\xff", 32},
        {"failing command", 2, "what now", 8},
        {"long command line", 3, longLine, 64},
        {"empty", 4, "", 0},
    };
    EXPECT_EQ(StandInCallCount(), 0);
    LONG expectedCount = 0;
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunCommand(c.commandLine.c_str(), c.size, reinterpret_cast<HWND>(c.window));
        ++expectedCount;
        EXPECT_EQ(StandInCallCount(), expectedCount);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(StandInLastWindow()), c.window);
        EXPECT_EQ(StandInLastSize(), c.size);
        ASSERT_EQ(StandInLastCommandLine(nullptr, 0), c.commandLine.size());
        std::string copy(c.commandLine.size(), '\0');
        EXPECT_EQ(StandInLastCommandLine(&copy[0], static_cast<DWORD>(copy.size())), c.commandLine.size());
        EXPECT_EQ(copy, c.commandLine);
    }
}

TEST_F(StandIn, NullCommandLineIsRecordedEmpty)
{
    RunCommand("echo before", 16);
    RunCommand(nullptr, 16);
    EXPECT_EQ(StandInCallCount(), 2);
    EXPECT_EQ(StandInLastCommandLine(nullptr, 0), 0u);
}

// A short buffer gets a prefix and nothing beyond it; the length is the full one.
TEST_F(StandIn, LastCommandLineCopiesOnlyWhatFits)
{
    const std::string line = "echo abcdef";
    RunCommand(line.c_str(), 64);
    for (DWORD size : {0u, 1u, 5u, 10u, 11u}) {
        SCOPED_TRACE(size);
        std::vector<char> buffer(size + GuardBytes, static_cast<char>(Guard));
        EXPECT_EQ(StandInLastCommandLine(buffer.data(), size), line.size());
        EXPECT_EQ(std::string(buffer.data(), size), line.substr(0, size));
        for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(static_cast<unsigned char>(buffer[i]), Guard) << i;
    }
}

struct CallbackProbe {
    int calls = 0;
    LONG countSeen = -1;
    std::string lineSeen;
    unsigned char firstByteSeen = 0;
    const unsigned char* area = nullptr;
};

void WINAPI Probe(void* context)
{
    CallbackProbe* probe = static_cast<CallbackProbe*>(context);
    ++probe->calls;
    probe->countSeen = StandInCallCount();
    probe->lineSeen.resize(StandInLastCommandLine(nullptr, 0));
    StandInLastCommandLine(&probe->lineSeen[0], static_cast<DWORD>(probe->lineSeen.size()));
    probe->firstByteSeen = probe->area[0];
}

// The callback runs once per call, sees the call already recorded, and runs
// before any output is written.
TEST_F(StandIn, CallbackRunsInsideEachCallBeforeOutput)
{
    CallbackProbe probe;
    std::vector<unsigned char> area(64, Guard);
    probe.area = area.data();
    StandInSetCallback(Probe, &probe);
    const char* lines[] = {"echo one", "what", "fill 3"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(lines[i]);
        area.assign(64, Guard);
        CommandEntry()(nullptr, lines[i], reinterpret_cast<char*>(area.data()), 64);
        EXPECT_EQ(probe.calls, i + 1);
        EXPECT_EQ(probe.countSeen, i + 1);
        EXPECT_EQ(probe.lineSeen, lines[i]);
        EXPECT_EQ(probe.firstByteSeen, Guard);
        EXPECT_NE(area[0], Guard) << "the command wrote nothing after the callback";
    }
}

TEST_F(StandIn, ResetClearsRecordAndCallback)
{
    CallbackProbe probe;
    std::vector<unsigned char> area(8, Guard);
    probe.area = area.data();
    StandInSetCallback(Probe, &probe);
    RunCommand("echo x", 8, reinterpret_cast<HWND>(9));
    ASSERT_EQ(probe.calls, 1);

    StandInReset();
    EXPECT_EQ(StandInCallCount(), 0);
    EXPECT_EQ(StandInLastWindow(), nullptr);
    EXPECT_EQ(StandInLastSize(), 0u);
    EXPECT_EQ(StandInLastCommandLine(nullptr, 0), 0u);

    RunCommand("echo y", 8);
    EXPECT_EQ(probe.calls, 1) << "callback still set after reset";
    EXPECT_EQ(StandInCallCount(), 1);
}

// Component tests call in from several threads at once; no call may be lost.
TEST_F(StandIn, CountsCallsFromManyThreads)
{
    const int threadCount = 4, callsEach = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([] {
            char area[32];
            for (int i = 0; i < callsEach; ++i) CommandEntry()(nullptr, "echo threads", area, sizeof area);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(StandInCallCount(), threadCount * callsEach);
    std::string line(StandInLastCommandLine(nullptr, 0), '\0');
    StandInLastCommandLine(&line[0], static_cast<DWORD>(line.size()));
    EXPECT_EQ(line, "echo threads");
}

} // namespace
