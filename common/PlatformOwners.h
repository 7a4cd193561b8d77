// Owners of the platform resources the tree holds, one alias per kind; each
// frees its resource once, with the platform's own release function.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "common/UniqueResource.h"

using UniqueBstr = UniqueResource<BSTR, SysFreeString>;
using UniqueKey = UniqueResource<HKEY, RegCloseKey>;
using UniqueLibrary = UniqueResource<HMODULE, FreeLibrary>;
// Null means none: a handle that CreateFile reports as INVALID_HANDLE_VALUE
// must not be stored.
using UniqueHandle = UniqueResource<HANDLE, CloseHandle>;

// A block of COM task memory, seen as `Block*`.
template <typename Block>
using UniqueTaskMemory = UniqueResource<Block*, CoTaskMemFree>;
