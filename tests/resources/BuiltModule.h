// Where the built module lies beside the test program, and how tests read its
// resources as data, without running any of its code.
#pragma once
#include <windows.h>

#include "common/PlatformOwners.h"

#include <string>
#include <vector>

// Every resource of the module carries this language (Japanese).
constexpr WORD ModuleResourceLanguage = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// build/bin: the folder of the running test program, with a trailing separator.
inline std::wstring BuiltFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.find_last_of(L"\\/") + 1);
}

inline std::wstring BuiltModulePath() { return BuiltFolder() + L"vesker.DLL"; }

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningOnWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The built module mapped as a data file; empty when it cannot be mapped.
inline UniqueLibrary MapBuiltModule()
{
    return UniqueLibrary(LoadLibraryExW(BuiltModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

// The bytes of one resource in one language; empty when there is none.
inline std::vector<unsigned char> ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name,
                                                WORD language = ModuleResourceLanguage)
{
    const HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (!bytes) return {};
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(module, found));
}

// A whole file's bytes; empty when it cannot be read.
inline std::vector<unsigned char> FileBytes(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        bytes.clear();
    CloseHandle(file);
    return bytes;
}
