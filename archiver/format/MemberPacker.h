// Packs one file's bytes as a member's data: the method asked for, or -lh0-
// (stored) when packing does not pay. One file in, packed bytes out to a sink
// and what its header needs back; nothing here knows the archive, so members
// may be packed apart from where they are written.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/Encoder.h"
#include "archiver/files/FileHandle.h"
#include "archiver/format/ProgressMonitor.h"

#include <cstdint>

namespace lha {

// Where packed bytes go. Restart throws away everything written so far (the
// packing did not pay and the data is stored instead); false when it cannot.
class RestartableSink : public ByteSink {
public:
    virtual bool Restart() = 0;
};

struct PackedData {
    const char* method = nullptr;  // the id the header names: the method asked for, or -lh0-
    uint64_t packedSize = 0;
    uint16_t crc = 0;              // of the original bytes
};

enum class PackResult {
    Ok,
    ReadFailed,   // the file could not be read, or held fewer than `size` bytes
    WriteFailed,  // the sink refused bytes or could not restart
    Cancelled,    // the monitor said stop; the sink holds part of the data
};

// Packs the first `size` bytes of `source` with `method` into `sink`. The
// packed data never exceeds `size` bytes: where it would reach it, the bytes
// are stored. An empty file is stored (nothing to pack). The file's bytes
// count as `monitor`'s progress, each once.
PackResult PackMember(const FileHandle& source, uint64_t size, const PackingMethod& method, RestartableSink& sink,
                      PackedData& packed, ProgressMonitor* monitor = nullptr);

} // namespace lha
