// Packing workers that run out of memory (archiver/format/PackingPipeline):
// the failure reaches the writer's thread as std::bad_alloc, where the entry
// turns it into the out-of-memory code, and the archive being replaced stays
// as it was. The allocations fail for real: this program replaces operator
// new, and while armed it refuses the large blocks (a worker's read buffer and
// the chunks it hands packed bytes over in) on every thread but the test's.
#include "archiver/format/ArchiveWriter.h"
#include "archiver/format/PackingPipeline.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const size_t kLargeBlock = 64 * 1024;
std::atomic<bool> g_armed{false};
std::atomic<long> g_granted{0};  // large blocks still given to workers while armed
DWORD g_testThread = 0;

bool Refuses(std::size_t size)
{
    return size >= kLargeBlock && g_armed && GetCurrentThreadId() != g_testThread && g_granted.fetch_sub(1) <= 0;
}

} // namespace

void* operator new(std::size_t size)
{
    if (Refuses(size)) throw std::bad_alloc();
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using Bytes = std::vector<char>;

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.cFileName[0] != '.') names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

struct WorkerCase {
    const char* name;
    unsigned workers;
    long granted;  // large blocks the workers get before one is refused
    bool fails;
};

const WorkerCase kWorkerCases[] = {
    {"every worker's first large block refused", 2, 0, true},
    {"two workers, a later file refused", 2, 5, true},
    {"eight workers, a later file refused", 8, 11, true},
    {"a large member refused while it streams", 3, 2, true},
    {"no block refused: the archive is replaced", 3, 1000000, false},
};

class PackingWorkers : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_testThread = GetCurrentThreadId();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "vesker-workers-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        std::mt19937 random(5);
        // Text packs; noise does not and is stored after packing gave up;
        // the large one streams in many chunks.
        for (int i = 0; i < 16; ++i) {
            Bytes bytes(i == 7 ? 3 * 1024 * 1024 : 20000 + 3000 * i);
            for (size_t at = 0; at < bytes.size(); ++at)
                bytes[at] = i % 3 == 0 ? static_cast<char>(random()) : "packing workers "[at % 16];
            files_.push_back(folder_ + "file" + std::to_string(i) + ".bin");
            WriteAll(files_.back(), bytes);
        }
    }

    void TearDown() override
    {
        for (const std::string& name : Names(folder_)) DeleteFileA((folder_ + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // Writes the archive of every file over the one at `archive` as a, u, f
    // and m do; true when a worker's bad_alloc reached this thread.
    bool ThrewOutOfMemory(const std::string& archive, unsigned workers, std::string& error)
    {
        const lha::PackingMethod& method = *lha::FindPackingMethod("-lh5-");
        try {
            lha::ArchiveWriter writer;
            if (!writer.Begin(archive, error)) return false;
            lha::PackingPipeline pipeline(files_, std::vector<const lha::PackingMethod*>(files_.size(), &method), workers);
            for (size_t i = 0; i < files_.size(); ++i)
                if (!writer.AddPacked(pipeline.Next(), "file" + std::to_string(i), method, error)) return false;
            writer.Commit(error);
        } catch (const std::bad_alloc&) {
            return true;
        }
        return false;
    }

    std::string folder_;
    std::vector<std::string> files_;
};

TEST_F(PackingWorkers, OutOfMemoryEndsTheRunAndKeepsTheArchive)
{
    const std::string archive = folder_ + "old.lzh";
    const Bytes old = {'o', 'l', 'd', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'};
    const std::set<std::string> before = [&] {
        WriteAll(archive, old);
        return Names(folder_);
    }();
    for (const WorkerCase& row : kWorkerCases) {
        SCOPED_TRACE(row.name);
        WriteAll(archive, old);
        std::string error;
        g_granted = row.granted;
        g_armed = true;
        const bool threw = ThrewOutOfMemory(archive, row.workers, error);
        g_armed = false;
        EXPECT_EQ(row.fails, threw) << error;
        EXPECT_EQ(row.fails, ReadAll(archive) == old) << error;
        // No temporary archive is left beside it.
        EXPECT_EQ(before, Names(folder_));
    }
}

} // namespace
