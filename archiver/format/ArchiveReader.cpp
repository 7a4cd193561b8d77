#include "archiver/format/ArchiveReader.h"

namespace lha {

bool ArchiveReader::Open(const char* path)
{
    offset_ = 0;
    ended_ = false;
    return file_.OpenRead(path) && file_.Size(size_);
}

HeaderResult ArchiveReader::Next(MemberHeader& header, std::string& error)
{
    if (ended_) return HeaderResult::End;
    if (size_ == 0) {
        ended_ = true;
        error = "not an archive or broken header: empty file";
        return HeaderResult::Broken;
    }
    HeaderResult result = ReadHeader(file_, size_, offset_, header, error);
    if (result != HeaderResult::Member) {
        ended_ = true;
        return result;
    }
    offset_ = header.dataOffset + header.packedSize;
    return result;
}

} // namespace lha
