// Questions the unregister pass asks about a key before it removes it.
// RemoveKeyTree is declared with the rest of the parser in ScriptParser.h.
#pragma once
#include <windows.h>
#include "registration/ScriptParser.h"

// False for the names that are never removed with their subtree.
bool IsRemovableKeyName(const char* name);

// True when the key reports at least one subkey; false when it has none or the
// question fails.
bool KeyHasSubkeys(HKEY key);

// True when the key holds two or more values, one named value, or only an
// empty default value; a key whose one value is a non-empty default value does
// not count.
bool KeyHoldsValues(HKEY key);

// A subkey name as the registry gives it back: 255 characters, each of up to
// two bytes in a double-byte code page, and the terminator.
constexpr DWORD kKeyNameBufferSize = 512;
