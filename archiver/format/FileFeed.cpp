#include "archiver/format/FileFeed.h"

namespace lha {

bool FileFeed::Open(FileFacts& facts, std::string& error)
{
    if (!source_.OpenRead(diskPath_.c_str()) || !source_.Size(size_)) {
        error = "cannot read the file (error " + std::to_string(GetLastError()) + "): " + diskPath_;
        return false;
    }
    facts.size = size_;
    FILETIME written;
    facts.fileTime = GetFileTime(source_.Get(), nullptr, nullptr, &written)
                         ? (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime
                         : 0;
    const DWORD attributes = GetFileAttributesA(diskPath_.c_str());
    facts.attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
    return true;
}

PackResult FileFeed::Pack(RestartableSink& sink, PackedData& packed)
{
    return PackMember(source_, size_, method_, sink, packed, monitor_);
}

} // namespace lha
