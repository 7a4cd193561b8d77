#include "component/ResultStringBuilder.h"

// Every piece is converted on its own, so its text depends only on its bytes
// and the system code page, which is fixed for the life of the process. Each
// distinct piece is therefore converted once and remembered: the walk costs
// one table look-up per piece, and the result is the same as converting and
// appending the pieces one by one.

namespace {

// A piece's text packed in 32 bits: the units that its conversion wrote before
// the first zero unit, at most two (each unit takes at least one byte, and the
// piece's terminator converts to a zero unit), first unit in the low half.
using PieceText = LONG;

// Not converted yet. No piece's text packs to 0: text whose first unit is 0 is
// empty and packs to kEmptyText.
constexpr PieceText kNotConverted = 0;
constexpr PieceText kEmptyText = static_cast<PieceText>(0xFFFF0000);

enum ByteKind : LONG { kUnknownKind = 0, kLeadByte = 1, kOtherByte = 2 };

// Shared by every object on every thread. Each entry is one aligned 32-bit
// word, written whole, and any thread that fills it writes the same value.
volatile PieceText g_singleByteTexts[256];
volatile PieceText g_pairTexts[256 * 256];
volatile PieceText g_lineEndText;
volatile LONG g_byteKinds[256];

// Converts one zero-terminated piece of `bytes` bytes as a piece is converted:
// MultiByteToWideChar into (bytes + 1) units, keeping what it wrote before the
// first zero unit.
PieceText ConvertPiece(const char* piece, int bytes)
{
    WCHAR target[3] = {0, 0, 0};
    MultiByteToWideChar(CP_ACP, 0, piece, -1, target, bytes + 1);
    if (!target[0]) return kEmptyText;
    return static_cast<PieceText>(target[0] | (static_cast<DWORD>(target[1]) << 16));
}

PieceText Remembered(volatile PieceText* slot, const char* piece, int bytes)
{
    PieceText text = *slot;
    if (text == kNotConverted) {
        text = ConvertPiece(piece, bytes);
        *slot = text;
    }
    return text;
}

PieceText SingleByteText(unsigned char byte)
{
    const char piece[2] = {static_cast<char>(byte), 0};
    return Remembered(&g_singleByteTexts[byte], piece, 1);
}

PieceText PairText(unsigned char lead, unsigned char trail)
{
    const char piece[3] = {static_cast<char>(lead), static_cast<char>(trail), 0};
    return Remembered(&g_pairTexts[lead * 256 + trail], piece, 2);
}

PieceText LineEndText()
{
    return Remembered(&g_lineEndText, "\r\n", 2);
}

bool IsLeadByte(unsigned char byte)
{
    LONG kind = g_byteKinds[byte];
    if (kind == kUnknownKind) {
        kind = IsDBCSLeadByte(byte) ? kLeadByte : kOtherByte;
        g_byteKinds[byte] = kind;
    }
    return kind == kLeadByte;
}

UINT TextLength(PieceText text)
{
    const DWORD units = static_cast<DWORD>(text);
    if (!(units & 0xFFFF)) return 0;
    return (units >> 16) ? 2 : 1;
}

WCHAR* CopyText(WCHAR* target, PieceText text)
{
    const DWORD units = static_cast<DWORD>(text);
    const UINT length = TextLength(text);
    if (length > 0) target[0] = static_cast<WCHAR>(units & 0xFFFF);
    if (length > 1) target[1] = static_cast<WCHAR>(units >> 16);
    return target + length;
}

// The pieces of the output area, in order.
class PieceWalk {
public:
    PieceWalk(const char* area, size_t size)
        : at_(reinterpret_cast<const unsigned char*>(area)), end_(at_ + size)
    {
    }

    // The next piece's text; false once the walk has reached the terminator
    // or the area's end.
    bool Next(PieceText* text)
    {
        if (at_ == end_ || *at_ == 0) return false;
        const unsigned char byte = *at_;
        if (byte == '\n') {
            *text = LineEndText();
            ++at_;
        } else if (!IsLeadByte(byte)) {
            *text = SingleByteText(byte);
            ++at_;
        } else if (at_ + 1 < end_ && at_[1] != 0) {
            *text = PairText(byte, at_[1]);
            at_ += 2;
        } else {
            *text = SingleByteText(byte);
            at_ = end_;
        }
        return true;
    }

private:
    const unsigned char* at_;
    const unsigned char* end_;
};

} // namespace

HRESULT BuildResultString(const char* area, size_t size, BSTR* out)
{
    *out = nullptr;
    size_t pieces = 0;
    UINT units = 0;
    PieceText text = kNotConverted;
    for (PieceWalk walk(area, size); walk.Next(&text);) {
        ++pieces;
        units += TextLength(text);
    }
    // Nothing was appended: the empty output leaves no string at all.
    if (pieces == 0) return S_OK;

    BSTR result = SysAllocStringLen(nullptr, units);
    if (!result) return E_OUTOFMEMORY;
    WCHAR* cursor = result;
    for (PieceWalk walk(area, size); walk.Next(&text);) cursor = CopyText(cursor, text);
    *out = result;
    return S_OK;
}
