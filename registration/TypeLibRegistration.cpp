#include "registration/TypeLibRegistration.h"
#include "registration/ModulePath.h"
#include "common/HResult.h"
#include "common/InterfaceHolder.h"
#include "server/ServerModule.h"

#include <oleauto.h>

namespace {

constexpr char kTypeLibFileEnding[] = ".tlb";

// Appends the index text in the system code page; the whole path must still fit.
HRESULT AppendIndexText(char* path, size_t size, const WCHAR* index)
{
    const size_t used = static_cast<size_t>(lstrlenA(path));
    const int room = static_cast<int>(size - used);
    if (WideCharToMultiByte(CP_ACP, 0, index, -1, path + used, room, nullptr, nullptr)) return S_OK;
    path[used] = 0;
    return HResultFromLastError();
}

// Converts `path` into `widePath` (MAX_PATH units) and loads the type library there.
HRESULT LoadTypeLibFromPath(const char* path, WCHAR* widePath, InterfaceHolder<ITypeLib>* typeLib)
{
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) return HResultFromLastError();
    return LoadTypeLib(widePath, typeLib->put());
}

} // namespace

size_t DirectoryLength(const WCHAR* path)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; ++i) {
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') length = i + 1;
    }
    return length;
}

HRESULT TypeLibFilePath(char* path, size_t size)
{
    // Walk by character: the second byte of a double-byte character may look like a dot.
    char* lastDot = nullptr;
    char* end = path;
    for (; *end; end = CharNextA(end)) {
        if (*end == '.') lastDot = end;
    }
    char* ending = lastDot ? lastDot : end;
    if (static_cast<size_t>(ending - path) + sizeof(kTypeLibFileEnding) > size) {
        return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    }
    lstrcpyA(ending, kTypeLibFileEnding);
    return S_OK;
}

void HelpDirectoryFromPath(const WCHAR* path, WCHAR* directory)
{
    const size_t length = DirectoryLength(path);
    memcpy(directory, path, length * sizeof(WCHAR));
    directory[length] = 0;
}

HRESULT TypeLibRegistration(ServerModule* module, const WCHAR* index)
{
    if (!module) return E_INVALIDARG;
    // Every path built here must fit MAX_PATH whole: a cut path would register
    // another file, so a path without room fails instead.
    char path[MAX_PATH];
    HRESULT hr = QueryModulePath(module->typeLibInstance, path, MAX_PATH);
    if (FAILED(hr)) return hr;
    if (index) {
        hr = AppendIndexText(path, MAX_PATH, index);
        if (FAILED(hr)) return hr;
    }

    WCHAR widePath[MAX_PATH];
    InterfaceHolder<ITypeLib> typeLib;
    hr = LoadTypeLibFromPath(path, widePath, &typeLib);
    if (FAILED(hr)) {
        hr = TypeLibFilePath(path, MAX_PATH);
        if (FAILED(hr)) return hr;
        hr = LoadTypeLibFromPath(path, widePath, &typeLib);
        if (FAILED(hr)) return hr;
    }

    WCHAR helpDirectory[MAX_PATH];
    HelpDirectoryFromPath(widePath, helpDirectory);
    return RegisterTypeLib(typeLib.get(), widePath, helpDirectory);
}
