#include "RegistrySnapshot.h"
#include "tests/registration/RegistrationTestSupport.h"

#include <vector>

namespace {

void ReadValues(HKEY key, std::map<std::wstring, SnapshotValue>* values)
{
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(data.size() * 4);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) return;
        std::wstring bytes((size + 1) / 2, L'\0');
        memcpy(&bytes[0], data.data(), size);
        (*values)[std::wstring(name.data(), nameLength)] = SnapshotValue{type, bytes};
    }
}

void ReadTree(HKEY key, const std::wstring& path, RegistrySnapshot* snapshot)
{
    ReadValues(key, &(*snapshot)[path]);
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
        HKEY child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        ReadTree(child, path.empty() ? std::wstring(name) : path + L"\\" + name, snapshot);
        RegCloseKey(child);
    }
}

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool IsIgnored(const std::wstring& path, const std::set<std::wstring>& ignored)
{
    const std::wstring upper = Upper(path);
    for (const std::wstring& prefix : ignored) {
        const std::wstring key = Upper(prefix);
        if (upper == key || upper.compare(0, key.size() + 1, key + L"\\") == 0) return true;
    }
    return false;
}

void DescribeKey(const wchar_t* change, const std::wstring& path, std::string* text)
{
    *text += Narrow(change) + " key " + Narrow(path) + "\n";
}

} // namespace

RegistrySnapshot TakeSnapshot(HKEY root, const std::wstring& path)
{
    RegistrySnapshot snapshot;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return snapshot;
    ReadTree(key, L"", &snapshot);
    RegCloseKey(key);
    return snapshot;
}

std::string DescribeDifferences(const RegistrySnapshot& before, const RegistrySnapshot& after,
                                const std::set<std::wstring>& ignored)
{
    std::string text;
    for (const auto& [path, values] : before) {
        if (IsIgnored(path, ignored)) continue;
        const auto found = after.find(path);
        if (found == after.end()) {
            DescribeKey(L"lost", path, &text);
            continue;
        }
        for (const auto& [name, value] : values) {
            const auto other = found->second.find(name);
            if (other == found->second.end()) {
                text += "lost value " + Narrow(path) + " [" + Narrow(name) + "]\n";
            } else if (other->second != value) {
                text += "changed value " + Narrow(path) + " [" + Narrow(name) + "]\n";
            }
        }
        for (const auto& [name, value] : found->second) {
            if (!values.count(name)) text += "new value " + Narrow(path) + " [" + Narrow(name) + "]\n";
        }
    }
    for (const auto& [path, values] : after) {
        if (!IsIgnored(path, ignored) && !before.count(path)) DescribeKey(L"new", path, &text);
    }
    return text;
}

SnapshotValue Text(const std::wstring& text)
{
    return SnapshotValue{REG_SZ, text + L'\0'};
}
