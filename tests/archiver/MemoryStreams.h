// Byte streams over memory for the codec's tests, and packed bits spelled as
// text: the decoders and encoders see the same sources and sinks as they do
// over files.
#pragma once
#include "archiver/codec/ByteStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::vector<uint8_t>;

// `piece`, when given, is the most one read hands over.
class MemorySource : public lha::ByteSource {
public:
    explicit MemorySource(const Bytes& data, size_t piece = SIZE_MAX) : data_(data), piece_(piece) {}
    size_t Read(uint8_t* buffer, size_t size) override {
        size_t n = std::min({size, piece_, data_.size() - next_});
        if (n > 0)
            std::memcpy(buffer, data_.data() + next_, n);
        next_ += n;
        return n;
    }
private:
    const Bytes& data_;
    size_t piece_;
    size_t next_ = 0;
};

// A source whose every read fails.
class FailingSource : public lha::ByteSource {
public:
    size_t Read(uint8_t*, size_t) override { return 0; }
};

// Collects what it is given and counts the calls; refuses anything past `capacity`.
class MemorySink : public lha::ByteSink {
public:
    explicit MemorySink(size_t capacity = SIZE_MAX) : capacity_(capacity) {}
    bool Write(const uint8_t* data, size_t size) override {
        ++writes;
        if (size > capacity_ - bytes.size()) {
            overflowed = true;
            return false;
        }
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    Bytes bytes;
    size_t writes = 0;
    bool overflowed = false;
private:
    size_t capacity_;
};

// Bits given as text, most significant first; spaces are for the reader.
inline Bytes Bits(const std::string& text) {
    Bytes bytes;
    unsigned count = 0;
    for (char c : text) {
        if (c == ' ')
            continue;
        if (count % 8 == 0)
            bytes.push_back(0);
        if (c == '1')
            bytes.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
        ++count;
    }
    return bytes;
}

} // namespace codectest
