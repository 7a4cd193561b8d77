#include "archiver/format/MemberTime.h"

#include <windows.h>

#include <cstdio>

namespace lha {

namespace {

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
