// Drives every member of an IUnLha through its table, the same way from the
// 32-bit in-process client and from the 64-bit client of the surrogate.
#pragma once
#include <windows.h>

#include "vesker.h"

#include <string>
#include <vector>

// Text that survives the system code page: Japanese under 932 (with a
// character whose second byte is a backslash), Latin letters otherwise.
std::wstring RoundTripText();

// Runs hwnd, DoIt, ErrorCode and ResultString on a fresh object; `text` must
// come back unchanged through the archiver's echo. Returns one line per check
// that did not hold (empty when all held); a failed call is such a line too.
std::vector<std::string> DriveUnLha(IUnLha* unlha, const std::wstring& text);

// Whether `unlha` is a proxy (marshalled from another apartment or process)
// rather than the object itself: only proxies answer IMultiQI.
bool IsProxy(IUnLha* unlha);
