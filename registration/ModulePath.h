// The full file path of a loaded module, in the system code page.
#pragma once
#include <windows.h>

// Fills `path` (`size` bytes) with the file name of `module`. A path that does
// not fit whole fails with HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER): a cut
// path would name another file.
HRESULT QueryModulePath(HMODULE module, char* path, DWORD size);
