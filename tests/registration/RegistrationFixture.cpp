// A module that only carries resources for the registration tests: scripts
// under HKEY_CURRENT_USER and, in one build, a type library of its own.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
