// A DLL planted beside a program under a system DLL's name: when anything
// loads it, it leaves a marker file named after it in the folder that
// VESKER_PLANT_MARKS names, and does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VESKER_PLANT_MARKS", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 32) return TRUE;
    char path[MAX_PATH];
    lstrcpyA(path, folder);
    lstrcatA(path, "\\" PLANTED_NAME ".loaded");
    HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return TRUE;
}
