// The recency list of all 256 byte values that -pm1- and -pm2- literals index:
// index 0 is the byte output last, index 1 the most recent different byte, and
// so on. Every byte output, literal or copied, moves to the front; the bytes
// ahead of it each move one place back.
#pragma once
#include <cstdint>
#include <cstring>

namespace lha {

class MoveToFront {
public:
    static constexpr unsigned kSize = 256;

    // The order before any output: printable ASCII, the controls, the
    // half-width katakana range, then 0x80..0x9F and 0xE0..0xFF.
    MoveToFront() {
        static const struct { uint8_t first, last; } kStartRanges[] = {
            {0x20, 0x7F}, {0x00, 0x1F}, {0xA0, 0xDF}, {0x80, 0x9F}, {0xE0, 0xFF},
        };
        unsigned next = 0;
        for (const auto& range : kStartRanges)
            for (unsigned byte = range.first; byte <= range.last; ++byte)
                list_[next++] = static_cast<uint8_t>(byte);
    }

    // The byte at `index` (below kSize), moved to the front.
    uint8_t Take(unsigned index) {
        uint8_t byte = list_[index];
        std::memmove(list_ + 1, list_, index);
        list_[0] = byte;
        return byte;
    }

    // Moves `byte` to the front, wherever it is.
    void Promote(uint8_t byte) {
        unsigned index = 0;
        while (list_[index] != byte)
            ++index;  // every value is in the list, so this stops below kSize
        std::memmove(list_ + 1, list_, index);
        list_[0] = byte;
    }

    uint8_t At(unsigned index) const { return list_[index]; }

private:
    uint8_t list_[kSize];
};

} // namespace lha
