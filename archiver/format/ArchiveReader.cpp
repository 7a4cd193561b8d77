#include "archiver/format/ArchiveReader.h"

#include "archiver/format/ArchiveStart.h"

#include <vector>

namespace lha {

namespace {

const size_t kPaddingChunk = 64 * 1024;

bool IsNamelessLevel0Folder(const MemberHeader& header)
{
    return header.level == 0 && header.method == "-lhd-" && header.path.empty();
}

bool IsPadding(uint8_t byte) { return byte == 0x00 || byte == 0x1A; }

std::string AtOffset(const std::string& what, uint64_t offset)
{
    return what + " at offset " + std::to_string(offset);
}

} // namespace

bool ArchiveReader::Open(const char* path)
{
    start_ = 0;
    offset_ = 0;
    ended_ = false;
    if (!file_.OpenRead(path) || !file_.Size(size_)) return false;
    start_ = FindArchiveStart(file_, size_);
    offset_ = start_;
    return true;
}

HeaderResult ArchiveReader::Next(MemberHeader& header, std::string& error)
{
    if (ended_) return HeaderResult::End;
    for (;;) {
        HeaderResult result = ReadNext(header, error);
        if (result != HeaderResult::Member) {
            ended_ = true;
            return result;
        }
        offset_ = header.dataOffset + header.packedSize;
        if (!IsNamelessLevel0Folder(header)) return result;
    }
}

// The header at offset_, its faults said with their place; where the first
// header must be, a header that does not parse means the file is no archive.
HeaderResult ArchiveReader::ReadNext(MemberHeader& header, std::string& error)
{
    const HeaderResult result = ReadHeader(file_, size_, offset_, header, error);
    if (result == HeaderResult::Member) return result;
    if (result == HeaderResult::End) return JudgeEnd(error);
    // Padding has no method mark, so only a Broken header may be padding.
    if (result == HeaderResult::Broken && OnlyPaddingFrom(offset_)) return HeaderResult::End;
    const bool first = offset_ == start_;
    if (first && result == HeaderResult::Broken) {
        error = AtOffset("no member header (" + error + ")", offset_);
        return HeaderResult::NotArchive;
    }
    error = AtOffset(error, offset_);
    return result;
}

// A zero byte, or the end of the file, at offset_.
HeaderResult ArchiveReader::JudgeEnd(std::string& error)
{
    const bool first = offset_ == start_;
    if (first && size_ == 0) {
        error = "empty file";
        return HeaderResult::NotArchive;
    }
    if (offset_ >= size_ || OnlyPaddingFrom(offset_ + 1)) return HeaderResult::End;
    if (first) {
        error = AtOffset("a zero byte where the first member header must be", offset_);
        return HeaderResult::NotArchive;
    }
    if (start_ != 0) return HeaderResult::End;
    error = "the end marker at offset " + std::to_string(offset_) + " is followed by " +
            std::to_string(size_ - offset_ - 1) + " more bytes";
    return HeaderResult::DataPastEnd;
}

// Whether the bytes from `offset` to the end of the file are all padding
// (true when there are none). A read failure counts as data.
bool ArchiveReader::OnlyPaddingFrom(uint64_t offset) const
{
    std::vector<uint8_t> chunk;
    while (offset < size_) {
        const uint64_t left = size_ - offset;
        chunk.resize(left < kPaddingChunk ? static_cast<size_t>(left) : kPaddingChunk);
        if (!file_.ReadAt(offset, chunk.data(), chunk.size())) return false;
        for (uint8_t byte : chunk)
            if (!IsPadding(byte)) return false;
        offset += chunk.size();
    }
    return true;
}

} // namespace lha
