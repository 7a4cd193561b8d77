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
//
// When the system code page has no lead bytes and each byte converts to one
// unit (SystemCodePageConvertsAsWholeText), the text up to the terminator is
// converted in one call and the CR of each line end put in afterwards, which
// gives the same text; otherwise the pieces are converted one by one.
HRESULT BuildResultString(const char* area, size_t size, BSTR* out);

// The two ways, whatever the code page. The whole-text way gives the walk's
// text only for a text without lead bytes, of a code page whose bytes outside
// lead bytes convert to one unit each.
HRESULT BuildResultStringPieceByPiece(const char* area, size_t size, BSTR* out);
HRESULT BuildResultStringAsWholeText(const char* area, size_t size, BSTR* out);

// Decided from GetCPInfo (no lead-byte ranges, one byte per character) and a
// check that every byte converts alone to the unit it converts to within a
// text. Decided once and remembered; the code page is fixed for the process.
bool SystemCodePageConvertsAsWholeText();
