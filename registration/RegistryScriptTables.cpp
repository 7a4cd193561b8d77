#include "registration/RegistryScriptTables.h"

const RootKeyEntry RootKeys[kRootKeyCount] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

const ValueTypeEntry ValueTypes[kValueTypeCount] = {
    {"S", VT_BSTR},
    {"D", VT_I4},
};

const char* const ProtectedKeyNames[kProtectedKeyNameCount] = {"CLSID", "TYPELIB"};

const char kKeywordForceRemove[] = "ForceRemove";
const char kKeywordNoRemove[] = "NoRemove";
const char kKeywordDelete[] = "Delete";
const char kKeywordVal[] = "Val";
