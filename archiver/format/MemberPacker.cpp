#include "archiver/format/MemberPacker.h"

#include "archiver/files/FileStreams.h"
#include "archiver/format/MonitoredSource.h"

namespace lha {

namespace {

// `counted` bytes of the file were counted as progress by a pass before this one.
PackResult Store(const FileHandle& source, uint64_t size, RestartableSink& sink, PackedData& packed,
                 ProgressMonitor* monitor, uint64_t counted)
{
    FileRegionSource input(source, 0, size);
    MonitoredSource watched(input, monitor, counted);
    if (!CopyStream(watched, size, sink)) {
        if (watched.Cancelled()) return PackResult::Cancelled;
        return input.Failed() ? PackResult::ReadFailed : PackResult::WriteFailed;
    }
    packed.method = StoredPackingMethod().id;
    packed.packedSize = size;
    packed.crc = input.Crc();
    return PackResult::Ok;
}

} // namespace

PackResult PackMember(const FileHandle& source, uint64_t size, const PackingMethod& method, RestartableSink& sink,
                      PackedData& packed, ProgressMonitor* monitor)
{
    if (method.dictionaryBits == 0 || size == 0) return Store(source, size, sink, packed, monitor, 0);
    FileRegionSource input(source, 0, size);
    MonitoredSource watched(input, monitor);
    uint64_t packedSize = 0;
    const EncodeStatus status = Encode(method, watched, size, sink, size, packedSize);
    if (watched.Cancelled()) return PackResult::Cancelled;
    switch (status) {
    case EncodeStatus::Ok:
        packed.method = method.id;
        packed.packedSize = packedSize;
        packed.crc = input.Crc();
        return PackResult::Ok;
    case EncodeStatus::InputFailed: return PackResult::ReadFailed;
    case EncodeStatus::OutputFailed: return input.Failed() ? PackResult::ReadFailed : PackResult::WriteFailed;
    case EncodeStatus::LimitReached: break;
    }
    if (input.Failed()) return PackResult::ReadFailed;
    if (!sink.Restart()) return PackResult::WriteFailed;
    return Store(source, size, sink, packed, monitor, watched.Count());
}

} // namespace lha
