#include "SurrogateProcesses.h"

#include <tlhelp32.h>

namespace {

const wchar_t kSurrogateImage[] = L"dllhost.exe";
const DWORD kExitWaitMs = 10000;

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
