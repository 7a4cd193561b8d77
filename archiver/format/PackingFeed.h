// Where the archive writer gets one file's member from: what the header says
// about the file, then its packed data. A feed may do the work on the writer's
// thread (FileFeed) or take it from a worker that packed it meanwhile
// (PackingPipeline); the writer cannot tell, so the archive is the same.
#pragma once
#include "archiver/format/MemberPacker.h"

#include <cstdint>
#include <string>

namespace lha {

struct FileFacts {
    uint64_t size = 0;
    uint64_t fileTime = 0;    // last write, FILETIME ticks; 0 when unknown
    uint32_t attributes = 0;  // GetFileAttributesA's, 0 when unknown
};

class PackingFeed {
public:
    virtual ~PackingFeed() = default;
    // The file's facts; false with `error` set when it cannot be opened or
    // sized (the writer may then go on to the next feed).
    virtual bool Open(FileFacts& facts, std::string& error) = 0;
    // After Open: the packed data into `sink`, as PackMember writes it.
    virtual PackResult Pack(RestartableSink& sink, PackedData& packed) = 0;
};

} // namespace lha
