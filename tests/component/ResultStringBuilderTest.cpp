// The output walk: line ends, double-byte characters, the terminator and the
// end of the area, checked by case and against a plain piece-by-piece
// rendering over thousands of random outputs.
#include "../blackbox/ComTestSupport.h"
#include "../script/GuardedMemory.h"
#include "../server/ModuleTestSupport.h"

#include <optional>
#include <random>
#include <vector>

#include "component/ResultStringBuilder.h"

static testing::Environment* const g_moduleEnvironment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

namespace {

using Result = std::optional<std::wstring>;

Result Build(const std::string& area)
{
    BSTR text = nullptr;
    EXPECT_EQ(BuildResultString(area.data(), area.size(), &text), S_OK);
    UniqueBstr owner(text);
    if (!text) return std::nullopt;
    return std::wstring(text, SysStringLen(text));
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

std::wstring Repeat(const std::wstring& text, size_t count)
{
    std::wstring repeated;
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
    {"full area of LF without terminator", 0, std::string(0x10000, '\n'), Repeat(L"\r\n", 0x10000)},
    {"double-byte character", 932, "\x82\xa0\0"s, L"\x3042"},
    {"double-byte character ending the area", 932, "\x82\xa0"s, L"\x3042"},
    {"byte after a lead byte is never LF", 932, "\x81\n\0"s, ConvertPiece("\x81\n")},
    {"lone lead byte before the terminator ends the walk", 932, "a\x82\0\x82\xa0\0"s, L"a" + ConvertPiece("\x82")},
    {"lead byte as the area's last byte", 932, "ab\x82"s, L"ab" + ConvertPiece("\x82")},
    {"half-width katakana is a single byte", 932, "\xb1\n\0"s, L"\xff71\r\n"},
    {"high bytes convert one by one", 1252, "\x80\xe9\0"s, L"\x20ac\xe9"},
    {"0x82 is an ordinary byte", 1252, "\x82\n\0"s, L"\x201a\r\n"},
};

TEST(BuildResultString, WalksTheOutput)
{
    for (const WalkCase& c : kWalkCases) {
        SCOPED_TRACE(c.name);
        if (c.codePage && c.codePage != GetACP()) continue;
        EXPECT_EQ(Build(c.area), c.expected);
    }
}

Result BuildGuarded(const std::string& area)
{
    // The area's last byte is the last byte before an inaccessible page: a
    // walk that reads one byte too far faults.
    GuardedBuffer guarded(area.size());
    memcpy(guarded.Get(), area.data(), area.size());
    BSTR text = nullptr;
    EXPECT_EQ(BuildResultString(guarded.Get(), area.size(), &text), S_OK);
    UniqueBstr owner(text);
    if (!text) return std::nullopt;
    return std::wstring(text, SysStringLen(text));
}

TEST(BuildResultString, WalksTheOutputWithItsEndAgainstAGuardPage)
{
    for (const WalkCase& c : kWalkCases) {
        SCOPED_TRACE(c.name);
        if (c.codePage && c.codePage != GetACP()) continue;
        EXPECT_EQ(BuildGuarded(c.area), c.expected);
    }
    // The block fast path near the end: every length around a block's size,
    // with and without a lead byte last.
    for (size_t length = 1; length <= 20; ++length) {
        for (const std::string& last : {"x"s, "\x82"s}) {
            const std::string area = std::string(length - 1, 'x') + last;
            SCOPED_TRACE(testing::PrintToString(area));
            EXPECT_EQ(BuildGuarded(area), Reference(area));
        }
    }
    const std::string full(0x10000, 'x');
    EXPECT_EQ(BuildGuarded(full), Result(std::wstring(0x10000, L'x'))) << "the whole area, no terminator";
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
