#include "archiver/files/FileHandle.h"

#include "archiver/files/AnsiText.h"

#include <cstddef>
#include <vector>

namespace lha {

namespace {

// ReadFile and WriteFile take a DWORD count; larger requests go in pieces.
const DWORD kMaxTransfer = 1u << 30;

const char kTempPrefix[] = "lha";
const unsigned kTempNames = 0x10000;  // four hex digits

// Another file has the name (or is going away under it): try the next one.
bool NameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_SHARING_VIOLATION;
}

// lhaXXXX.tmp with `number` in four hex digits. Formatted by hand: the
// self-extractor links this file, and a formatted print would bring the C
// runtime's whole formatter into its small image.
std::string TemporaryName(unsigned number)
{
    static const char kHexDigits[] = "0123456789abcdef";
    std::string name = kTempPrefix;
    for (int shift = 12; shift >= 0; shift -= 4) name += kHexDigits[(number >> shift) & 0xF];
    return name + ".tmp";
}

} // namespace

bool FileHandle::OpenRead(const char* path)
{
    Close();
    handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return IsOpen();
}

bool FileHandle::CreateTemporary(const std::string& folder, std::string& path)
{
    Close();
    std::string base = folder;
    if (!base.empty() && !EndsWithChar(base, '\\') && !EndsWithChar(base, '/') && !EndsWithChar(base, ':'))
        base += '\\';
    // Threads that start at once start apart; a name freed by a rename is free again.
    unsigned first = GetTickCount() ^ (GetCurrentThreadId() << 4);
    for (unsigned n = 0; n < kTempNames; ++n) {
        path = base + TemporaryName((first + n) & (kTempNames - 1));
        // DELETE lets RenameTo give the file its final name before it is closed.
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (IsOpen()) return true;
        if (!NameTaken(GetLastError())) break;
    }
    path.clear();
    return false;
}

bool FileHandle::RenameTo(const std::string& path, bool replace) const
{
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                           nullptr, 0);
    if (length <= 0) return false;
    // FILE_RENAME_INFO ends in the name; DWORDs keep the block aligned for it.
    const size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (static_cast<size_t>(length) + 1) * sizeof(WCHAR);
    std::vector<DWORD> block((bytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(length) * sizeof(WCHAR);
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), info->FileName,
                        length);
    return SetFileInformationByHandle(handle_, FileRenameInfo, info, static_cast<DWORD>(bytes)) != FALSE;
}

bool FileHandle::Close()
{
    if (!IsOpen()) return true;
    BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

bool FileHandle::Size(uint64_t& size) const
{
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_, &value)) return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool FileHandle::Seek(uint64_t position) const
{
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != FALSE;
}

bool FileHandle::Position(uint64_t& position) const
{
    LARGE_INTEGER zero, value;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(handle_, zero, &value, FILE_CURRENT)) return false;
    position = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool FileHandle::Read(void* buffer, size_t size, size_t& got) const
{
    got = 0;
    while (got < size) {
        DWORD want = size - got > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size - got);
        DWORD read = 0;
        if (!ReadFile(handle_, static_cast<char*>(buffer) + got, want, &read, nullptr)) return false;
        if (read == 0) break;
        got += read;
    }
    return true;
}

bool FileHandle::ReadAt(uint64_t position, void* buffer, size_t size) const
{
    size_t got;
    return Seek(position) && Read(buffer, size, got) && got == size;
}

bool FileHandle::Write(const void* data, size_t size) const
{
    size_t done = 0;
    while (done < size) {
        DWORD want = size - done > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size - done);
        DWORD written = 0;
        if (!WriteFile(handle_, static_cast<const char*>(data) + done, want, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool FileHandle::Truncate() const { return SetEndOfFile(handle_) != FALSE; }

bool FileHandle::SetLastWriteTime(uint64_t ticks) const
{
    if (ticks == 0) return true;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return SetFileTime(handle_, nullptr, nullptr, &time) != FALSE;
}

} // namespace lha
