#include "archiver/format/ArchiveStart.h"

#include "archiver/format/HeaderCodec.h"

#include <cstring>
#include <string>
#include <vector>

namespace lha {

namespace {

// A candidate is tested only with this many bytes from its offset on; the
// longest skip mark is shorter.
const size_t kCandidateBytes = 13;
const size_t kWindowSize = 64 * 1024;

// Method marks that may start a member, by their second and third letters:
// "-lh?-", "-lz4-", "-lz5-", "-lzs-", and "-pm?-" but for "-pms-", which PMarc's
// self-extractor carries in its first bytes.
struct MarkPattern {
    char first;
    char second;
    const char* thirdTaken;    // null: any third letter not refused
    const char* thirdRefused;
};

const MarkPattern kMarkPatterns[] = {
    {'l', 'h', nullptr, ""},
    {'l', 'z', "45s", nullptr},
    {'p', 'm', nullptr, "s"},
};

// Stub texts after which the next candidate is not the archive: DECLHA's and
// ExpLZH's stubs hold "-lhd-" text, the Amiga LhASFX stub a member of its own.
const char* const kSkipMarks[] = {"LHA-SFX", "LhASFX V1.2,"};

bool InSet(const char* set, uint8_t c) { return c != 0 && std::strchr(set, c) != nullptr; }

// `p` has kCandidateBytes bytes; the method mark is at p + 2.
bool IsCandidate(const uint8_t* p)
{
    if (p[2] != '-' || p[6] != '-') return false;
    for (const MarkPattern& pattern : kMarkPatterns) {
        if (p[3] != pattern.first || p[4] != pattern.second) continue;
        return pattern.thirdTaken ? InSet(pattern.thirdTaken, p[5]) : !InSet(pattern.thirdRefused, p[5]);
    }
    return false;
}

bool StartsWithSkipMark(const uint8_t* p)
{
    for (const char* mark : kSkipMarks)
        if (std::memcmp(p, mark, std::strlen(mark)) == 0) return true;
    return false;
}

bool HeaderParsesAt(const FileHandle& file, uint64_t fileSize, uint64_t offset)
{
    MemberHeader header;
    std::string error;
    return ReadHeader(file, fileSize, offset, header, error) == HeaderResult::Member;
}

// The scanned part of the file through a buffer of at most kWindowSize bytes
// that only moves forward.
class Window {
public:
    Window(const FileHandle& file, uint64_t fileSize) : file_(file), fileSize_(fileSize) {}

    // kCandidateBytes bytes at `offset`; null when the file has fewer there or
    // cannot be read.
    const uint8_t* At(uint64_t offset)
    {
        if (offset + kCandidateBytes > fileSize_) return nullptr;
        if (offset + kCandidateBytes > start_ + bytes_.size()) {
            uint64_t size = fileSize_ - offset;
            const uint64_t scanned = kLastArchiveStart + kCandidateBytes - offset;
            if (size > scanned) size = scanned;
            if (size > kWindowSize) size = kWindowSize;
            bytes_.resize(static_cast<size_t>(size));
            start_ = offset;
            if (!file_.ReadAt(offset, bytes_.data(), bytes_.size())) return nullptr;
        }
        return &bytes_[static_cast<size_t>(offset - start_)];
    }

private:
    const FileHandle& file_;
    uint64_t fileSize_;
    uint64_t start_ = 0;
    std::vector<uint8_t> bytes_;
};

} // namespace

uint64_t FindArchiveStart(const FileHandle& file, uint64_t fileSize)
{
    uint8_t first[kCandidateBytes];
    if (fileSize < kCandidateBytes || !file.ReadAt(0, first, sizeof first)) return 0;
    if (IsCandidate(first)) return 0;
    Window window(file, fileSize);
    bool skipNext = false;
    for (uint64_t offset = 0; offset <= kLastArchiveStart; ++offset) {
        const uint8_t* p = window.At(offset);
        if (!p) break;
        // A new mark sets the skip again; marks do not add up.
        if (StartsWithSkipMark(p)) skipNext = true;
        if (!IsCandidate(p)) continue;
        if (skipNext) {
            skipNext = false;
            continue;
        }
        if (HeaderParsesAt(file, fileSize, offset)) return offset;
    }
    return 0;
}

} // namespace lha
