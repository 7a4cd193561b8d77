// Byte streams between the codec and the files of an archive. The codec never
// sees a file: the commands hand it a source and a sink, so the same code
// packs from a file, a memory block or a part of an archive.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lha {

// Bytes in order. Read returns how many it placed in `buffer` (at most `size`);
// 0 means the end, or a failure the owner of the source records and reports.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

// Bytes out. Write returns false when the bytes could not be stored; the
// caller stops at once and reports the failure.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const uint8_t* data, size_t size) = 0;
};

} // namespace lha
