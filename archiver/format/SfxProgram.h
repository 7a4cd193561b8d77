// Making a self-extracting program: a built self-extractor stub (sfx/) with
// its settings filled in, followed by an archive. The archive starts on the
// first byte after the stub's image, within the first 64 KiB, where every
// reader of self-extracting files looks.
#pragma once
#include "archiver/format/ProgressMonitor.h"
#include "archiver/format/SfxSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lha {

// The last offset at which the readers that search only the first 64 KiB
// still find a member header.
const uint64_t kOldReadersLastStart = 65543;

// Fills `stub` in: `settings` (its mark is set here) into the stub's one
// settings block, and the program's subsystem by the kind (console or
// window). False with `error` when `stub` is not a stub this can use: not a
// 32-bit Windows program, bytes past its image, too large for the archive to
// start where old readers look, or not exactly one settings block.
bool PrepareSfxStub(std::vector<uint8_t>& stub, const SfxSettings& settings, std::string& error);

// Writes the program `programPath`: the prepared stub, then the archive of
// `archivePath` from its first member header to its end (a self-extracting
// archive gives its archive without its own program). It is written under a
// temporary name in the program's folder and replaces `programPath` only when
// whole; on failure nothing is left and `error` says what went wrong. The
// archive is only read. The archive's bytes count as `monitor`'s progress; a
// cancel ends the copy ("cancelled") and leaves no program.
bool WriteSfxProgram(const std::vector<uint8_t>& stub, const SfxSettings& settings, const std::string& archivePath,
                     const std::string& programPath, std::string& error, ProgressMonitor* monitor = nullptr);

} // namespace lha
