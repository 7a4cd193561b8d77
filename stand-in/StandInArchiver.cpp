#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI Unlha(HWND, LPCSTR, LPSTR output, DWORD size)
{
    if (output && size) output[0] = 0;
    return 0;
}
