// vesker.DLL loaded into the test process the way COM loads it, its objects,
// and the type library registration that late-bound calls need.
#pragma once
#include "common/InterfaceHolder.h"

#include <windows.h>
#include <oaidl.h>

#include <string>

// The built module, loaded once and kept for the whole program.
HMODULE VeskerModule();

// A new UnLha object through the module's own DllGetClassObject; empty on failure.
InterfaceHolder<IDispatch> NewUnLhaObject();

// Sends this process's HKEY_CLASSES_ROOT to a private, empty key while it
// lives, so that registering and unregistering the type library here neither
// sees nor disturbs another test program's registrations in the prefix.
class PrivateClassesRoot {
public:
    PrivateClassesRoot();
    PrivateClassesRoot(const PrivateClassesRoot&) = delete;
    PrivateClassesRoot& operator=(const PrivateClassesRoot&) = delete;
    ~PrivateClassesRoot();

private:
    std::wstring name_;
    HKEY key_ = nullptr;
};

// VESKERLib 1.0 registered from the module file with the platform's
// RegisterTypeLib, and removed again with UnRegisterTypeLib.
HRESULT RegisterVeskerTypeLib();
HRESULT UnregisterVeskerTypeLib();
