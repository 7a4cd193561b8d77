// Turns a Win32 error code into the HRESULT the module reports for it.
#pragma once
#include <windows.h>

// 0 stays S_OK; anything else becomes a failure of the Win32 facility.
inline HRESULT HResultFromWin32(DWORD code)
{
    if (code == 0) return S_OK;
    return static_cast<HRESULT>((code & 0xFFFF) | 0x80070000);
}

// For a call that has just failed: its last-error code as an HRESULT. A call
// that failed without setting one still failed, so 0 gives E_FAIL, never S_OK.
inline HRESULT HResultFromLastError()
{
    const DWORD code = GetLastError();
    return code ? HResultFromWin32(code) : E_FAIL;
}
