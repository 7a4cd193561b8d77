#include "registration/ModulePath.h"
#include "common/HResult.h"

HRESULT QueryModulePath(HMODULE module, char* path, DWORD size)
{
    if (size == 0) return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    path[0] = 0;
    const DWORD length = GetModuleFileNameA(module, path, size);
    if (length == 0) return HResultFromLastError();
    // A full buffer means the name was cut (and, on older systems, left without
    // its terminator).
    if (length >= size) {
        path[size - 1] = 0;
        return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    }
    return S_OK;
}
