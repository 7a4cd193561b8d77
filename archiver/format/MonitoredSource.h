// A source whose bytes count as progress, and which ends once the run is
// cancelled: the codec reading it stops at its next read, and the owner tells
// a cancel from a failure by Cancelled(). A null monitor passes bytes through.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/format/ProgressMonitor.h"

namespace lha {

class MonitoredSource : public ByteSource {
public:
    // The first `uncounted` bytes are not counted again: they were counted by
    // an earlier pass over the same data (packing that did not pay, then storing).
    MonitoredSource(ByteSource& source, ProgressMonitor* monitor, uint64_t uncounted = 0)
        : source_(source), monitor_(monitor), uncounted_(uncounted)
    {
    }

    size_t Read(uint8_t* buffer, size_t size) override
    {
        if (!monitor_) return source_.Read(buffer, size);
        if (monitor_->Cancelled()) {
            cancelled_ = true;
            return 0;
        }
        const size_t got = source_.Read(buffer, size);
        read_ += got;
        if (read_ > uncounted_) monitor_->Advance(read_ - uncounted_ < got ? read_ - uncounted_ : got);
        return got;
    }

    bool Cancelled() const { return cancelled_; }
    uint64_t Count() const { return read_; }

private:
    ByteSource& source_;
    ProgressMonitor* monitor_;
    uint64_t uncounted_;
    uint64_t read_ = 0;
    bool cancelled_ = false;
};

} // namespace lha
