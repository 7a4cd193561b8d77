// Registers the type library of the module's file (or of a ".tlb" file beside
// it) with the system, so that late-bound clients find it by library id.
#pragma once
#include <windows.h>

struct ServerModule;

// Loads the type library of the module's typeLibInstance (with `index` text
// appended to its path when not null), or failing that the ".tlb" file of the
// same name, and registers it with its folder as help directory.
HRESULT TypeLibRegistration(ServerModule* module, const WCHAR* index);

// Units up to and including the last '\', '/' or ':' of `path`; 0 without one.
size_t DirectoryLength(const WCHAR* path);

// Rewrites `path` (a buffer of `size` bytes) to name the ".tlb" file: the part
// from its last '.' on is replaced, or ".tlb" is appended when it has no '.'.
// ERROR_INSUFFICIENT_BUFFER, path unchanged, when the result would not fit.
HRESULT TypeLibFilePath(char* path, size_t size);

// Copies the folder part of `path` (DirectoryLength units) into `directory`,
// which holds at least as many units as `path` and its terminator.
void HelpDirectoryFromPath(const WCHAR* path, WCHAR* directory);
