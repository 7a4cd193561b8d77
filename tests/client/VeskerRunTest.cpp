// vesker-run.exe: how it takes its command line, what it prints for the
// object's results, and how it fails when the component is missing.
#include "client/ArchiverCommandLine.h"
#include "common/PlatformOwners.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct CommandLineCase {
    const char* name;
    const wchar_t* programCommandLine;
    const wchar_t* archiverCommandLine;
};

const CommandLineCase commandLineCases[] = {
    {"no arguments", L"vesker-run.exe", L""},
    {"empty quoted argument", L"vesker-run.exe \"\"", L""},
    {"one quoted argument keeps its spaces", L"vesker-run.exe \"echo  a  b \"", L"echo  a  b "},
    {"bare words joined by one space", L"vesker-run.exe echo   a\tb", L"echo a b"},
    {"quoted program path", L"\"C:\\a dir\\vesker-run.exe\" echo x", L"echo x"},
    {"escaped quotes inside", L"vesker-run.exe \"x \\\"my archive.lzh\\\"\"", L"x \"my archive.lzh\""},
    {"backslashes before a quote", L"vesker-run.exe \"a\\\\\\\\\" b", L"a\\\\ b"},
    {"plain backslashes kept", L"vesker-run.exe x C:\\dir\\", L"x C:\\dir\\"},
    {"non-ASCII text intact", L"vesker-run.exe \"echo \x65e5\x672c \x00e9\"", L"echo \x65e5\x672c \x00e9"},
};

TEST(ArchiverCommandLine, JoinsTheProgramsArguments)
{
    for (const CommandLineCase& c : commandLineCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ArchiverCommandLine(c.programCommandLine), std::wstring(c.archiverCommandLine));
    }
}

// What the child left in the pipe. Does not wait for the pipe's end: under
// Wine a process the child starts on demand (the desktop process, explorer.exe)
// can take over the child's standard handles and keep the pipe open after the
// child has gone, where on Windows the end would come with the child's exit.
std::string Drain(HANDLE pipe)
{
    std::string text;
    char chunk[4096];
    DWORD available = 0, got = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(pipe, chunk, sizeof chunk < available ? sizeof chunk : available, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

struct Outcome {
    DWORD exitCode = ~0u;
    std::string out;
    std::string err;
};

// Runs a program with its stdout and stderr on pipes. The outputs are far
// shorter than a pipe holds, so the child never waits for a reader and both
// pipes can be read once it has exited.
Outcome RunProgram(const std::wstring& program, const std::wstring& arguments)
{
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) || !CreatePipe(errRead.put(), errWrite.put(), &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe: " << GetLastError();
        return outcome;
    }
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
        return outcome;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    outWrite.reset();
    errWrite.reset();
    if (WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not exit";
        TerminateProcess(processHandle.get(), 1);
        return outcome;
    }
    GetExitCodeProcess(processHandle.get(), &outcome.exitCode);
    outcome.out = Drain(outRead.get());
    outcome.err = Drain(errRead.get());
    return outcome;
}

std::wstring ProgramDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

// Results printed for a command line; rows bound to a code page run only
// under it (0: any). stdout is a pipe here, so the text arrives as UTF-8.
struct RunCase {
    const char* name;
    UINT codePage;
    const wchar_t* arguments;
    const char* out;
};

const RunCase runCases[] = {
    {"echo", 0, L"\"echo hello world\"", "ErrorCode: 0\nResultString: hello world\n"},
    {"bare words", 0, L"echo hello   world", "ErrorCode: 0\nResultString: hello world\n"},
    {"quotes reach the archiver", 0, L"\"echo \\\"a b\\\"\"", "ErrorCode: 0\nResultString: \"a b\"\n"},
    {"negative return value", 0, L"\"exit -7 oops\"", "ErrorCode: -7\nResultString: oops\n"},
    {"line ends become CR LF", 0, L"\"hex 61 0a 62\"", "ErrorCode: 0\nResultString: a\r\nb\n"},
    {"no command line", 0, L"", "ErrorCode: 0\nResultString: \n"},
    {"archiver failure is still a run", 0, L"list", "ErrorCode: 1\nResultString: unknown command: list\n"},
    {"double-byte output", 932, L"\"hex 82 a0 41\"", u8"ErrorCode: 0\nResultString: \u3042A\n"},
    {"Japanese command line", 932, L"\"echo \x65e5\x672c\"", u8"ErrorCode: 0\nResultString: \u65e5\u672c\n"},
    {"Western output", 1252, L"\"hex e9 41\"", u8"ErrorCode: 0\nResultString: \u00e9A\n"},
    {"Western command line", 1252, L"\"echo \x00e9t\x00e9\"", u8"ErrorCode: 0\nResultString: \u00e9t\u00e9\n"},
};

TEST(VeskerRun, PrintsTheObjectsResults)
{
    const std::wstring program = ProgramDirectory() + L"vesker-run.exe";
    const UINT codePage = GetACP();
    for (const RunCase& c : runCases) {
        if (c.codePage && c.codePage != codePage) continue;
        SCOPED_TRACE(c.name);
        Outcome outcome = RunProgram(program, c.arguments);
        EXPECT_EQ(outcome.exitCode, 0u) << outcome.err;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, "");
    }
}

// Without vesker.DLL beside it the program says so on stderr, prints no
// results and fails.
TEST(VeskerRun, ReportsAMissingComponent)
{
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring directory = std::wstring(temp) + L"vesker-run-alone-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr)) << GetLastError();
    std::wstring program = directory + L"\\vesker-run.exe";
    ASSERT_TRUE(CopyFileW((ProgramDirectory() + L"vesker-run.exe").c_str(), program.c_str(), TRUE)) << GetLastError();

    Outcome outcome = RunProgram(program, L"\"echo hello\"");

    DeleteFileW(program.c_str());
    RemoveDirectoryW(directory.c_str());
    EXPECT_NE(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find("cannot load"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("vesker.DLL"), std::string::npos) << outcome.err;
}

} // namespace
