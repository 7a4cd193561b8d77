#include "registration/KeyHandle.h"

LONG KeyHandle::Open(HKEY parent, const char* name, REGSAM access)
{
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(parent, name, 0, access, &opened);
    return Take(result, opened);
}

LONG KeyHandle::Create(HKEY parent, const char* name, REGSAM access)
{
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                        nullptr, &created, nullptr);
    return Take(result, created);
}

LONG KeyHandle::Close()
{
    if (!key_) return ERROR_SUCCESS;
    return RegCloseKey(key_.release());
}

LONG KeyHandle::Take(LONG result, HKEY opened)
{
    if (result != ERROR_SUCCESS) return result;
    key_.reset(opened);
    return ERROR_SUCCESS;
}
