// Holds one open file, or none, and closes it when it goes away. Reads and
// writes are whole or fail; every failure is returned, never dropped.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace lha {

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens for reading (others may read too). False when it cannot be opened.
    bool OpenRead(const char* path);
    // Creates a new empty file in `folder` (empty: the current folder) under a
    // name no file there has, lhaXXXX.tmp as GetTempFileNameA names them, and
    // keeps it open for writing; `path` is its name. One call makes and opens
    // it, so nothing else can take the name in between. False when no such
    // file can be made (GetLastError says why).
    bool CreateTemporary(const std::string& folder, std::string& path);
    // Gives the open file the name `path` (ANSI), through the handle itself, so
    // no other file can be renamed by mistake; an existing file of that name is
    // replaced only when `replace` is set. The handle must have been opened with
    // DELETE access (CreateTemporary does that). False when it cannot be renamed
    // (GetLastError says why: ERROR_ALREADY_EXISTS when the name is taken); the
    // file then keeps its name and stays open.
    bool RenameTo(const std::string& path, bool replace) const;
    // False when the close fails (data may not have reached the disk).
    bool Close();

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

    bool Size(uint64_t& size) const;
    bool Seek(uint64_t position) const;
    bool Position(uint64_t& position) const;
    // Reads up to `size` bytes; `got` < size only at the end of the file.
    bool Read(void* buffer, size_t size, size_t& got) const;
    // Reads exactly `size` bytes at `position`; false at the end or on failure.
    bool ReadAt(uint64_t position, void* buffer, size_t size) const;
    bool Write(const void* data, size_t size) const;
    // Cuts the file at the current position.
    bool Truncate() const;
    // Sets the last write time (FILETIME ticks); 0 (unknown) leaves it. False
    // when the system refuses it.
    bool SetLastWriteTime(uint64_t ticks) const;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace lha
