// A sink that refuses bytes once the run is cancelled: a decoder that would
// otherwise go on producing output from data it already holds stops at its
// next write. A null monitor passes bytes through.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/format/ProgressMonitor.h"

namespace lha {

class MonitoredSink : public ByteSink {
public:
    MonitoredSink(ByteSink& sink, ProgressMonitor* monitor) : sink_(sink), monitor_(monitor) {}

    bool Write(const uint8_t* data, size_t size) override
    {
        if (monitor_ && monitor_->Cancelled()) {
            cancelled_ = true;
            return false;
        }
        return sink_.Write(data, size);
    }

    bool Cancelled() const { return cancelled_; }

private:
    ByteSink& sink_;
    ProgressMonitor* monitor_;
    bool cancelled_ = false;
};

} // namespace lha
