#include "archiver/format/ArchiveReader.h"

#include "archiver/format/ArchiveStart.h"

namespace lha {

namespace {

bool IsNamelessLevel0Folder(const MemberHeader& header)
{
    return header.level == 0 && header.method == "-lhd-" && header.path.empty();
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
    if (size_ == 0) {
        ended_ = true;
        error = "not an archive or broken header: empty file";
        return HeaderResult::Broken;
    }
    for (;;) {
        HeaderResult result = ReadHeader(file_, size_, offset_, header, error);
        if (result != HeaderResult::Member) {
            ended_ = true;
            return result;
        }
        offset_ = header.dataOffset + header.packedSize;
        if (!IsNamelessLevel0Folder(header)) return result;
    }
}

} // namespace lha
