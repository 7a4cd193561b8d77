// The self-extractor's extraction of the archive appended to it, with the
// archiver's rules: nothing outside the destination (leading separators and
// drive prefixes removed, other unsafe names refused), nothing through a link
// or reparse point, a member written under a temporary name in its folder and
// renamed only on a good CRC, Unix links never created.
#pragma once
#include "archiver/files/FileHandle.h"
#include "archiver/format/MemberHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sfx {

struct ExtractionOptions {
    std::string destination;  // ends in a backslash
    bool keepFolders = false; // false: every file lands in the destination itself
    bool overwrite = false;   // replace files in the way
};

// What the user sees of a run: a line per member, and the progress.
class ExtractionView {
public:
    virtual ~ExtractionView() = default;
    // What happened to a member; `code` is 0 or the return code it raised.
    virtual void Line(const std::string& text, int code) = 0;
    // About to work on `name`; `done` of `total` packed bytes are behind.
    virtual void Progress(const std::string& name, uint64_t done, uint64_t total) = 0;
};

// The members of the archive that starts at `start` of `file`, read whole
// before anything is written; a header that does not parse ends the list and
// `code` gets its return code (the members before it still count).
std::vector<lha::MemberHeader> ReadMembers(const lha::FileHandle& file, uint64_t fileSize, uint64_t start,
                                           int& code);

// Extracts `members` from `file`; returns 0 or the first error, else the first
// warning, of the archiver's return codes.
int ExtractMembers(const lha::FileHandle& file, const std::vector<lha::MemberHeader>& members,
                   const ExtractionOptions& options, ExtractionView& view);

} // namespace sfx
