// Where the archive starts in a file: offset 0 for a plain archive, or after
// the program of a self-extracting one (whose stub may hold text that looks
// like a header, and even a whole member of its own help text).
#pragma once
#include "archiver/files/FileHandle.h"

#include <cstdint>

namespace lha {

// Candidates are tested at offsets 0 to this one (256 KiB and 12 bytes, as
// the readers of self-extractors have always searched).
const uint64_t kLastArchiveStart = 262151;

// The offset of the first member header of `file` (`fileSize` bytes long). A
// file whose first bytes carry a method mark is a plain archive: 0, after one
// small read. Otherwise the stub is scanned through a bounded buffer for the
// first offset that holds a method mark and a header that parses; the one
// candidate after each "LHA-SFX" or "LhASFX V1.2," mark is passed over, valid
// or not (those stubs hold one before the real archive). 0 when none is found
// or the file cannot be read: the header reader then says what is wrong.
uint64_t FindArchiveStart(const FileHandle& file, uint64_t fileSize);

} // namespace lha
