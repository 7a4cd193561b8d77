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
// The MS-DOS date and time of `ticks` in local time, its seconds rounded down
// to even: 0 for 0 (unknown); clamped to 1980-01-01 00:00:00 and
// 2107-12-31 23:59:58, the ends of what the fields hold.
uint32_t DosTimeFromTicks(uint64_t ticks);
// "YYYY-MM-DD HH:MM:SS" in local time, or blanks of the same width for 0.
std::string FormatLocalTime(uint64_t ticks);

} // namespace lha
