// The archiver library's command entry, bound by ordinal 1 of UNLHA32.dll when
// the module loads: (owner window, ANSI command line, output area, its size).
#pragma once
#include <windows.h>

extern "C" __declspec(dllimport) int WINAPI Unlha(HWND window, LPCSTR commandLine, LPSTR output,
                                                  DWORD outputSize);

// Bytes of the area the library writes its output text into, per command.
constexpr DWORD kOutputAreaSize = 0x10000;
