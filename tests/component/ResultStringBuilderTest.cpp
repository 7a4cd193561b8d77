// The output walk: line ends, double-byte characters, the terminator and the
// end of the area, checked by case and against a plain piece-by-piece
// rendering over thousands of random outputs; the whole-text way against the
// piece-by-piece way and a model of the line-end expansion on the same inputs.
#include "../blackbox/ComTestSupport.h"
#include "../script/GuardedMemory.h"
#include "../server/ModuleTestSupport.h"

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include "component/ResultStringBuilder.h"

static testing::Environment* const g_moduleEnvironment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

namespace {

using Result = std::optional<std::wstring>;
using Builder = HRESULT (*)(const char*, size_t, BSTR*);

Result Build(const std::string& area, Builder builder = BuildResultString)
{
    BSTR text = nullptr;
    EXPECT_EQ(builder(area.data(), area.size(), &text), S_OK);
    UniqueBstr owner(text);
    if (!text) return std::nullopt;
    return std::wstring(text, SysStringLen(text));
}

// The way the code page chooses and the two ways on their own. The whole-text
// way is only meant for text without lead bytes: under 932 it runs on such
// text alone.
struct Way {
    const char* name;
    Builder build;
    bool leadBytesAllowed;
};
const Way kWays[] = {
    {"chosen", BuildResultString, true},
    {"piece by piece", BuildResultStringPieceByPiece, true},
    {"whole text", BuildResultStringAsWholeText, false},
};

bool HasLeadByte(const std::string& area)
{
    for (size_t at = 0; at < area.size() && area[at]; ++at) {
        if (IsDBCSLeadByte(static_cast<BYTE>(area[at]))) return true;
    }
    return false;
}

bool Applies(const Way& way, const std::string& area)
{
    return way.leadBytesAllowed || !HasLeadByte(area);
}

// One zero-terminated piece converted on its own into (bytes + 1) units, as
// much text as the conversion wrote; unwritten units read as zero.
std::wstring ConvertPiece(const std::string& piece)
{
    std::vector<WCHAR> target(piece.size() + 1, 0);
    MultiByteToWideChar(CP_ACP, 0, piece.c_str(), -1, target.data(), static_cast<int>(target.size()));
    size_t length = 0;
    while (length < target.size() && target[length]) ++length;
    return std::wstring(target.data(), length);
}

// The walk as a plain loop that appends each piece to a growing string.
Result Reference(const std::string& area)
{
    Result result;
    for (size_t at = 0; at < area.size() && area[at];) {
        if (!result) result.emplace();
        const unsigned char byte = static_cast<unsigned char>(area[at]);
        if (byte == '\n') {
            *result += ConvertPiece("\r\n");
            at += 1;
        } else if (IsDBCSLeadByte(byte) && at + 1 < area.size() && area[at + 1]) {
            *result += ConvertPiece(area.substr(at, 2));
            at += 2;
        } else {
            *result += ConvertPiece(area.substr(at, 1));
            at = IsDBCSLeadByte(byte) ? area.size() : at + 1;
        }
    }
    return result;
}

using namespace std::string_literals;

template <typename Text>
Text Repeat(const Text& text, size_t count)
{
    Text repeated;
    while (count--) repeated += text;
    return repeated;
}

struct WalkCase {
    const char* name;
    UINT codePage; // 0: any
    std::string area;
    Result expected;
};
const WalkCase kWalkCases[] = {
    {"empty output", 0, "\0"s, std::nullopt},
    {"area of no bytes", 0, ""s, std::nullopt},
    {"lone LF", 0, "\n\0"s, L"\r\n"},
    {"LF becomes CR LF", 0, "a\nb\0"s, L"a\r\nb"},
    {"CR LF becomes CR CR LF", 0, "a\r\nb\0"s, L"a\r\r\nb"},
    {"nothing after the terminator is read", 0, "ab\0cd\0"s, L"ab"},
    {"area without terminator ends the walk", 0, "abc"s, L"abc"},
    {"full area of LF without terminator", 0, std::string(0x10000, '\n'), Repeat(L"\r\n"s, 0x10000)},
    {"full area of lines without terminator", 0, Repeat("abc\n"s, 0x4000), Repeat(L"abc\r\n"s, 0x4000)},
    {"text filling the area with its terminator", 0, std::string(0xFFFF, 'x') + '\0', std::wstring(0xFFFF, L'x')},
    {"single byte", 0, "x\0"s, L"x"},
    {"single byte without terminator", 0, "x"s, L"x"},
    {"single LF without terminator", 0, "\n"s, L"\r\n"},
    {"LF first", 0, "\nab\0"s, L"\r\nab"},
    {"LF last", 0, "ab\n\0"s, L"ab\r\n"},
    {"run of LF", 0, "a\n\n\nb\0"s, L"a\r\n\r\n\r\nb"},
    {"no LF", 0, "abcdefghi\0"s, L"abcdefghi"},
    {"CR alone is an ordinary byte", 0, "a\rb\r\0"s, L"a\rb\r"},
    {"LF in each byte of a word", 0, "\nbcda\ncdab\ndabc\n\0"s, L"\r\nbcda\r\ncdab\r\ndabc\r\n"},
    {"terminator in each byte of a word", 0, "abcd\0fgh\0"s, L"abcd"},
    {"terminator after a word", 0, "abc\n\0\n\n\n"s, L"abc\r\n"},
    {"double-byte character", 932, "\x82\xa0\0"s, L"\x3042"},
    {"double-byte character ending the area", 932, "\x82\xa0"s, L"\x3042"},
    {"byte after a lead byte is never LF", 932, "\x81\n\0"s, ConvertPiece("\x81\n")},
    {"lone lead byte before the terminator ends the walk", 932, "a\x82\0\x82\xa0\0"s, L"a" + ConvertPiece("\x82")},
    {"lead byte as the area's last byte", 932, "ab\x82"s, L"ab" + ConvertPiece("\x82")},
    {"half-width katakana is a single byte", 932, "\xb1\n\0"s, L"\xff71\r\n"},
    {"high bytes convert one by one", 1252, "\x80\xe9\0"s, L"\x20ac\xe9"},
    {"0x82 is an ordinary byte", 1252, "\x82\n\0"s, L"\x201a\r\n"},
    {"every high byte is a single byte", 1252, "\x81\n\xe0\xfc\xff\0"s, L"\x81\r\n\xe0\xfc\xff"},
};

TEST(BuildResultString, WalksTheOutput)
{
    for (const WalkCase& c : kWalkCases) {
        if (c.codePage && c.codePage != GetACP()) continue;
        for (const Way& way : kWays) {
            SCOPED_TRACE(std::string(c.name) + ", " + way.name);
            if (Applies(way, c.area)) EXPECT_EQ(Build(c.area, way.build), c.expected);
        }
    }
}

Result BuildGuarded(const std::string& area, Builder builder = BuildResultString)
{
    // The area's last byte is the last byte before an inaccessible page: a
    // walk that reads one byte too far faults.
    GuardedBuffer guarded(area.size());
    memcpy(guarded.Get(), area.data(), area.size());
    BSTR text = nullptr;
    EXPECT_EQ(builder(guarded.Get(), area.size(), &text), S_OK);
    UniqueBstr owner(text);
    if (!text) return std::nullopt;
    return std::wstring(text, SysStringLen(text));
}

TEST(BuildResultString, WalksTheOutputWithItsEndAgainstAGuardPage)
{
    for (const WalkCase& c : kWalkCases) {
        if (c.codePage && c.codePage != GetACP()) continue;
        for (const Way& way : kWays) {
            SCOPED_TRACE(std::string(c.name) + ", " + way.name);
            if (Applies(way, c.area)) EXPECT_EQ(BuildGuarded(c.area, way.build), c.expected);
        }
    }
    // The block and word passes near the end: every length around their
    // sizes, with a plain byte, LF or a lead byte last.
    for (size_t length = 1; length <= 36; ++length) {
        for (const std::string& last : {"x"s, "\n"s, "\x82"s}) {
            const std::string area = std::string(length - 1, 'x') + last;
            for (const Way& way : kWays) {
                SCOPED_TRACE(testing::PrintToString(area) + ", " + way.name);
                if (Applies(way, area)) EXPECT_EQ(BuildGuarded(area, way.build), Reference(area));
            }
        }
    }
    const std::string full(0x10000, 'x');
    for (const Way& way : kWays) {
        EXPECT_EQ(BuildGuarded(full, way.build), Result(std::wstring(0x10000, L'x')))
            << "the whole area, no terminator, " << way.name;
    }
}

struct CodePageCase {
    UINT codePage;
    bool wholeText;
};
const CodePageCase kCodePageCases[] = {
    {932, false}, // lead bytes 0x81..0x9F and 0xE0..0xFC
    {1252, true},
};

TEST(BuildResultString, ConvertsAsWholeTextWhenTheCodePageHasNoLeadBytes)
{
    bool known = false;
    for (const CodePageCase& c : kCodePageCases) {
        if (c.codePage != GetACP()) continue;
        known = true;
        EXPECT_EQ(SystemCodePageConvertsAsWholeText(), c.wholeText) << "code page " << c.codePage;
    }
    EXPECT_TRUE(known) << "the suite runs under 932 and 1252, not " << GetACP();
}

// The whole-text way as it is meant: one conversion of the text up to its
// terminator or the area's end, then a CR before the unit of each LF.
Result WholeTextModel(const std::string& area)
{
    const size_t length = std::min(area.find('\0'), area.size());
    if (length == 0) return std::nullopt;
    std::vector<WCHAR> units(length);
    const int converted = MultiByteToWideChar(CP_ACP, 0, area.data(), static_cast<int>(length), units.data(),
                                              static_cast<int>(length));
    EXPECT_EQ(converted, static_cast<int>(length)) << "one unit per byte";
    std::wstring text;
    for (size_t at = 0; at < length; ++at) {
        if (area[at] == '\n') text += L'\r';
        text += units[at];
    }
    return text;
}

TEST(BuildResultString, WholeTextMatchesPiecesAndTheModelOnRandomOutputs)
{
    // Under 932 the text holds no lead byte, so both ways must agree there too.
    std::vector<unsigned char> bytes;
    for (int byte = 1; byte < 256; ++byte) {
        if (!IsDBCSLeadByte(static_cast<BYTE>(byte))) bytes.push_back(static_cast<unsigned char>(byte));
    }
    const std::vector<unsigned char> steering = {0x00, 0x0A, 0x0A, 0x0D, 'a'};
    std::mt19937 random(20261209);
    auto nextByte = [&](bool zeroAllowed) {
        unsigned char byte = random() % 2 ? steering[random() % steering.size()] : bytes[random() % bytes.size()];
        return byte || zeroAllowed ? byte : '\n';
    };
    for (int round = 0; round < 2000; ++round) {
        // Mostly short texts, around the word sizes; now and then a long one
        // without a zero byte, past the sums of the LF count.
        const bool longText = round % 50 == 0;
        std::string area(longText ? random() % 5000 : random() % 40, '\0');
        for (char& byte : area) byte = static_cast<char>(nextByte(!longText));
        if (round % 3 != 0) area += '\0';
        SCOPED_TRACE("round " + std::to_string(round) + " bytes " + testing::PrintToString(area));
        const Result whole = round % 10 == 0 ? BuildGuarded(area, BuildResultStringAsWholeText)
                                             : Build(area, BuildResultStringAsWholeText);
        ASSERT_EQ(whole, WholeTextModel(area));
        ASSERT_EQ(whole, Build(area, BuildResultStringPieceByPiece));
        ASSERT_EQ(whole, Reference(area));
    }
}

TEST(BuildResultString, MatchesPieceByPieceAppendingOnRandomOutputs)
{
    // Bytes that steer the walk, drawn as often as all 256 values together.
    const std::vector<unsigned char> steering = {0x00, 0x0A, 0x0D, 0x81, 0x9F, 0xE0, 0xFC, 0x80, 0xA0, 0xFD, 'a'};
    std::mt19937 random(20240605);
    auto nextByte = [&] {
        return random() % 2 ? steering[random() % steering.size()] : static_cast<unsigned char>(random() % 256);
    };
    for (int round = 0; round < 3000; ++round) {
        std::string area(random() % 40, '\0');
        for (char& byte : area) byte = static_cast<char>(nextByte());
        if (round % 4 == 1) area += static_cast<char>(steering[3 + random() % 4]);
        if (round % 3 != 0) area += '\0';
        ASSERT_EQ(Build(area), Reference(area)) << "round " << round << " bytes " << testing::PrintToString(area);
    }
}

} // namespace
