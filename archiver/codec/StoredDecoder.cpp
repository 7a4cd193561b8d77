#include "archiver/codec/StoredDecoder.h"

namespace lha {

DecodeStatus DecodeStored(unsigned, ByteSource& packed, uint64_t packedSize, uint64_t originalSize, ByteSink& out)
{
    uint8_t chunk[65536];
    uint64_t left = originalSize < packedSize ? originalSize : packedSize;
    while (left > 0) {
        size_t want = left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk;
        size_t got = packed.Read(chunk, want);
        if (got == 0 || got > want) return DecodeStatus::InputFailed;
        if (!out.Write(chunk, got)) return DecodeStatus::OutputFailed;
        left -= got;
    }
    return packedSize < originalSize ? DecodeStatus::CorruptData : DecodeStatus::Ok;
}

} // namespace lha
