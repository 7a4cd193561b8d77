// Reads the packed bits of one member, most significant bit first, from a
// source limited to the member's packed size. Past that size (or past the
// end of the source) it supplies zero bits and remembers it: Overran() is
// true once any such bit has been consumed, which the decoder turns into
// CorruptData (or InputFailed when the source itself ended too soon).
#pragma once
#include "archiver/codec/ByteStream.h"

#include <cstddef>
#include <cstdint>

namespace lha {

class BitReader {
public:
    BitReader(ByteSource& source, uint64_t limit) : source_(source), remaining_(limit) { Refill(); }
    BitReader(const BitReader&) = delete;
    BitReader& operator=(const BitReader&) = delete;

    // The next 16 bits, without consuming them.
    unsigned Peek16() const { return bits_ >> 16; }

    // Tops the bits up after every skip while four bytes remain: a test of
    // how many are left would go either way at random, and mispredicted
    // costs more than the load.
    void Skip(unsigned count) {
        bits_ <<= count;
        count_ -= static_cast<int>(count);
        if (end_ - next_ >= 4)
            LoadWord();
        else if (count_ < 16)
            Refill();
    }

    // Takes `count` bits (0..16).
    unsigned Get(unsigned count) {
        if (count == 0)
            return 0;
        unsigned value = bits_ >> (32 - count);
        Skip(count);
        return value;
    }

    // True once a consumed bit lay past the packed size or the source's end.
    bool Overran() const { return padBits_ > count_; }
    // True when the source ended before the packed size.
    bool SourceEnded() const { return sourceEnded_; }

private:
    // With four bytes in the buffer, one big-endian word fills bits_ to 24..31
    // valid bits; the bits of the partly taken byte below them are that
    // byte's own, so ORing it in again later changes nothing. Near the end of
    // the buffer the bytes go one at a time, to 24..31 too: at 32, a skip of
    // no bits would load a word past them.
    void Refill() {
        if (end_ - next_ >= 4) {
            LoadWord();
            return;
        }
        while (count_ < 24) {
            if (next_ == end_ && !FillBuffer()) {
                padBits_ += 8;
                count_ += 8;
                continue;
            }
            bits_ |= static_cast<uint32_t>(*next_++) << (24 - count_);
            count_ += 8;
        }
    }

    // Valid for any count_ below 32: the word's first byte goes just below
    // the valid bits, and as many whole bytes as fit count.
    void LoadWord() {
        const uint32_t word = (static_cast<uint32_t>(next_[0]) << 24) | (static_cast<uint32_t>(next_[1]) << 16) |
                              (static_cast<uint32_t>(next_[2]) << 8) | next_[3];
        bits_ |= word >> count_;
        next_ += (31 - count_) >> 3;
        count_ |= 24;
    }

    bool FillBuffer() {
        if (remaining_ == 0 || sourceEnded_)
            return false;
        size_t want = remaining_ < sizeof buffer_ ? static_cast<size_t>(remaining_) : sizeof buffer_;
        size_t got = source_.Read(buffer_, want);
        if (got == 0 || got > want) {
            sourceEnded_ = true;
            return false;
        }
        remaining_ -= got;
        next_ = buffer_;
        end_ = buffer_ + got;
        return true;
    }

    ByteSource& source_;
    uint64_t remaining_;
    uint32_t bits_ = 0;   // valid bits at the top
    int count_ = 0;       // how many bits of bits_ are valid (pad bits included)
    int padBits_ = 0;     // zero bits supplied past the end, still in bits_ or consumed
    bool sourceEnded_ = false;
    const uint8_t* next_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint8_t buffer_[16384];
};

} // namespace lha
