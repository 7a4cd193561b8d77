// Every key and value below a registry key, for comparing registry states.
#pragma once
#include <windows.h>

#include <map>
#include <set>
#include <string>

struct SnapshotValue {
    DWORD type;
    std::wstring data; // the raw bytes, two to a unit (an odd last byte padded)
    bool operator==(const SnapshotValue& other) const { return type == other.type && data == other.data; }
    bool operator!=(const SnapshotValue& other) const { return !(*this == other); }
};

// Key path (relative, "" for the starting key) -> value name -> value.
using RegistrySnapshot = std::map<std::wstring, std::map<std::wstring, SnapshotValue>>;

// Reads `root`\`path` and everything beneath it; empty when the key is missing.
RegistrySnapshot TakeSnapshot(HKEY root, const std::wstring& path);

// A REG_SZ value holding `text`, as a snapshot holds it.
SnapshotValue Text(const std::wstring& text);

// Lines describing how `after` differs from `before`, ignoring keys under any
// of the `ignored` prefixes (compared without regard to case); empty when equal.
std::string DescribeDifferences(const RegistrySnapshot& before, const RegistrySnapshot& after,
                                const std::set<std::wstring>& ignored = {});
