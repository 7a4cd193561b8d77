#include "dispatch/VeskerServer.h"

#include "resources/BuiltModule.h"

#include <vesker.h>

#include <gtest/gtest.h>

#include <oleauto.h>

HMODULE VeskerModule()
{
    static const HMODULE module = LoadLibraryW(BuiltModulePath().c_str());
    return module;
}

InterfaceHolder<IDispatch> NewUnLhaObject()
{
    InterfaceHolder<IDispatch> object;
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        reinterpret_cast<GetClassObject>(GetProcAddress(VeskerModule(), "DllGetClassObject"));
    if (!getClassObject) {
        ADD_FAILURE() << "vesker.DLL did not load or has no DllGetClassObject";
        return object;
    }
    InterfaceHolder<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_UnLha, IID_IClassFactory, factory.put_void()), S_OK);
    if (factory) EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    return object;
}

namespace {

const wchar_t PrivateRootsKey[] = L"Software\\vesker-dispatch-tests";

}  // namespace

PrivateClassesRoot::PrivateClassesRoot()
    : name_(std::wstring(PrivateRootsKey) + L"\\" + std::to_wstring(GetCurrentProcessId()))
{
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, key_), ERROR_SUCCESS);
}

PrivateClassesRoot::~PrivateClassesRoot()
{
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    // Fails, as it should, while another test program still has its key there.
    RegDeleteKeyW(HKEY_CURRENT_USER, PrivateRootsKey);
}

HRESULT RegisterVeskerTypeLib()
{
    std::wstring path = BuiltModulePath();
    InterfaceHolder<ITypeLib> library;
    const HRESULT loaded = LoadTypeLib(path.c_str(), library.put());
    if (FAILED(loaded)) return loaded;
    return RegisterTypeLib(library.get(), &path[0], nullptr);
}

HRESULT UnregisterVeskerTypeLib() { return UnRegisterTypeLib(LIBID_VESKERLib, 1, 0, 0, SYS_WIN32); }
