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

// Moves exactly `size` bytes from `source` to `sink` through a 16 KiB buffer.
// False when the source ends early or fails, or the sink refuses bytes; the
// owners of both say which.
inline bool CopyStream(ByteSource& source, uint64_t size, ByteSink& sink)
{
    uint8_t chunk[16384];
    while (size > 0) {
        size_t got = source.Read(chunk, size < sizeof chunk ? static_cast<size_t>(size) : sizeof chunk);
        if (got == 0 || !sink.Write(chunk, got)) return false;
        size -= got;
    }
    return true;
}

} // namespace lha
