// Test helpers: a scratch registry key per test, a subtree written from and
// dumped into a compact text form, and texts that end at an inaccessible page.
//
// Tree text: entries separated by "|". An entry is a key path ("a\b"), or a
// value "path [name] type:data" where path "." is the scratch key itself,
// name is empty for the default value, and type is sz (REG_SZ, data without
// the terminator), sz0 (REG_SZ of zero bytes), dword (decimal) or hex (any
// other type, data as hex bytes).
#pragma once
#include <windows.h>

#include "GuardedMemory.h"

#include <string>
#include <vector>

class ScratchKey {
public:
    // HKEY_CURRENT_USER\Software\vesker-test-<name>, made empty.
    explicit ScratchKey(const std::string& name);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY Get() const { return key_; }
    // The tree below the key, in tree text, entries sorted.
    std::string Dump() const;
    void Build(const std::string& tree) const;
    // Empties the key and builds `tree` in it.
    void Reset(const std::string& tree = "") const;
    // A second handle to the key with read access only.
    HKEY OpenReadOnly() const;
    // Whether the key can still be opened by its path.
    bool Exists() const;

    static const char* Parent() { return "Software"; }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    HKEY key_ = nullptr;
};

// Every entry of the subtree under `key` (keys and values), sorted.
std::vector<std::string> DumpTree(HKEY key);
// Sorts the entries of a tree text, so that tables may list them in any order.
std::string SortedTree(const std::string& tree);

// True when the system code page is the double-byte Japanese one.
bool IsJapaneseCodePage();
