#include "component/ResultStringBuilder.h"

// Every piece is converted on its own, so its text depends only on its bytes
// and the system code page, which is fixed for the life of the process. Each
// distinct piece is therefore converted once and remembered: the walk costs a
// table look-up per piece, and the result is the same as converting and
// appending the pieces one by one.
//
// A code page without lead bytes has only single-byte pieces, each one unit
// long; there the whole text converts in one call to the same units, and the
// CR of each line end is put in afterwards.

namespace {

// A piece's text packed in 32 bits: the units that its conversion wrote before
// the first zero unit, at most two (each unit takes at least one byte, and the
// piece's terminator converts to a zero unit), first unit in the low half.
using PieceText = LONG;

// Not converted yet. No piece's text packs to 0: text whose first unit is 0 is
// empty and packs to kEmptyText.
constexpr PieceText kNotConverted = 0;
constexpr PieceText kEmptyText = static_cast<PieceText>(0xFFFF0000);

// What one byte starts, packed in 32 bits; 0 while not yet classified. A
// plain byte is a piece alone whose text is one unit, kept in the low half.
using ByteEntry = LONG;
constexpr ByteEntry kKindMask = 0x70000;
constexpr ByteEntry kPlainByte = 0x10000;
constexpr ByteEntry kLineFeed = 0x20000;
constexpr ByteEntry kLeadByte = 0x30000;
constexpr ByteEntry kOtherByte = 0x40000; // a piece alone whose text is not one unit

// Shared by every object on every thread. Each entry is one aligned 32-bit
// word, written whole, and any thread that fills it writes the same value.
volatile ByteEntry g_byteEntries[256];
volatile PieceText g_singleByteTexts[256];
volatile PieceText g_pairTexts[256 * 256];
volatile PieceText g_lineEndText;

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

UINT TextLength(PieceText text)
{
    const DWORD units = static_cast<DWORD>(text);
    if (!(units & 0xFFFF)) return 0;
    return (units >> 16) ? 2 : 1;
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

// LF is tested before the lead bytes, as the walk tests it.
__attribute__((noinline)) ByteEntry ClassifyByte(unsigned char byte)
{
    ByteEntry entry = kOtherByte;
    if (byte == '\n') {
        entry = kLineFeed;
    } else if (IsDBCSLeadByte(byte)) {
        entry = kLeadByte;
    } else {
        const PieceText text = SingleByteText(byte);
        if (TextLength(text) == 1) entry = kPlainByte | (text & 0xFFFF);
    }
    g_byteEntries[byte] = entry;
    return entry;
}

inline ByteEntry EntryOf(unsigned char byte)
{
    const ByteEntry entry = g_byteEntries[byte];
    return entry ? entry : ClassifyByte(byte);
}

// Bytes looked at together on the fast path.
constexpr int kBlockSize = 8;

// True when the next kBlockSize bytes are all plain, with their entries in
// `entries`. A zero byte or a byte not yet classified is never plain.
bool PlainBlock(const unsigned char* at, ByteEntry* entries)
{
    ByteEntry all = -1;
    ByteEntry any = 0;
    for (int i = 0; i < kBlockSize; ++i) {
        entries[i] = g_byteEntries[at[i]];
        all &= entries[i];
        any |= entries[i];
    }
    return (all & kPlainByte) && !(any & kKindMask & ~kPlainByte);
}

// Hands each piece's text to `sink` in order, up to the first zero byte or
// the end of the area. Plain bytes, by far the most common, go a block at a
// time; branches are few, since each one costs dearly under emulation.
template <typename Sink>
void WalkPieces(const unsigned char* at, const unsigned char* end, Sink& sink)
{
    ByteEntry entries[kBlockSize];
    while (at < end && *at) {
        if (end - at >= kBlockSize && PlainBlock(at, entries)) {
            sink.Block(entries);
            at += kBlockSize;
            continue;
        }
        const ByteEntry entry = EntryOf(*at);
        const ByteEntry kind = entry & kKindMask;
        if (kind == kPlainByte) {
            sink.Unit(static_cast<WCHAR>(entry & 0xFFFF));
        } else if (kind == kLineFeed) {
            sink.Text(LineEndText());
        } else if (kind != kLeadByte) {
            sink.Text(SingleByteText(*at));
        } else if (at + 1 < end && at[1]) {
            sink.Text(PairText(at[0], at[1]));
            ++at;
        } else {
            // A lead byte before the terminator or at the area's end is a
            // piece alone, and the walk ends with it.
            sink.Text(SingleByteText(*at));
            return;
        }
        ++at;
    }
}

struct UnitCounter {
    UINT units = 0;
    void Unit(WCHAR) { ++units; }
    void Block(const ByteEntry*) { units += kBlockSize; }
    void Text(PieceText text) { units += TextLength(text); }
};

struct UnitWriter {
    WCHAR* cursor;
    void Unit(WCHAR unit) { *cursor++ = unit; }
    void Block(const ByteEntry* entries)
    {
        for (int i = 0; i < kBlockSize; ++i) cursor[i] = static_cast<WCHAR>(entries[i] & 0xFFFF);
        cursor += kBlockSize;
    }
    void Text(PieceText text)
    {
        const DWORD units = static_cast<DWORD>(text);
        const UINT length = TextLength(text);
        if (length > 0) cursor[0] = static_cast<WCHAR>(units & 0xFFFF);
        if (length > 1) cursor[1] = static_cast<WCHAR>(units >> 16);
        cursor += length;
    }
};

// Piece by piece through the remembered texts: two walks, one to count the
// units and one to write them.
HRESULT BuildFromPieces(const unsigned char* begin, size_t size, BSTR* out)
{
    UnitCounter counter;
    WalkPieces(begin, begin + size, counter);
    BSTR result = SysAllocStringLen(nullptr, counter.units);
    if (!result) return E_OUTOFMEMORY;
    UnitWriter writer = {result};
    WalkPieces(begin, begin + size, writer);
    *out = result;
    return S_OK;
}

// The whole text in one conversion.

// How the system code page's text is converted; kNotDecided until the first
// conversion decides. Shared like the tables above: one aligned 32-bit word,
// and every thread that decides writes the same value.
using ConversionWay = LONG;
constexpr ConversionWay kNotDecided = 0;
constexpr ConversionWay kWholeText = 1;
constexpr ConversionWay kPieceByPiece = 2;
volatile ConversionWay g_conversionWay;

// No lead-byte ranges and one byte per character. A code page of longer
// sequences without lead bytes (UTF-8) would join bytes that the walk keeps
// apart, so it goes piece by piece. A failed query answers false.
bool CodePageHasNoLeadBytes()
{
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return false;
    for (BYTE bound : info.LeadByte) {
        if (bound) return false;
    }
    return true;
}

// Whether one conversion of a text gives the walk's units, byte for byte:
// every byte but the terminator and LF is a plain piece (no lead byte, one
// unit) whose unit is the one it converts to within a text, and CR LF is two
// units. Asked once, after the code page has shown no lead bytes.
bool WholeTextMatchesPieces()
{
    if (TextLength(LineEndText()) != 2) return false;
    constexpr int kNonZeroBytes = 255;
    char bytes[kNonZeroBytes];
    for (int i = 0; i < kNonZeroBytes; ++i) bytes[i] = static_cast<char>(i + 1);
    WCHAR units[kNonZeroBytes];
    if (MultiByteToWideChar(CP_ACP, 0, bytes, kNonZeroBytes, units, kNonZeroBytes) != kNonZeroBytes) return false;
    for (int i = 0; i < kNonZeroBytes; ++i) {
        const unsigned char byte = static_cast<unsigned char>(i + 1);
        if (byte == '\n') continue;
        const ByteEntry entry = EntryOf(byte);
        if ((entry & kKindMask) != kPlainByte || static_cast<WCHAR>(entry & 0xFFFF) != units[i]) return false;
    }
    return true;
}

ConversionWay WayOfCodePage()
{
    ConversionWay way = g_conversionWay;
    if (way == kNotDecided) {
        way = CodePageHasNoLeadBytes() && WholeTextMatchesPieces() ? kWholeText : kPieceByPiece;
        g_conversionWay = way;
    }
    return way;
}

// Four bytes read from any address.
typedef DWORD __attribute__((may_alias, aligned(1))) UnalignedWord;

// 0x80 in each byte of `word` that is zero and nowhere else: no carry crosses
// a byte, so the marks are exact.
inline DWORD ZeroByteMarks(DWORD word)
{
    return ~(((word & 0x7F7F7F7F) + 0x7F7F7F7F) | word | 0x7F7F7F7F);
}

// Not zero when `word` has a zero byte; cheaper than the exact marks.
inline DWORD HasZeroByte(DWORD word)
{
    return (word - 0x01010101) & ~word & 0x80808080;
}

// The LF of `word` as 1 in each byte that holds one.
inline DWORD LineFeedLanes(DWORD word)
{
    return ZeroByteMarks(word ^ 0x0A0A0A0A) >> 7;
}

// The sum of the four byte lanes of `lanes`.
inline size_t LaneSum(DWORD lanes)
{
    lanes = (lanes & 0x00FF00FF) + ((lanes >> 8) & 0x00FF00FF);
    return (lanes & 0xFFFF) + (lanes >> 16);
}

struct TextExtent {
    size_t length; // bytes before the first zero byte or the area's end
    size_t lineFeeds;
};

// Four words at a time while four whole words remain and hold no zero byte,
// with the LF counted in byte lanes; then word by word, then byte by byte
// from the word that holds the terminator or the area's last bytes.
TextExtent MeasureText(const unsigned char* area, size_t size)
{
    constexpr size_t kWord = sizeof(DWORD);
    constexpr size_t kStride = 4 * kWord;
    // Each stride adds at most 4 to a lane: 63 strides stay below 256.
    constexpr int kStridesPerSum = 63;
    size_t at = 0;
    size_t lineFeeds = 0;
    DWORD lanes = 0;
    int strides = 0;
    for (; size - at >= kStride; at += kStride) {
        const UnalignedWord* words = reinterpret_cast<const UnalignedWord*>(area + at);
        const DWORD a = words[0], b = words[1], c = words[2], d = words[3];
        if (HasZeroByte(a) | HasZeroByte(b) | HasZeroByte(c) | HasZeroByte(d)) break;
        lanes += LineFeedLanes(a) + LineFeedLanes(b) + LineFeedLanes(c) + LineFeedLanes(d);
        if (++strides == kStridesPerSum) {
            lineFeeds += LaneSum(lanes);
            lanes = 0;
            strides = 0;
        }
    }
    lineFeeds += LaneSum(lanes);
    for (; size - at >= kWord; at += kWord) {
        const DWORD word = *reinterpret_cast<const UnalignedWord*>(area + at);
        if (HasZeroByte(word)) break;
        lineFeeds += LaneSum(LineFeedLanes(word));
    }
    for (; at < size && area[at]; ++at) lineFeeds += area[at] == '\n';
    return {at, lineFeeds};
}

// `units` holds the conversion of `text`, one unit per byte, with room for
// one more unit per LF. From the end, each unit moves right by the number of
// LF before it, and each LF's unit becomes the line end's two; the units
// before the first LF stay where they are.
void ExpandLineFeeds(const unsigned char* text, size_t length, size_t lineFeeds, WCHAR* units)
{
    const DWORD lineEnd = static_cast<DWORD>(LineEndText());
    const WCHAR first = static_cast<WCHAR>(lineEnd & 0xFFFF);
    const WCHAR second = static_cast<WCHAR>(lineEnd >> 16);
    size_t to = length + lineFeeds;
    for (size_t from = length; lineFeeds;) {
        --from;
        if (text[from] == '\n') {
            units[--to] = second;
            units[--to] = first;
            --lineFeeds;
        } else {
            units[--to] = units[from];
        }
    }
}

// Larger texts go piece by piece, whose counts stand for any size; the whole
// text's length must fit MultiByteToWideChar's int.
constexpr size_t kLargestWholeText = 0x3FFFFFFF;

HRESULT BuildFromWholeText(const unsigned char* begin, size_t size, BSTR* out)
{
    const TextExtent text = MeasureText(begin, size);
    if (text.length + text.lineFeeds > kLargestWholeText) return BuildFromPieces(begin, size, out);
    // The walk's count, so the allocation and its failure are the walk's.
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(text.length + text.lineFeeds));
    if (!result) return E_OUTOFMEMORY;
    const int length = static_cast<int>(text.length);
    if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(begin), length, result, length) != length) {
        // Not for a code page that passed WholeTextMatchesPieces; should it
        // happen, the walk's text stands.
        SysFreeString(result);
        return BuildFromPieces(begin, size, out);
    }
    ExpandLineFeeds(begin, text.length, text.lineFeeds, result);
    *out = result;
    return S_OK;
}

using Builder = HRESULT (*)(const unsigned char*, size_t, BSTR*);

HRESULT Build(Builder builder, const char* area, size_t size, BSTR* out)
{
    *out = nullptr;
    // Nothing to append: the empty output leaves no string at all.
    if (size == 0 || area[0] == 0) return S_OK;
    return builder(reinterpret_cast<const unsigned char*>(area), size, out);
}

} // namespace

HRESULT BuildResultString(const char* area, size_t size, BSTR* out)
{
    if (WayOfCodePage() == kWholeText) return Build(BuildFromWholeText, area, size, out);
    return Build(BuildFromPieces, area, size, out);
}

HRESULT BuildResultStringPieceByPiece(const char* area, size_t size, BSTR* out)
{
    return Build(BuildFromPieces, area, size, out);
}

HRESULT BuildResultStringAsWholeText(const char* area, size_t size, BSTR* out)
{
    return Build(BuildFromWholeText, area, size, out);
}

bool SystemCodePageConvertsAsWholeText()
{
    return WayOfCodePage() == kWholeText;
}
