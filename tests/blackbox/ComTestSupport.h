// Helpers shared by the server, component and black-box test programs.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "client/BstrText.h"
#include "common/PlatformOwners.h"
#include "stand-in/StandInControl.h"
#include "vesker.h"

// The text of a BSTR; null reads as "(null)" so that it differs from "".
inline std::wstring Text(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : L"(null)";
}

// The bytes of the latest command line that reached the stand-in archiver.
inline std::string LastCommandLine()
{
    std::string bytes(StandInLastCommandLine(nullptr, 0), '\0');
    StandInLastCommandLine(&bytes[0], static_cast<DWORD>(bytes.size()));
    return bytes;
}

// Runs `work` on `count` threads released together.
inline void RunTogether(int count, const std::function<void(int)>& work)
{
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            WaitForSingleObject(go, INFINITE);
            work(i);
        });
    }
    SetEvent(go);
    for (auto& thread : threads) thread.join();
    CloseHandle(go);
}

// An outer object that aggregates an inner one: it keeps the inner unknown,
// answers IUnknown itself and every other interface through the inner one.
// It lives on the stack; its count shows which references reach it.
class OuterObject : public IUnknown {
public:
    IUnknown* inner = nullptr;
    LONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

// Sends this process's HKEY_CLASSES_ROOT to an empty private key for the
// holder's life, so that no registration made by another test program is
// seen, and the type library is registered exactly when a test says so.
class ClassesRootOverride {
public:
    ClassesRootOverride()
    {
        name_ = "Software\\vesker-tests\\" + std::to_string(GetCurrentProcessId());
        RegCreateKeyExA(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        RegOverridePredefKey(HKEY_CLASSES_ROOT, key_);
    }
    ~ClassesRootOverride()
    {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, name_.c_str());
    }

    // Registers the built vesker.tlb as VESKERLib 1.0 (the one key the loader reads).
    void RegisterTypeLibrary()
    {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        lstrcpyA(strrchr(path, '\\') + 1, "vesker.tlb");
        WCHAR libraryId[40];
        StringFromGUID2(LIBID_VESKERLib, libraryId, 40);
        const std::wstring name = L"TypeLib\\" + std::wstring(libraryId) + L"\\1.0\\0\\win32";
        HKEY key = nullptr;
        RegCreateKeyExW(key_, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), lstrlenA(path) + 1);
        RegCloseKey(key);
    }
    void UnregisterTypeLibrary() { RegDeleteTreeA(key_, "TypeLib"); }

    // What loading the library fails with while it is not registered.
    static HRESULT NotRegisteredCode()
    {
        ITypeLib* library = nullptr;
        const HRESULT hr = LoadRegTypeLib(LIBID_VESKERLib, 1, 0, 0, &library);
        if (library) library->Release();
        return hr;
    }

private:
    std::string name_;
    HKEY key_ = nullptr;
};
