// What a long run tells whoever watches it (the progress window), and how it
// hears that the user wants it stopped. Every call may come from any thread at
// any time: packing workers count the bytes they read while the writer names
// the members. A run without a watcher passes a null monitor.
#pragma once
#include <cstdint>
#include <string>

namespace lha {

class ProgressMonitor {
public:
    virtual ~ProgressMonitor() = default;
    // The bytes the whole run will count, once the command knows them.
    virtual void Total(uint64_t bytes) = 0;
    // The member or file now worked on, in the system ANSI code page.
    virtual void Item(const std::string& name) = 0;
    // `bytes` more of the total are done.
    virtual void Advance(uint64_t bytes) = 0;
    // True from the moment the user asked the run to stop. Streams watched by
    // MonitoredSource and MonitoredSink end then, and the command stops at
    // its next safe point.
    virtual bool Cancelled() const = 0;
};

} // namespace lha
