#include "PackingWorkers.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace codec_bench {
namespace {

struct Job {
    PackedMember member;
    std::string error;
    bool done = false;
    bool ok = false;
};

// The members go out in order, written by whichever worker finishes the file
// the archive needs next (with every later one already done): no thread waits
// to write, and a worker sleeps only when it is too far ahead. A wake-up is a
// system call that costs both processors.
class Workers {
public:
    Workers(const std::vector<FileToPack>& files, const lha::PackingMethod& method, unsigned workers,
            const MemberWriter& write)
        : files_(files), method_(method), write_(write), jobs_(files.size()), workers_(workers),
          ahead_(workers * kAheadPerWorker), waitingBound_(workers * kWaitingBytes) {}

    // The calling thread is one of the workers.
    bool Run(std::string& error) {
        std::vector<std::thread> threads;
        for (unsigned i = 1; i < workers_; ++i)
            threads.emplace_back([this] { Work(); });
        Work();
        for (std::thread& thread : threads)
            thread.join();
        error = error_;
        return error_.empty() && written_ == jobs_.size();
    }

private:
    // Claims the next file while it is within reach of the members written.
    bool Claim(size_t& index) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] {
            return stopping_ || claimed_ >= jobs_.size() || (claimed_ < written_ + ahead_ && waiting_ < waitingBound_);
        });
        if (stopping_ || claimed_ >= jobs_.size())
            return false;
        index = claimed_++;
        return true;
    }

    void Work() {
        for (size_t index; Claim(index);) {
            Job& job = jobs_[index];
            job.ok = PackFile(files_[index].path, files_[index].name, method_, job.member, job.error);
            std::unique_lock<std::mutex> lock(mutex_);
            job.done = true;
            waiting_ += job.member.data.size();
            if (index == written_ && !writing_)
                WriteDone(lock);
        }
    }

    // Writes the done members from the next one on, the lock let go while
    // each is written; the first failure in order stops the run.
    void WriteDone(std::unique_lock<std::mutex>& lock) {
        writing_ = true;
        while (!stopping_ && written_ < jobs_.size() && jobs_[written_].done) {
            Job& job = jobs_[written_];
            lock.unlock();
            const bool ok = job.ok && write_(job.member);
            const size_t size = job.member.data.size();
            job.member = PackedMember();  // its memory goes back now
            lock.lock();
            if (!ok) {
                error_ = job.ok ? files_[written_].name + ": cannot write the member" : job.error;
                stopping_ = true;
                break;
            }
            waiting_ -= size;
            ++written_;
        }
        writing_ = false;
        room_.notify_all();
    }

    const std::vector<FileToPack>& files_;
    const lha::PackingMethod& method_;
    const MemberWriter& write_;
    std::vector<Job> jobs_;
    const unsigned workers_;
    const size_t ahead_;
    const size_t waitingBound_;
    std::mutex mutex_;
    std::condition_variable room_;  // workers too far ahead wait here
    size_t claimed_ = 0;
    size_t written_ = 0;
    size_t waiting_ = 0;   // bytes of packed members done and not yet written
    bool writing_ = false;  // a worker is writing members
    bool stopping_ = false;
    std::string error_;
};

} // namespace

bool PackFiles(const std::vector<FileToPack>& files, const lha::PackingMethod& method, unsigned workers,
               const MemberWriter& write, std::string& error) {
    if (workers > 1 && files.size() > 1)
        return Workers(files, method, workers, write).Run(error);
    PackedMember member;
    for (const FileToPack& file : files) {
        if (!PackFile(file.path, file.name, method, member, error))
            return false;
        if (!write(member)) {
            error = file.name + ": cannot write the member";
            return false;
        }
    }
    return true;
}

} // namespace codec_bench
