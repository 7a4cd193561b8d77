// The history and the output buffer of the small-window decoders (-lh1-,
// -lzs-, -lz5-) in one ring. The ring is larger than any of their windows, so
// it goes to the sink in pieces of up to kSize bytes, and a copy from up to
// kSize bytes back always finds its byte in it.
#pragma once
#include "archiver/codec/ByteStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lha {

class OutputWindow {
public:
    static constexpr uint32_t kSize = 1u << 15;
    static constexpr uint32_t kMask = kSize - 1;

    explicit OutputWindow(ByteSink& out) : out_(out) {}
    OutputWindow(const OutputWindow&) = delete;
    OutputWindow& operator=(const OutputWindow&) = delete;

    // Starts writing at `start` after `window` bytes (at most kSize) of
    // `pattern` repeated (`size` divides kSize): the byte before `start` reads
    // pattern[start - 1], and so on back. Copies must reach at most `window`
    // bytes back: the ring beyond is left unset (filling all 32 KiB for every
    // member took a few percent of decoding a folder of small files).
    void Preset(const uint8_t* pattern, uint32_t size, uint32_t start, uint32_t window) {
        for (uint32_t back = 1; back <= window; ++back) {
            const uint32_t i = (start - back) & kMask;
            ring_[i] = pattern[i % size];
        }
        next_ = start & kMask;
        flushed_ = next_;
    }

    // False when the sink refused a full ring.
    bool Put(uint8_t byte) {
        ring_[next_++] = byte;
        return next_ < kSize || Wrap();
    }

    // Appends `length` bytes taken from `distance` (1..the window given to
    // Preset) back, in order, so a copy longer than its distance repeats its
    // pattern.
    bool Copy(uint32_t distance, uint32_t length) {
        uint32_t from = (next_ - distance) & kMask;
        if (from < next_ && next_ + length < kSize) {
            uint8_t* to = ring_ + next_;
            const uint8_t* source = ring_ + from;
            if (distance >= kChunk)
                CopyChunks(to, source, length);
            else
                for (uint32_t k = 0; k < length; ++k)
                    to[k] = source[k];  // forward, byte by byte: the copy overlaps itself
            next_ += length;
            return true;
        }
        for (uint32_t k = 0; k < length; ++k) {
            uint8_t byte = ring_[from];
            from = (from + 1) & kMask;
            if (!Put(byte))
                return false;
        }
        return true;
    }

    // LArc copies name an absolute index of their ring of `ringSize` bytes
    // (dividing kSize), not a distance; from the write index that is a whole
    // ring back when the two are equal.
    bool CopyFromRingIndex(uint32_t index, uint32_t ringSize, uint32_t length) {
        const uint32_t distance = (next_ - index) & (ringSize - 1);
        return Copy(distance == 0 ? ringSize : distance, length);
    }

    // Hands the bytes not yet written to the sink; false when it refused them.
    bool Flush() {
        if (next_ > flushed_ && !out_.Write(ring_ + flushed_, next_ - flushed_))
            return false;
        flushed_ = next_;
        return true;
    }

private:
    static constexpr uint32_t kChunk = 8;

    // Eight bytes at a time: from `distance` >= kChunk back, each chunk's
    // source is written already. The last chunk may write up to seven bytes
    // past the copy, into positions a whole ring back from it (far beyond any
    // window) or into the slack past the ring's end.
    static void CopyChunks(uint8_t* to, const uint8_t* source, uint32_t length) {
        for (uint32_t k = 0; k < length; k += kChunk) {
            uint8_t chunk[kChunk];
            std::memcpy(chunk, source + k, kChunk);
            std::memcpy(to + k, chunk, kChunk);
        }
    }

    bool Wrap() {
        bool written = out_.Write(ring_ + flushed_, kSize - flushed_);
        next_ = 0;
        flushed_ = 0;
        return written;
    }

    ByteSink& out_;
    uint32_t next_ = 0;
    uint32_t flushed_ = 0;
    uint8_t ring_[kSize + kChunk - 1];
};

} // namespace lha
