#include "RegistrationTestSupport.h"


#include <cstdio>
#include <vector>

std::string Narrow(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &result[0], bytes, nullptr, nullptr);
    return result;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty()) return std::wstring();
    const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &result[0], units);
    return result;
}

bool FitsSystemCodePage(const std::wstring& text)
{
    return Widen(Narrow(text)) == text;
}

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.find_last_of(L"\\/") + 1);
}

std::wstring BinModule()
{
    return BinFolder() + L"vesker.DLL";
}

ScratchFolder::ScratchFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG serial = 0;
    wchar_t name[64];
    swprintf(name, 64, L"vesker-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&serial));
    path_ = std::wstring(temp) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

namespace {

void RemoveFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolder(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

ScratchFolder::~ScratchFolder()
{
    RemoveFolder(path_);
}

std::wstring ScratchFolder::MakeFolder(const std::wstring& relative) const
{
    std::wstring path = path_;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) end = relative.size();
        path += L"\\" + relative.substr(start, end - start);
        CreateDirectoryW(path.c_str(), nullptr);
        start = end + 1;
    }
    return path;
}

std::wstring ScratchFolder::CopyInto(const std::wstring& source, const std::wstring& folder, const std::wstring& name)
{
    const std::wstring target = folder + L"\\" + name;
    return CopyFileW(source.c_str(), target.c_str(), FALSE) ? target : std::wstring();
}

std::wstring CopyToPathOfLength(const ScratchFolder& scratch, const std::wstring& source, size_t length)
{
    const std::wstring fileName = L"m.dll";
    const size_t fixed = scratch.Path().size() + 1 + 1 + fileName.size();
    if (length <= fixed) return std::wstring();
    // Folder names of at most 100 characters, never two separators in a row.
    std::wstring relative(length - fixed, L'p');
    for (size_t i = 100; i + 1 < relative.size(); i += 101) relative[i] = L'\\';
    return ScratchFolder::CopyInto(source, scratch.MakeFolder(relative), fileName);
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<StoredValue> ReadValue(HKEY root, const std::string& path, const std::string& name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    const char* valueName = name.empty() ? nullptr : name.c_str();
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
    std::vector<char> data(size + 1);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return StoredValue{type, std::string(data.data(), size)};
}

StoredValue TextValue(const std::string& text)
{
    return StoredValue{REG_SZ, text + std::string(1, '\0')};
}

void DeleteTree(HKEY root, const std::string& path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

std::string HexResult(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}
