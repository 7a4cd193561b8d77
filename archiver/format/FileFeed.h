// One file opened and packed where it is asked, on the caller's thread: the
// single-worker way, and what each worker of PackingPipeline runs.
#pragma once
#include "archiver/codec/Encoder.h"
#include "archiver/files/FileHandle.h"
#include "archiver/format/PackingFeed.h"
#include "archiver/format/ProgressMonitor.h"

#include <string>

namespace lha {

class FileFeed : public PackingFeed {
public:
    // The file's bytes count as `monitor`'s progress as they are packed.
    FileFeed(const std::string& diskPath, const PackingMethod& method, ProgressMonitor* monitor = nullptr)
        : diskPath_(diskPath), method_(method), monitor_(monitor)
    {
    }

    // Opens the file for reading; the error names it with GetLastError's code.
    bool Open(FileFacts& facts, std::string& error) override;
    PackResult Pack(RestartableSink& sink, PackedData& packed) override;
    // Closes the file (it is read only; nothing to lose).
    void Close() { source_.Close(); }

private:
    std::string diskPath_;
    const PackingMethod& method_;
    ProgressMonitor* monitor_;
    FileHandle source_;
    uint64_t size_ = 0;
};

} // namespace lha
