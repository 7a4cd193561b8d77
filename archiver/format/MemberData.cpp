#include "archiver/format/MemberData.h"

#include "archiver/codec/Decoder.h"

namespace lha {

namespace {


UnpackResult CopyStored(FileRegionSource& source, uint64_t size, FileSink& sink)
{
    uint8_t chunk[4096];
    uint64_t left = size;
    while (left > 0) {
        size_t got = source.Read(chunk, left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk);
        if (got == 0) return UnpackResult::ReadFailed;
        if (!sink.Write(chunk, got)) return UnpackResult::WriteFailed;
        left -= got;
    }
    return UnpackResult::Ok;
}

bool DictionaryBits(const std::string& method, unsigned& bits)
{
    if (method == "-lh5-") bits = kLh5DictionaryBits;
    else if (method == "-lh6-") bits = kLh6DictionaryBits;
    else if (method == "-lh7-") bits = kLh7DictionaryBits;
    else return false;
    return true;
}

UnpackResult Decode(unsigned bits, FileRegionSource& source, const MemberHeader& header, FileSink& sink)
{
    switch (DecodeMember(bits, source, header.packedSize, header.originalSize, sink)) {
    case DecodeStatus::Ok: return UnpackResult::Ok;
    case DecodeStatus::CorruptData: return UnpackResult::CrcError;
    case DecodeStatus::InputFailed: return source.Failed() ? UnpackResult::ReadFailed : UnpackResult::CrcError;
    case DecodeStatus::OutputFailed: return UnpackResult::WriteFailed;
    }
    return UnpackResult::CrcError;
}

} // namespace

bool IsFolderMethod(const std::string& method) { return method == "-lhd-"; }

UnpackResult UnpackMember(const FileHandle& archive, const MemberHeader& header, FileSink& sink)
{
    if (IsFolderMethod(header.method)) return UnpackResult::Folder;
    FileRegionSource source(archive, header.dataOffset, header.packedSize);
    UnpackResult result;
    unsigned bits;
    if (header.method == "-lh0-") {
        if (header.packedSize != header.originalSize) return UnpackResult::CrcError;
        result = CopyStored(source, header.originalSize, sink);
    } else if (DictionaryBits(header.method, bits)) {
        result = Decode(bits, source, header, sink);
    } else {
        return UnpackResult::UnsupportedMethod;
    }
    if (result != UnpackResult::Ok) return result;
    if (sink.Count() != header.originalSize || sink.Crc() != header.crc) return UnpackResult::CrcError;
    return UnpackResult::Ok;
}

} // namespace lha
