#include "typelib/StoredTypeLib.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const size_t HeaderSize = 0x54;
const size_t SegmentEntrySize = 16;
const size_t TypeRecordSize = 0x64;
const int32_t VarFlagHelpDll = 0x100;
// A function record: 24 fixed bytes, optional fields, then its parameters.
const size_t FunctionFixedSize = 24;
const size_t ParameterSize = 12;
// A name entry: hash-chain words, then length byte and the characters.
const size_t NameEntryHeader = 12;

size_t Padded(size_t length) { return (length + 3) & ~size_t(3); }

}  // namespace

StoredTypeLib::StoredTypeLib(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

bool StoredTypeLib::HasMagic() const { return bytes_.size() >= HeaderSize && std::memcmp(bytes_.data(), "MSFT", 4) == 0; }

template <typename T>
T StoredTypeLib::Read(size_t at) const
{
    T value = 0;
    if (at > bytes_.size() || bytes_.size() - at < sizeof value) {
        ADD_FAILURE() << "type library read at 0x" << std::hex << at << " lies outside the file";
        return 0;
    }
    std::memcpy(&value, bytes_.data() + at, sizeof value);
    return value;
}

int32_t StoredTypeLib::Int32(size_t at) const { return Read<int32_t>(at); }

int16_t StoredTypeLib::Int16(size_t at) const { return Read<int16_t>(at); }

std::string StoredTypeLib::Bytes(size_t at, size_t count) const
{
    if (at > bytes_.size() || bytes_.size() - at < count) {
        ADD_FAILURE() << "type library text at 0x" << std::hex << at << " lies outside the file";
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes_.data() + at), count);
}

int32_t StoredTypeLib::Header(HeaderField field) const { return Int32(field * 4); }

// The segment directory follows the header, one offset per type and, for a
// library with a help DLL, one more word.
size_t StoredTypeLib::SegmentEntry(Segment segment) const
{
    size_t directory = HeaderSize + 4 * size_t(Header(TypeCount));
    if (Header(VarFlags) & VarFlagHelpDll) directory += 4;
    return directory + segment * SegmentEntrySize;
}

size_t StoredTypeLib::SegmentOffset(Segment segment) const { return size_t(Int32(SegmentEntry(segment))); }

size_t StoredTypeLib::SegmentLength(Segment segment) const { return size_t(Int32(SegmentEntry(segment) + 4)); }

int32_t StoredTypeLib::Type(int index, TypeField field) const
{
    return Int32(SegmentOffset(TypeInfos) + size_t(index) * TypeRecordSize + field);
}

std::string StoredTypeLib::Name(int32_t offset) const
{
    const size_t entry = SegmentOffset(NameTable) + size_t(offset);
    return Bytes(entry + NameEntryHeader, size_t(Int32(entry + 8) & 0xFF));
}

std::string StoredTypeLib::String(int32_t offset) const
{
    const size_t entry = SegmentOffset(StringTable) + size_t(offset);
    return Bytes(entry + 2, size_t(uint16_t(Int16(entry))));
}

std::vector<std::string> StoredTypeLib::Names() const
{
    std::vector<std::string> names;
    const size_t length = SegmentLength(NameTable);
    for (size_t offset = 0; offset + NameEntryHeader <= length;) {
        names.push_back(Name(int32_t(offset)));
        offset += NameEntryHeader + Padded(names.back().size());
    }
    return names;
}

std::string StoredTypeLib::ImportedFileName(int index) const
{
    // An import file entry: GUID offset, locale, version, then a counted name
    // whose length is stored shifted left by two bits.
    size_t entry = SegmentOffset(ImportFiles);
    for (int i = 0;; ++i) {
        const size_t length = size_t(uint16_t(Int16(entry + 12))) >> 2;
        if (i == index) return Bytes(entry + 14, length);
        entry += Padded(14 + length);
    }
}

StoredTypeLib::Function StoredTypeLib::ReadFunction(size_t record) const
{
    Function function;
    const size_t size = size_t(Int32(record) & 0xFFFF);
    function.vtableOffset = Int16(record + 12);
    function.parameterCount = Int16(record + 20);
    const size_t parameters = record + size - ParameterSize * size_t(function.parameterCount);
    const size_t optionalFields = (parameters - record - FunctionFixedSize) / 4;
    if (optionalFields >= 2) {
        const int32_t help = Int32(record + FunctionFixedSize + 4);
        if (help >= 0) function.helpString = String(help);
    }
    if (function.parameterCount > 0) {
        const int32_t name = Int32(parameters + 4);
        function.parameterNamed = name >= 0;
        if (function.parameterNamed) function.parameterName = Name(name);
        function.parameterFlags = Int32(parameters + 8);
    }
    return function;
}

std::vector<StoredTypeLib::Function> StoredTypeLib::Functions(int index) const
{
    std::vector<Function> functions;
    const int count = Type(index, ElementCounts) & 0xFFFF;
    // The function data: its total size, then the records one after another.
    size_t record = size_t(Type(index, FunctionData)) + 4;
    for (int i = 0; i < count; ++i) {
        functions.push_back(ReadFunction(record));
        record += size_t(Int32(record) & 0xFFFF);
    }
    return functions;
}
