#include "archiver/format/MemberData.h"

#include "archiver/codec/MethodTable.h"
#include "archiver/format/MacBinary.h"
#include "archiver/format/MonitoredSink.h"
#include "archiver/format/MonitoredSource.h"

namespace lha {

namespace {

UnpackResult Decode(const Method& method, FileRegionSource& source, const MemberHeader& header, ByteSink& sink,
                    ProgressMonitor* monitor)
{
    MonitoredSource counted(source, monitor);
    MonitoredSink watched(sink, monitor);
    const DecodeStatus status =
        method.decode(method.dictionaryBits, counted, header.packedSize, header.originalSize, watched);
    if (counted.Cancelled() || watched.Cancelled()) return UnpackResult::Cancelled;
    switch (status) {
    case DecodeStatus::Ok: return UnpackResult::Ok;
    case DecodeStatus::CorruptData: return UnpackResult::CrcError;
    case DecodeStatus::InputFailed: return source.Failed() ? UnpackResult::ReadFailed : UnpackResult::CrcError;
    case DecodeStatus::OutputFailed: return UnpackResult::WriteFailed;
    }
    return UnpackResult::CrcError;
}

} // namespace

bool IsFolderMethod(const std::string& method)
{
    const Method* row = FindMethod(method);
    return row && row->kind == MethodKind::Folder;
}

UnpackResult UnpackMember(const FileHandle& archive, const MemberHeader& header, FileSink& sink,
                          ProgressMonitor* monitor)
{
    const Method* method = FindMethod(header.method);
    if (!method) return UnpackResult::UnsupportedMethod;
    if (method->kind == MethodKind::Folder) return UnpackResult::Folder;
    FileRegionSource source(archive, header.dataOffset, header.packedSize);
    // The CRC is of every decoded byte, also of a MacBinary header the filter drops.
    MacBinaryFilter filter(header, sink);
    UnpackResult result = Decode(*method, source, header, filter, monitor);
    if (result != UnpackResult::Ok) return result;
    if (filter.Count() != header.originalSize || filter.Crc() != header.crc) return UnpackResult::CrcError;
    return UnpackResult::Ok;
}

} // namespace lha
