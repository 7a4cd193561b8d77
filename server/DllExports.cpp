// The loader's entry point and the exported in-process server functions.
#include <windows.h>
#include "server/RegistrationWalks.h"
#include "server/ServerModule.h"

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return ModuleAttachDetach(instance, reason, reserved);
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return ModuleCanUnloadNow(&g_serverModule);
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out)
{
    return LookupClassObject(&g_serverModule, classId, iid, out);
}

// Registers every class and then the type library.
extern "C" HRESULT WINAPI DllRegisterServer()
{
    return RegisterAllClasses(&g_serverModule, TRUE, nullptr);
}

// Removes what the classes' scripts wrote; the type library stays registered.
// Uninstallers expect success here whatever is left to remove.
extern "C" HRESULT WINAPI DllUnregisterServer()
{
    UnregisterAllClasses(&g_serverModule, nullptr);
    return S_OK;
}
