// Member timestamps, held as FILETIME ticks (100 ns since 1601, UTC).
#pragma once
#include <cstdint>
#include <string>

namespace lha {

const uint64_t kTicksPerSecond = 10000000;
const uint64_t kUnixEpochTicks = 116444736000000000ULL;

uint64_t TicksFromUnixTime(uint32_t seconds);
// Whole seconds since 1970, clamped to the 32-bit field of a header.
uint32_t UnixTimeFromTicks(uint64_t ticks);
// The MS-DOS date (high word) and time (low word) of level 0 and 1 headers, in
// local time. 0 when the fields do not form a date.
uint64_t TicksFromDosTime(uint32_t dosTime);
// "YYYY-MM-DD HH:MM:SS" in local time, or blanks of the same width for 0.
std::string FormatLocalTime(uint64_t ticks);

} // namespace lha
