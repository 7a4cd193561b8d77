// Scratch folders, text conversions and registry probes shared by the
// registration and integration tests.
#pragma once
#include <windows.h>

#include "common/PlatformOwners.h"

#include <optional>
#include <string>

// Text in the system ANSI code page, and back.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

// Whether every character of `text` exists in the system ANSI code page:
// folder names that do not cannot reach an ANSI path, so their cases are skipped.
bool FitsSystemCodePage(const std::wstring& text);

// build/bin, where the test programs and the built modules lie (trailing separator).
std::wstring BinFolder();
// vesker.DLL of build/bin, beside the stand-in archiver.
std::wstring BinModule();

// A folder of its own under the temporary folder, removed with everything in
// it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; } // no trailing separator

    // Creates `relative` (one or more levels) below the scratch folder.
    std::wstring MakeFolder(const std::wstring& relative) const;

    // Copies `source` to `folder`\`name`; returns the new file's path, empty on failure.
    static std::wstring CopyInto(const std::wstring& source, const std::wstring& folder, const std::wstring& name);

private:
    std::wstring path_;
};

// Copies `source` into folders below `scratch` chosen so that the copy's
// path is exactly `length` characters long; returns that path.
std::wstring CopyToPathOfLength(const ScratchFolder& scratch, const std::wstring& source, size_t length);

// A module loaded for the duration of a test; empty when it cannot be loaded.
inline UniqueLibrary LoadModule(const std::wstring& path)
{
    return UniqueLibrary(LoadLibraryW(path.c_str()));
}

// One registry value as stored: its type and its bytes.
struct StoredValue {
    DWORD type;
    std::string data;
    bool operator==(const StoredValue& other) const { return type == other.type && data == other.data; }
};

bool KeyExists(HKEY root, const std::string& path);
// Null when the key or the value is missing; `name` empty for the default value.
std::optional<StoredValue> ReadValue(HKEY root, const std::string& path, const std::string& name);
// A REG_SZ value as written, without its terminator.
StoredValue TextValue(const std::string& text);
// Removes the key with everything beneath it; a missing key is no error.
void DeleteTree(HKEY root, const std::string& path);

// HRESULT as eight hex digits, for failure messages.
std::string HexResult(HRESULT hr);
