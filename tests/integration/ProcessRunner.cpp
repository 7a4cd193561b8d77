#include "ProcessRunner.h"

#include <vector>

namespace {

// Closes a handle when it goes.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return handle_; }
    HANDLE* Receive()
    {
        Close();
        return &handle_;
    }
    void Close()
    {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

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
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0)) return result;
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return result;
    }
    OwnedHandle processHandle(process.hProcess);
    OwnedHandle threadHandle(process.hThread);
    writeEnd.Close(); // only the child writes to the pipe from here on
    result.started = true;

    // Poll rather than block: a program the child started may keep the pipe
    // open after the child itself has ended.
    const DWORD started = GetTickCount();
    for (;;) {
        DrainPipe(readEnd.Get(), &result.output);
        if (WaitForSingleObject(processHandle.Get(), 20) == WAIT_OBJECT_0) break;
        if (GetTickCount() - started > timeoutMs) {
            TerminateProcess(processHandle.Get(), WAIT_TIMEOUT);
            WaitForSingleObject(processHandle.Get(), INFINITE);
            break;
        }
    }
    DrainPipe(readEnd.Get(), &result.output);
    GetExitCodeProcess(processHandle.Get(), &result.exitCode);
    return result;
}
