#include "archiver/format/PackingPipeline.h"

#include <cstdlib>
#include <deque>
#include <exception>
#include <utility>

namespace lha {

namespace {

const size_t kChunkBytes = 64 * 1024;  // packed bytes handed over at a time
const size_t kMaxSpareChunks = 16;
// Reserved, not committed: the encoder keeps its tables on the heap.
const DWORD kWorkerStack = 1024 * 1024;
const char kWorkersVariable[] = "UNLHA32_WORKERS";

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

unsigned Clamp(unsigned count) { return count < 1 ? 1 : count > PackingPipeline::kMaxWorkers ? PackingPipeline::kMaxWorkers : count; }

} // namespace

// One file on its way from a worker to the writer; every field is under the lock.
struct PackingPipeline::Job {
    Job(const std::string& path, const PackingMethod& packing, size_t number)
        : diskPath(path), method(packing), index(number) {}

    std::string diskPath;
    const PackingMethod& method;
    const size_t index;   // in the run's order
    bool opened = false;  // Open's answer is in: openOk, facts, error
    bool openOk = false;
    FileFacts facts;
    std::string error;
    std::deque<std::vector<uint8_t>> chunks;  // packed bytes the writer has not taken
    size_t waiting = 0;                       // their sum, at most kWaitingBytes (or one chunk)
    bool restart = false;                     // the writer is to cut the member's data back to its start
    bool finished = false;                    // result and packed are in; no more chunks come
    PackResult result = PackResult::WriteFailed;
    PackedData packed;
    std::exception_ptr thrown;                // what the worker threw; the writer throws it again
};

// The worker's end: packed bytes gathered into chunks for the writer.
class PackingPipeline::QueueSink : public RestartableSink {
public:
    QueueSink(PackingPipeline& pipeline, Job& job) : pipeline_(pipeline), job_(job), chunk_(pipeline.SpareChunk())
    {
        chunk_.reserve(kChunkBytes);
    }

    bool Write(const uint8_t* data, size_t size) override
    {
        chunk_.insert(chunk_.end(), data, data + size);
        return chunk_.size() < kChunkBytes || Flush();
    }
    bool Restart() override
    {
        chunk_.clear();
        return pipeline_.Restart(job_);
    }
    bool Flush()
    {
        if (chunk_.empty()) return true;
        if (!pipeline_.Put(job_, chunk_)) return false;
        chunk_.reserve(kChunkBytes);
        return true;
    }

private:
    PackingPipeline& pipeline_;
    Job& job_;
    std::vector<uint8_t> chunk_;
};

// The writer's end of one job: waits for what the worker hands over.
class PackingPipeline::JobFeed : public PackingFeed {
public:
    JobFeed(PackingPipeline& pipeline, size_t index) : pipeline_(pipeline), index_(index) {}

    bool Open(FileFacts& facts, std::string& error) override
    {
        Locked locked(pipeline_.lock_);
        Job& job = *pipeline_.jobs_[index_];
        while (!job.opened) pipeline_.WaitForWorker(index_);
        if (job.thrown && !job.openOk) std::rethrow_exception(job.thrown);
        if (!job.openOk) {
            // The writer leaves the file out and goes on to the next one.
            error = job.error;
            pipeline_.writing_ = index_ + 1;
            pipeline_.WakeWorkers();
            return false;
        }
        facts = job.facts;
        return true;
    }

    PackResult Pack(RestartableSink& sink, PackedData& packed) override
    {
        std::vector<uint8_t> chunk;
        for (;;) {
            const Step step = Take(chunk, packed);
            if (step == Step::Done) break;
            const bool written = step == Step::Restart ? sink.Restart() : sink.Write(chunk.data(), chunk.size());
            if (!written) {
                pipeline_.Stop();
                return PackResult::WriteFailed;
            }
        }
        Locked locked(pipeline_.lock_);
        if (pipeline_.spare_.size() < kMaxSpareChunks && chunk.capacity() != 0) {
            chunk.clear();
            pipeline_.spare_.push_back(std::move(chunk));
        }
        pipeline_.writing_ = index_ + 1;
        pipeline_.WakeWorkers();
        return pipeline_.jobs_[index_]->result;
    }

private:
    enum class Step { Bytes, Restart, Done };

    // The next thing to do with the member's data, in the order the worker did it.
    Step Take(std::vector<uint8_t>& chunk, PackedData& packed)
    {
        Locked locked(pipeline_.lock_);
        Job& job = *pipeline_.jobs_[index_];
        while (!job.restart && job.chunks.empty() && !job.finished) pipeline_.WaitForWorker(index_);
        if (job.restart) {
            job.restart = false;
            return Step::Restart;
        }
        if (job.chunks.empty()) {
            if (job.thrown) std::rethrow_exception(job.thrown);
            packed = job.packed;
            return Step::Done;
        }
        if (chunk.capacity() != 0 && pipeline_.spare_.size() < kMaxSpareChunks) {
            chunk.clear();
            pipeline_.spare_.push_back(std::move(chunk));
        }
        chunk = std::move(job.chunks.front());
        job.chunks.pop_front();
        job.waiting -= chunk.size();
        pipeline_.waiting_ -= chunk.size();
        pipeline_.WakeWorkers();
        return Step::Bytes;
    }

    PackingPipeline& pipeline_;
    size_t index_;
};

unsigned PackingPipeline::WorkerCount()
{
    char value[16];
    const DWORD length = GetEnvironmentVariableA(kWorkersVariable, value, sizeof value);
    if (length > 0 && length < sizeof value) return Clamp(static_cast<unsigned>(strtoul(value, nullptr, 10)));
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return Clamp(system.dwNumberOfProcessors);
}

PackingPipeline::PackingPipeline(const std::vector<std::string>& diskPaths,
                                 const std::vector<const PackingMethod*>& methods, unsigned workers,
                                 ProgressMonitor* monitor)
    : monitor_(monitor)
{
    for (size_t i = 0; i < diskPaths.size(); ++i) jobs_.emplace_back(new Job(diskPaths[i], *methods[i], i));
    if (workers > diskPaths.size()) workers = static_cast<unsigned>(diskPaths.size());
    if (workers <= 1) return;
    ahead_ = static_cast<size_t>(workers) * kAheadPerWorker;
    waitingBound_ = static_cast<size_t>(workers) * kWaitingBytes;
    for (unsigned i = 0; i < workers; ++i) {
        HANDLE thread = CreateThread(nullptr, kWorkerStack, RunWorker, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        // Fewer threads only mean less at once; none means the writer packs.
        if (thread) threads_.push_back(thread);
    }
}

PackingPipeline::~PackingPipeline()
{
    Stop();
    for (HANDLE thread : threads_) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

PackingFeed& PackingPipeline::Next()
{
    const size_t index = next_++;
    if (threads_.empty())
        feed_.reset(new FileFeed(jobs_[index]->diskPath, jobs_[index]->method, monitor_));
    else
        feed_.reset(new JobFeed(*this, index));
    return *feed_;
}

DWORD WINAPI PackingPipeline::RunWorker(void* pipeline)
{
    static_cast<PackingPipeline*>(pipeline)->Work();
    return 0;
}

void PackingPipeline::Work()
{
    for (;;) {
        Job* job;
        {
            Locked locked(lock_);
            while (!stopping_ && claimed_ < jobs_.size() && (claimed_ >= writing_ + ahead_ || waiting_ >= waitingBound_))
                WaitForRoom();
            if (stopping_ || claimed_ == jobs_.size()) return;
            job = jobs_[claimed_++].get();
        }
        PackJob(*job);
    }
}

// No exception may leave a worker: the process (a script host with it) would
// end. What the packing threw waits in the job, after the chunks handed over
// before it, for the writer to throw again when it comes to this file.
void PackingPipeline::PackJob(Job& job)
{
    try {
        PackFile(job);
    } catch (...) {
        Locked locked(lock_);
        job.thrown = std::current_exception();
        job.opened = true;
        job.finished = true;
        WakeWriterFor(job);
    }
}

void PackingPipeline::PackFile(Job& job)
{
    FileFeed feed(job.diskPath, job.method, monitor_);
    FileFacts facts;
    std::string error;
    const bool opened = feed.Open(facts, error);
    {
        Locked locked(lock_);
        job.error = std::move(error);  // first: nothing after it throws, so the job is never half told
        job.opened = true;
        job.openOk = opened;
        job.facts = facts;
        job.finished = !opened;
        WakeWriterFor(job);
    }
    if (!opened) return;
    QueueSink sink(*this, job);
    PackedData packed;
    PackResult result = feed.Pack(sink, packed);
    if (result == PackResult::Ok && !sink.Flush()) result = PackResult::WriteFailed;
    // The file is closed before the writer hears the member is done: m removes
    // the files it added once the archive is in place.
    feed.Close();
    Locked locked(lock_);
    job.finished = true;
    job.result = result;
    job.packed = packed;
    WakeWriterFor(job);
}

// Waits while the job's waiting bytes are at the bound (a chunk always fits
// when nothing waits); false when the run is stopping.
bool PackingPipeline::Put(Job& job, std::vector<uint8_t>& chunk)
{
    Locked locked(lock_);
    while (!stopping_ && job.waiting > 0 && job.waiting + chunk.size() > kWaitingBytes) WaitForRoom();
    if (stopping_) return false;
    job.waiting += chunk.size();
    waiting_ += chunk.size();
    job.chunks.push_back(std::move(chunk));
    WakeWriterFor(job);
    chunk.clear();
    if (!spare_.empty()) {
        chunk = std::move(spare_.back());
        spare_.pop_back();
    }
    return true;
}

// What waits is thrown away; the writer cuts back what it already wrote.
bool PackingPipeline::Restart(Job& job)
{
    Locked locked(lock_);
    if (stopping_) return false;
    job.chunks.clear();
    waiting_ -= job.waiting;
    job.waiting = 0;
    job.restart = true;
    WakeWriterFor(job);
    WakeWorkers();  // less waits in all: one may take a file now
    return true;
}

std::vector<uint8_t> PackingPipeline::SpareChunk()
{
    Locked locked(lock_);
    std::vector<uint8_t> chunk;
    if (!spare_.empty()) {
        chunk = std::move(spare_.back());
        spare_.pop_back();
    }
    return chunk;
}

void PackingPipeline::Stop()
{
    Locked locked(lock_);
    stopping_ = true;
    WakeAllConditionVariable(&writerWake_);
    WakeAllConditionVariable(&workerWake_);
}

// Each side is woken only when the other has what it waits for: a wake-up
// that finds nothing to do costs a processor a system call and a switch.
// All four are called with the lock held.
void PackingPipeline::WaitForWorker(size_t index)
{
    writerWaitsFor_ = index;
    SleepConditionVariableSRW(&writerWake_, &lock_, INFINITE, 0);
    writerWaitsFor_ = kNoJob;
}

void PackingPipeline::WakeWriterFor(const Job& job)
{
    if (writerWaitsFor_ == job.index) WakeConditionVariable(&writerWake_);
}

void PackingPipeline::WaitForRoom()
{
    ++idleWorkers_;
    SleepConditionVariableSRW(&workerWake_, &lock_, INFINITE, 0);
    --idleWorkers_;
}

void PackingPipeline::WakeWorkers()
{
    if (idleWorkers_ != 0) WakeAllConditionVariable(&workerWake_);
}

} // namespace lha
