#include "archiver/format/ProgramImage.h"

#include <windows.h>

#include <cstring>

namespace lha {

namespace {

// `count` bytes at `offset` lie within the first `size` bytes.
bool Within(size_t offset, size_t count, size_t size) { return offset <= size && count <= size - offset; }

template <typename T>
bool ReadAt(const uint8_t* bytes, size_t size, size_t offset, T& value)
{
    if (!Within(offset, sizeof value, size)) return false;
    std::memcpy(&value, bytes + offset, sizeof value);
    return true;
}

} // namespace

bool ReadProgramLayout(const uint8_t* bytes, size_t size, ProgramLayout& layout)
{
    if (size > kProgramHeaderBytes) size = kProgramHeaderBytes;
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(bytes, size, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
    const size_t ntAt = static_cast<size_t>(dos.e_lfanew);
    IMAGE_NT_HEADERS32 nt;
    if (!ReadAt(bytes, size, ntAt, nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return false;
    const size_t sectionsAt = ntAt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    uint64_t end = nt.OptionalHeader.SizeOfHeaders;
    for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!ReadAt(bytes, size, sectionsAt + i * sizeof section, section)) return false;
        if (section.SizeOfRawData == 0) continue;
        const uint64_t sectionEnd = static_cast<uint64_t>(section.PointerToRawData) + section.SizeOfRawData;
        if (sectionEnd > end) end = sectionEnd;
    }
    layout.imageEnd = end;
    layout.subsystemOffset = ntAt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                             offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem);
    return true;
}

} // namespace lha
