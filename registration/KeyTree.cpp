#include "registration/KeyTree.h"
#include "registration/KeyHandle.h"
#include "registration/RegistryScriptTables.h"

bool IsRemovableKeyName(const char* name)
{
    for (const char* protectedName : ProtectedKeyNames) {
        if (lstrcmpiA(name, protectedName) == 0) return false;
    }
    return true;
}

bool KeyHasSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    const LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
    return result == ERROR_SUCCESS && subkeys > 0;
}

bool KeyHoldsValues(HKEY key)
{
    DWORD values = 0;
    const LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         &values, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS || values == 0) return false;
    if (values > 1) return true;
    // One value: it counts unless it is a default value with data.
    DWORD size = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return true;
    return size == 0;
}

LONG RemoveKeyTree(HKEY parent, const char* name)
{
    KeyHandle key;
    LONG result = key.Open(parent, name, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) return result;
    for (;;) {
        // Index 0 each time: the subkey found last time is gone.
        char subkey[kKeyNameBufferSize];
        DWORD length = kKeyNameBufferSize;
        if (RegEnumKeyExA(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        // An empty name would open this key again, without end.
        if (!subkey[0]) break;
        result = RemoveKeyTree(key.Get(), subkey);
        if (result != ERROR_SUCCESS) return result;
    }
    key.Close();
    return RegDeleteKeyA(parent, name);
}
