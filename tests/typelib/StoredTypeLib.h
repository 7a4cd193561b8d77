// Reads the type library file format ("MSFT") byte by byte, so that tests see
// what the file stores where the platform's reader changes it on the way out.
// Every read is bounds-checked; a read outside the bytes fails the test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class StoredTypeLib {
public:
    // Header fields, as indexes of 32-bit values from the start of the file.
    enum HeaderField : size_t {
        DefaultLocale = 3,
        LibraryLocale = 4,
        VarFlags = 5,
        Version = 6,
        LibraryFlags = 7,
        TypeCount = 8,
        HelpString = 9,
        NameCount = 12,
        ImportCount = 20,
    };
    // Fields of a type record, as byte offsets within the record.
    enum TypeField : size_t {
        TypeKind = 0x00,
        FunctionData = 0x04,
        ElementCounts = 0x18,
        TypeFlags = 0x30,
        TypeVersion = 0x38,
    };

    struct Function {
        int vtableOffset = 0;
        std::string helpString;  // stored bytes, code page of the file
        bool parameterNamed = false;
        std::string parameterName;
        int32_t parameterFlags = 0;
        int parameterCount = 0;
    };

    explicit StoredTypeLib(std::vector<unsigned char> bytes);

    bool HasMagic() const;
    int32_t Header(HeaderField field) const;
    int32_t Type(int index, TypeField field) const;
    std::vector<Function> Functions(int index) const;
    // Every name of the name table, in stored order.
    std::vector<std::string> Names() const;
    // The file name of an imported library.
    std::string ImportedFileName(int index) const;

private:
    enum Segment : size_t { TypeInfos = 0, ImportFiles = 2, NameTable = 7, StringTable = 8 };

    template <typename T>
    T Read(size_t at) const;
    int32_t Int32(size_t at) const;
    int16_t Int16(size_t at) const;
    std::string Bytes(size_t at, size_t count) const;
    size_t SegmentEntry(Segment segment) const;
    size_t SegmentOffset(Segment segment) const;
    size_t SegmentLength(Segment segment) const;
    std::string Name(int32_t offset) const;
    std::string String(int32_t offset) const;
    Function ReadFunction(size_t record) const;

    std::vector<unsigned char> bytes_;
};
