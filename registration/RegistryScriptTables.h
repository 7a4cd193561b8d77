// The constant tables of the registry script language: root keys, value types,
// protected key names and keywords.
#pragma once
#include <windows.h>
#include <oleauto.h>

struct RootKeyEntry {
    const char* name;
    HKEY key;
};

struct ValueTypeEntry {
    const char* letter;
    VARTYPE type;
};

constexpr int kRootKeyCount = 14;
constexpr int kValueTypeCount = 2;
constexpr int kProtectedKeyNameCount = 2;

// Searched in this order; names compared without regard to case.
extern const RootKeyEntry RootKeys[kRootKeyCount];
extern const ValueTypeEntry ValueTypes[kValueTypeCount];

// Keys that are never removed together with their subtree.
extern const char* const ProtectedKeyNames[kProtectedKeyNameCount];

// Entry keywords, matched without regard to case.
extern const char kKeywordForceRemove[];
extern const char kKeywordNoRemove[];
extern const char kKeywordDelete[];
extern const char kKeywordVal[];
