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

class Workers {
public:
    Workers(const std::vector<FileToPack>& files, const lha::PackingMethod& method, unsigned workers)
        : files_(files), method_(method), jobs_(files.size()), workers_(workers), ahead_(workers * kAheadPerWorker),
          waitingBound_(workers * kWaitingBytes) {}

    bool Run(const MemberWriter& write, std::string& error) {
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < workers_; ++i)
            threads.emplace_back([this] { Work(); });
        const bool ok = WriteInOrder(write, error);
        Stop();
        for (std::thread& thread : threads)
            thread.join();
        return ok;
    }

private:
    // Claims the next file while it is within reach of the writer.
    bool Claim(size_t& index) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopping_ || claimed_ >= jobs_.size() || (claimed_ < written_ + ahead_ && waiting_ < waitingBound_); });
        if (stopping_ || claimed_ >= jobs_.size())
            return false;
        index = claimed_++;
        return true;
    }

    void Work() {
        for (size_t index; Claim(index);) {
            Job& job = jobs_[index];
            const bool ok = PackFile(files_[index].path, files_[index].name, method_, job.member, job.error);
            std::lock_guard<std::mutex> lock(mutex_);
            job.ok = ok;
            job.done = true;
            waiting_ += job.member.data.size();
            changed_.notify_all();
        }
    }

    bool WriteInOrder(const MemberWriter& write, std::string& error) {
        for (size_t index = 0; index < jobs_.size(); ++index) {
            Job& job = jobs_[index];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&job] { return job.done; });
            }
            if (!job.ok) {
                error = job.error;
                return false;
            }
            if (!write(job.member)) {
                error = files_[index].name + ": cannot write the member";
                return false;
            }
            const size_t size = job.member.data.size();
            job.member = PackedMember();  // its memory goes back now
            std::lock_guard<std::mutex> lock(mutex_);
            waiting_ -= size;
            written_ = index + 1;
            changed_.notify_all();
        }
        return true;
    }

    void Stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

    const std::vector<FileToPack>& files_;
    const lha::PackingMethod& method_;
    std::vector<Job> jobs_;
    const unsigned workers_;
    const size_t ahead_;
    const size_t waitingBound_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t claimed_ = 0;
    size_t written_ = 0;
    size_t waiting_ = 0;  // bytes of packed members done and not yet written
    bool stopping_ = false;
};

} // namespace

bool PackFiles(const std::vector<FileToPack>& files, const lha::PackingMethod& method, unsigned workers,
               const MemberWriter& write, std::string& error) {
    if (workers > 1 && files.size() > 1)
        return Workers(files, method, workers).Run(write, error);
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
