// The stand-in archiver library UNLHA32.dll: its command entry and the hooks
// through which tests watch and steer it.
//
// Command lines (the first word selects; words are separated by one space):
//   echo <text>         writes <text>, zero-terminated; returns 0
//   hex <hh> <hh> ...   writes those bytes and a terminating zero; returns 0
//   fill <count> [<hh>] writes <count> bytes of <hh> (default 78, "x") and a zero;
//                       a count of at least the output size fills the whole area
//                       and writes no terminator
//   exit <n> [<text>]   writes <text> (nothing at all without it); returns <n>
//   args                writes "hwnd=<hwnd> size=<size> cmdline=<command line>"; returns 0
//   (empty)             writes nothing; returns 0
//   anything else       writes "unknown command: <word>"; returns 1
// A bad or missing argument of hex, fill or exit writes "bad argument: <word>"
// or "missing argument" and returns StandInBadArgument.
// Text that does not fit is cut to size - 1 bytes and still zero-terminated;
// only fill may leave the area without a terminator. Nothing is written at or
// past the given size; a null output area or size 0 receives nothing.
#pragma once
#include <windows.h>

#ifdef STANDIN_ARCHIVER_BUILD
#define STANDIN_API
#else
#define STANDIN_API __declspec(dllimport)
#endif

// The value the command entry returns for a bad or missing argument.
enum { StandInBadArgument = 2 };

// The command entry, exported as ordinal 1 (also by the name "Unlha").
typedef int(WINAPI* StandInCommandEntry)(HWND window, LPCSTR commandLine, LPSTR output, DWORD size);
typedef void(WINAPI* StandInCallback)(void* context);

#ifdef __cplusplus
extern "C" {
#endif

// Number of command entry calls since load or the last StandInReset.
STANDIN_API LONG WINAPI StandInCallCount();
// Window handle and output size of the latest call.
STANDIN_API HWND WINAPI StandInLastWindow();
STANDIN_API DWORD WINAPI StandInLastSize();
// Copies up to size bytes of the latest command line (no terminator is added)
// and returns its full length in bytes. A null buffer only asks for the length.
STANDIN_API DWORD WINAPI StandInLastCommandLine(char* buffer, DWORD size);
// The callback, when set, runs once inside every command entry call, after the
// call is recorded and before any output is written.
STANDIN_API void WINAPI StandInSetCallback(StandInCallback callback, void* context);
// Clears the call count, the latest-call record and the callback.
STANDIN_API void WINAPI StandInReset();

#ifdef __cplusplus
}
#endif
