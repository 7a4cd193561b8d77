#include "archiver/format/MemberPacker.h"

#include "archiver/files/FileStreams.h"

namespace lha {

namespace {

PackResult Store(const FileHandle& source, uint64_t size, RestartableSink& sink, PackedData& packed)
{
    FileRegionSource input(source, 0, size);
    if (!CopyStream(input, size, sink)) return input.Failed() ? PackResult::ReadFailed : PackResult::WriteFailed;
    packed.method = StoredPackingMethod().id;
    packed.packedSize = size;
    packed.crc = input.Crc();
    return PackResult::Ok;
}

} // namespace

PackResult PackMember(const FileHandle& source, uint64_t size, const PackingMethod& method, RestartableSink& sink,
                      PackedData& packed)
{
    if (method.dictionaryBits == 0 || size == 0) return Store(source, size, sink, packed);
    FileRegionSource input(source, 0, size);
    uint64_t packedSize = 0;
    switch (Encode(method, input, size, sink, size, packedSize)) {
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
    return Store(source, size, sink, packed);
}

} // namespace lha
