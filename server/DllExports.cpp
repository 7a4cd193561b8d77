#include <windows.h>
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE, DWORD, LPVOID) { return TRUE; }
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_OK; }
extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** out) { if (out) *out = nullptr; return CLASS_E_CLASSNOTAVAILABLE; }
