// Packs a list of files on worker threads, each file by one worker from start
// to end, as the archiver's packing pipeline does, and writes the members in
// the list's order (the calling thread is one of the workers, and whichever
// finishes the member due next writes it). A worker takes a file only while it is at
// most kAheadPerWorker files per worker past the one being written and less
// than kWaitingBytes per worker of packed members wait, so memory stays
// bounded and a large file holding the writer does not idle the others.
#pragma once
#include "MemberPacking.h"

#include <functional>
#include <string>
#include <vector>

namespace codec_bench {

struct FileToPack {
    std::string path;  // on disk
    std::string name;  // in the archive
};

constexpr unsigned kAheadPerWorker = 32;
constexpr size_t kWaitingBytes = 1024 * 1024;

using MemberWriter = std::function<bool(const PackedMember&)>;

// Packs `files` with `workers` threads (1: all on the caller's thread) and
// calls `write` for each member in order. False at the first file that fails
// or the first write that fails; `error` says which.
bool PackFiles(const std::vector<FileToPack>& files, const lha::PackingMethod& method, unsigned workers,
               const MemberWriter& write, std::string& error);

} // namespace codec_bench
