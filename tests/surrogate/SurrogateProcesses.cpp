#include "SurrogateProcesses.h"

#include <tlhelp32.h>

namespace {

const wchar_t kSurrogateImage[] = L"dllhost.exe";
const DWORD kExitWaitMs = 10000;
const wchar_t kRpcSubsystem[] = L"RpcSs";
const DWORD kServicePollMs = 250;

struct ServiceHandle {
    SC_HANDLE handle = nullptr;
    ~ServiceHandle()
    {
        if (handle) CloseServiceHandle(handle);
    }
};

ServiceProcess ServiceNow(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
        return {0, 0};
    }
    return {status.dwCurrentState, status.dwProcessId};
}

bool EndProcess(DWORD id)
{
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) return false;
    const bool ended = TerminateProcess(process, 1) && WaitForSingleObject(process, kExitWaitMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

} // namespace

std::vector<DWORD> SurrogateProcessIds()
{
    std::vector<DWORD> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, kSurrogateImage) == 0) ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

int EndSurrogates()
{
    int ended = 0;
    for (DWORD id : SurrogateProcessIds()) ended += EndProcess(id) ? 1 : 0;
    return ended;
}

ServiceProcess RpcSubsystem()
{
    ServiceHandle manager;
    manager.handle = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.handle) return {0, 0};
    ServiceHandle service;
    service.handle = OpenServiceW(manager.handle, kRpcSubsystem, SERVICE_QUERY_STATUS);
    return service.handle ? ServiceNow(service.handle) : ServiceProcess{0, 0};
}

ServiceProcess WaitForRpcSubsystem(DWORD limitMs, int* starts)
{
    *starts = 0;
    ServiceHandle manager;
    manager.handle = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.handle) return {0, 0};
    ServiceHandle service;
    service.handle = OpenServiceW(manager.handle, kRpcSubsystem, SERVICE_QUERY_STATUS | SERVICE_START);
    if (!service.handle) return {0, 0};
    const DWORD started = GetTickCount();
    for (;;) {
        const ServiceProcess now = ServiceNow(service.handle);
        // Wine: a service whose start the manager gave up on may still say it
        // runs, with no process of the manager's behind it, until it is ended.
        if ((now.state == SERVICE_RUNNING && now.processId) || GetTickCount() - started > limitMs) return now;
        // A start the manager gives up on leaves the service stopped again:
        // ask once more then.
        if (now.state == SERVICE_STOPPED) {
            ++*starts;
            StartServiceW(service.handle, 0, nullptr);
        }
        Sleep(kServicePollMs);
    }
}
