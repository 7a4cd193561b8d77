// Packs the files of one run on worker threads while the writer puts their
// members in the archive in order. Each file is packed by one worker, from
// start to end, exactly as FileFeed packs it on the writer's thread, so the
// archive is byte for byte the one a single worker writes.
//
// Memory is bounded: a worker takes a file only while it is at most
// kAheadPerWorker files per worker past the one being written and less than
// kWaitingBytes per worker of packed data waits for the writer in all; and at
// most kWaitingBytes of one file's packed data waits (a larger member streams:
// its worker waits until the writer has taken some). With the encoder's
// tables that is, per worker, the tables, a 64 KiB read buffer and up to
// 2 MiB of packed data waiting. Many files may wait because a large one
// holds the writer: a worker that stopped at a few small ones would idle
// while another packs it.
#pragma once
#include "archiver/codec/Encoder.h"
#include "archiver/format/FileFeed.h"
#include "archiver/format/PackingFeed.h"
#include "archiver/format/ProgressMonitor.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace lha {

class PackingPipeline {
public:
    static constexpr unsigned kMaxWorkers = 8;
    static constexpr unsigned kAheadPerWorker = 32;
    static constexpr size_t kWaitingBytes = 1024 * 1024;

    // The machine's processors, at most kMaxWorkers; the environment variable
    // UNLHA32_WORKERS (1 to 8) sets the count instead (1: everything on the
    // writer's thread, as one worker would).
    static unsigned WorkerCount();

    // Starts up to `workers` threads on `diskPaths`, each file packed with the
    // method of the same index in `methods` (fewer threads when there are fewer
    // files, none when `workers` is 1 or no thread can be made: each feed then
    // packs on the writer's thread). The files' bytes count as `monitor`'s
    // progress as the workers read them.
    PackingPipeline(const std::vector<std::string>& diskPaths, const std::vector<const PackingMethod*>& methods,
                    unsigned workers, ProgressMonitor* monitor = nullptr);
    // Stops the workers (a run that failed leaves files undrained) and waits for them.
    ~PackingPipeline();
    PackingPipeline(const PackingPipeline&) = delete;
    PackingPipeline& operator=(const PackingPipeline&) = delete;

    // The feed of the next file, in the order given, valid until the next call.
    // The writer calls its Open and then (when Open succeeds) its Pack, or ends the run.
    // What a worker threw (std::bad_alloc when memory ran out) is thrown again
    // by that file's Open or Pack on the writer's thread, as a FileFeed packing
    // there would throw it: the writer cannot tell, and the caller ends the run.
    PackingFeed& Next();

private:
    struct Job;
    class JobFeed;
    class QueueSink;

    static DWORD WINAPI RunWorker(void* pipeline);
    void Work();
    void PackJob(Job& job);
    void PackFile(Job& job);
    bool Put(Job& job, std::vector<uint8_t>& chunk);
    bool Restart(Job& job);
    std::vector<uint8_t> SpareChunk();
    void Stop();
    void WaitForWorker(size_t index);
    void WakeWriterFor(const Job& job);
    void WaitForRoom();
    void WakeWorkers();

    ProgressMonitor* monitor_;
    std::vector<std::unique_ptr<Job>> jobs_;
    std::vector<HANDLE> threads_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    static constexpr size_t kNoJob = static_cast<size_t>(-1);
    CONDITION_VARIABLE writerWake_ = CONDITION_VARIABLE_INIT;  // the writer waits for its job here
    CONDITION_VARIABLE workerWake_ = CONDITION_VARIABLE_INIT;  // workers wait for room here
    size_t writerWaitsFor_ = kNoJob;
    unsigned idleWorkers_ = 0;
    size_t claimed_ = 0;    // jobs taken by workers
    size_t writing_ = 0;    // the job the writer is on; all before it are written
    size_t ahead_ = 1;      // jobs a worker may take past writing_
    size_t waitingBound_ = 0;  // a worker takes no job while waiting_ is at it
    size_t waiting_ = 0;       // packed bytes of all jobs the writer has not taken
    bool stopping_ = false;
    std::vector<std::vector<uint8_t>> spare_;  // chunk buffers the writer is done with
    size_t next_ = 0;                          // the writer's next job
    std::unique_ptr<PackingFeed> feed_;
};

} // namespace lha
