// The file layout of a Windows program: where its image ends in the file (the
// end of its last section's data), which is where a self-extracting program's
// archive starts, and where its subsystem field is.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lha {

// Bytes read from a program's start that hold every header ReadProgramLayout needs.
const size_t kProgramHeaderBytes = 4096;

struct ProgramLayout {
    uint64_t imageEnd = 0;        // the first byte after the last section's data
    size_t subsystemOffset = 0;   // where the 16-bit subsystem field is
};

// Reads the layout from the first `size` bytes of a program (at most
// kProgramHeaderBytes are looked at). False when they are not a 32-bit
// Windows program whose headers lie within them.
bool ReadProgramLayout(const uint8_t* bytes, size_t size, ProgramLayout& layout);

} // namespace lha
