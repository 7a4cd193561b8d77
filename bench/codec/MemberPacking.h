// One file packed as a member, the way the archiver's member packer does it:
// the method asked for, or -lh0- (stored) where packing would not make the
// data smaller. Everything is in memory: the bench times the codec, not a
// file layer.
#pragma once
#include "LevelTwoArchive.h"

#include "archiver/codec/Encoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace codec_bench {

struct PackedMember {
    MemberEntry entry;
    std::vector<uint8_t> data;  // the packed bytes
};

// Reads `path` and packs it as the member `name`; false (and `error` says
// why) when the file cannot be read or the encoder fails.
bool PackFile(const std::string& path, const std::string& name, const lha::PackingMethod& method,
              PackedMember& member, std::string& error);

} // namespace codec_bench
