// The archive of the codec bench: members with minimal level 2 headers (the
// base header, the name and folder extensions, the header CRC) and a zero end
// byte, enough for `lhasa t` and our own reader to walk it. The reader knows
// only what this writer writes: level 2, 32-bit sizes; anything else is a
// broken archive to it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace codec_bench {

struct MemberEntry {
    std::string method;         // five characters, e.g. "-lh5-"
    std::string name;           // path inside the archive, '/' between folders
    uint64_t packedSize = 0;
    uint64_t originalSize = 0;
    uint16_t crc = 0;           // of the original bytes
    uint32_t time = 0;          // Unix seconds
};

// The member's header; false (and `error` says why) when a size or the name
// does not fit a minimal level 2 header.
bool LevelTwoHeader(const MemberEntry& entry, std::vector<uint8_t>& header, std::string& error);

// The byte that ends an archive.
constexpr uint8_t kEndMarker = 0;

// Walks the members of an archive held in memory.
class LevelTwoReader {
public:
    LevelTwoReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next member's entry and packed bytes; false at the end marker (or
    // the end of the data) and when a header is broken (then Failed()).
    bool Next(MemberEntry& entry, const uint8_t*& packed);
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& error);

    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    std::string error_;
};

} // namespace codec_bench
