// Turns the archiver library's output area into the object's result text.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <stddef.h>

// Walks `area` (`size` bytes) up to its first zero byte, or to its end when
// the library left none, one piece at a time: LF becomes CR LF; a lead byte
// and the byte after it form one double-byte piece (the byte after it is never
// taken for LF); a lead byte right before the terminator or as the area's last
// byte is a piece alone and ends the walk; any other byte is a piece alone.
// Each piece converts on its own from the system code page. *out receives the
// concatenated text, or null when the walk found no piece. E_OUTOFMEMORY
// leaves *out null.
HRESULT BuildResultString(const char* area, size_t size, BSTR* out);
