// Where -pm1- and -pm2- put their bytes: the history ring, the recency list
// every output byte passes through, and the count of bytes made so far. The
// ring is the larger window (-pm1-'s 16 KiB); it goes to the sink whole each
// time it fills, and the rest at Finish.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/MoveToFront.h"

#include <cstdint>
#include <cstring>

namespace lha {

class PmarcOutput {
public:
    static constexpr uint32_t kRingSize = 1u << 14;
    static constexpr uint32_t kRingMask = kRingSize - 1;

    // The ring starts filled with `fill`: -pm2- copies may reach before the
    // first byte and read it.
    PmarcOutput(ByteSink& out, uint8_t fill) : out_(out) { std::memset(ring_, fill, sizeof ring_); }
    PmarcOutput(const PmarcOutput&) = delete;
    PmarcOutput& operator=(const PmarcOutput&) = delete;

    uint64_t Total() const { return total_; }

    // Outputs the byte at `index` (0..255) of the recency list. False when the
    // sink refused a full ring.
    bool Literal(unsigned index) { return Put(recency_.Take(index)); }

    // Outputs `length` bytes from `distance` (1..kRingSize) back, one at a
    // time: a copy longer than its distance repeats its pattern.
    bool Copy(uint32_t distance, uint32_t length) {
        for (uint32_t k = 0; k < length; ++k) {
            uint8_t byte = ring_[(next_ - distance) & kRingMask];
            recency_.Promote(byte);
            if (!Put(byte))
                return false;
        }
        return true;
    }

    // Hands the bytes not yet written to the sink, once output is complete;
    // false when it refused them.
    bool Finish() { return next_ == 0 || out_.Write(ring_, next_); }

private:
    bool Put(uint8_t byte) {
        ring_[next_++] = byte;
        ++total_;
        if (next_ < kRingSize)
            return true;
        next_ = 0;  // the ring keeps its bytes: they are the history
        return out_.Write(ring_, kRingSize);
    }

    ByteSink& out_;
    uint32_t next_ = 0;  // where the next byte goes; the bytes before it are not yet written
    uint64_t total_ = 0;
    MoveToFront recency_;
    uint8_t ring_[kRingSize];
};

} // namespace lha
