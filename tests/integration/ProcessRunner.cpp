#include "ProcessRunner.h"
#include "common/PlatformOwners.h"

#include <vector>

namespace {

// Moves whatever the pipe holds now into `text`, without blocking.
void DrainPipe(HANDLE pipe, std::string* text)
{
    char buffer[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available) {
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || !read) return;
        text->append(buffer, read);
    }
}

} // namespace

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs)
{
    ProcessResult result = {false, 0, std::string()};
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return result;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writeEnd.reset(); // only the child writes to the pipe from here on
    result.started = true;

    // Poll rather than block: a program the child started may keep the pipe
    // open after the child itself has ended.
    const DWORD started = GetTickCount();
    for (;;) {
        DrainPipe(readEnd.get(), &result.output);
        if (WaitForSingleObject(processHandle.get(), 20) == WAIT_OBJECT_0) break;
        if (GetTickCount() - started > timeoutMs) {
            TerminateProcess(processHandle.get(), WAIT_TIMEOUT);
            WaitForSingleObject(processHandle.get(), INFINITE);
            break;
        }
    }
    DrainPipe(readEnd.get(), &result.output);
    GetExitCodeProcess(processHandle.get(), &result.exitCode);
    return result;
}
