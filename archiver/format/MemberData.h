// Unpacks one member's data from its archive into a sink and checks its CRC.
#pragma once
#include "archiver/files/FileHandle.h"
#include "archiver/files/FileStreams.h"
#include "archiver/format/MemberHeader.h"
#include "archiver/format/ProgressMonitor.h"

namespace lha {

enum class UnpackResult {
    Ok,
    Folder,            // -lhd-: no data
    UnsupportedMethod,
    CrcError,          // the bytes do not match the CRC, or the packed data is damaged
    ReadFailed,        // the archive could not be read
    WriteFailed,       // the sink refused bytes
    Cancelled,         // the monitor said stop; the sink holds part of the data
};

bool IsFolderMethod(const std::string& method);

// Unpacks `header`'s data from `archive` into `sink` and checks its size and
// CRC. A MacLHA member that holds a MacBinary header reaches `sink` as its
// fork alone (MacBinaryFilter); the check is of the whole decoded data. The
// packed bytes read count as `monitor`'s progress.
UnpackResult UnpackMember(const FileHandle& archive, const MemberHeader& header, FileSink& sink,
                          ProgressMonitor* monitor = nullptr);

} // namespace lha
