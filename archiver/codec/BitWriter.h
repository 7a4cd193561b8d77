// Writes bits most significant first into a buffer that goes to the sink in
// chunks. It counts every byte and refuses to go on once the count reaches
// the caller's limit, so a packer that does not pay stops early.
#pragma once
#include "archiver/codec/ByteStream.h"

#include <cstddef>
#include <cstdint>

namespace lha {

class BitWriter {
public:
    BitWriter(ByteSink& sink, uint64_t limit) : sink_(sink), limit_(limit) {}
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    // Appends the low `count` bits of `value` (count 0..16). Bits go to the
    // buffer four bytes at a time, the pending ones (fewer than 32) after.
    void Put(unsigned count, unsigned value) {
        bits_ = (bits_ << count) | (value & ((1u << count) - 1));
        count_ += count;
        if (count_ < 32)
            return;
        count_ -= 32;
        const uint32_t word = static_cast<uint32_t>(bits_ >> count_);
        buffer_[used_] = static_cast<uint8_t>(word >> 24);
        buffer_[used_ + 1] = static_cast<uint8_t>(word >> 16);
        buffer_[used_ + 2] = static_cast<uint8_t>(word >> 8);
        buffer_[used_ + 3] = static_cast<uint8_t>(word);
        used_ += 4;
        if (used_ >= kFlushAt)
            Flush();
    }

    // Pads the last byte with zero bits and hands everything to the sink.
    // False when the sink refused bytes or the limit was reached.
    bool Finish() {
        while (count_ >= 8) {
            count_ -= 8;
            buffer_[used_++] = static_cast<uint8_t>(bits_ >> count_);
        }
        if (count_ > 0)
            buffer_[used_++] = static_cast<uint8_t>(bits_ << (8 - count_));
        count_ = 0;
        Flush();
        return Ok();
    }

    // The pending bits count as the bytes they will take.
    bool LimitReached() const { return BytesWritten() >= limit_; }
    bool SinkFailed() const { return sinkFailed_; }
    bool Ok() const { return !sinkFailed_ && !LimitReached(); }
    uint64_t BytesWritten() const { return total_ + used_ + (count_ + 7) / 8; }

private:
    static constexpr size_t kBufferSize = 8192;
    static constexpr size_t kFlushAt = kBufferSize - 16;

    void Flush() {
        if (Ok() && used_ > 0 && !sink_.Write(buffer_, used_))
            sinkFailed_ = true;
        total_ += used_;
        used_ = 0;
    }

    ByteSink& sink_;
    uint64_t limit_;
    uint64_t total_ = 0;   // bytes flushed, and those counted though not written
    uint64_t bits_ = 0;
    unsigned count_ = 0;   // pending bits in bits_ (< 32 between calls)
    size_t used_ = 0;
    bool sinkFailed_ = false;
    uint8_t buffer_[kBufferSize];
};

} // namespace lha
