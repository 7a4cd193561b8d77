#include "archiver/format/MemberTime.h"

#include <windows.h>

#include <cstdio>

namespace lha {

namespace {

// The ends of what the MS-DOS date and time hold: 1980-01-01 00:00:00 and
// 2107-12-31 23:59:58 (year, month, day, hour, minute, second / 2).
const uint32_t kFirstDosTime = (1u << 21) | (1u << 16);
const uint32_t kLastDosTime = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;

FILETIME ToFileTime(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

uint64_t FromFileTime(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

uint64_t TicksFromUnixTime(uint32_t seconds) { return kUnixEpochTicks + seconds * kTicksPerSecond; }

uint32_t UnixTimeFromTicks(uint64_t ticks)
{
    if (ticks <= kUnixEpochTicks) return 0;
    uint64_t seconds = (ticks - kUnixEpochTicks) / kTicksPerSecond;
    return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
}

uint64_t TicksFromDosTime(uint32_t dosTime)
{
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime), &local)) return 0;
    if (!LocalFileTimeToFileTime(&local, &utc)) return 0;
    return FromFileTime(utc);
}

uint32_t DosTimeFromTicks(uint64_t ticks)
{
    if (ticks == 0) return 0;
    FILETIME utc = ToFileTime(ticks), local;
    WORD date, time;
    if (!FileTimeToLocalFileTime(&utc, &local)) return kFirstDosTime;
    if (FileTimeToDosDateTime(&local, &date, &time)) return (static_cast<uint32_t>(date) << 16) | time;
    SYSTEMTIME parts;
    const bool late = FileTimeToSystemTime(&local, &parts) && parts.wYear > 2107;
    return late ? kLastDosTime : kFirstDosTime;
}

std::string FormatLocalTime(uint64_t ticks)
{
    FILETIME utc = ToFileTime(ticks), local;
    SYSTEMTIME parts;
    if (ticks == 0 || !FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
        return std::string(19, ' ');
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth, parts.wDay,
             parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

} // namespace lha
