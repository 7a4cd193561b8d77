// The walks over the object map behind the registration exports.
#pragma once
#include <windows.h>

struct ServerModule;

// Runs the registration function of every row taken (with a class filter, the
// row of that class; without one, every row without a description) in order,
// and stops at the first failure. When all succeeded and `registerTypeLib` is
// not zero, the result is that of registering the module's type library.
HRESULT RegisterAllClasses(ServerModule* module, BOOL registerTypeLib, const CLSID* classFilter);

// Runs the unregistration of every row taken, whatever each returns; S_OK.
// The type library stays registered.
HRESULT UnregisterAllClasses(ServerModule* module, const CLSID* classFilter);
