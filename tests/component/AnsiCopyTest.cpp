// The command line's ANSI copy: where it ends, and that it arrives whole and
// zero-terminated in code pages that need more than two bytes per unit.
#include "../blackbox/ComTestSupport.h"
#include "../server/ModuleTestSupport.h"

#include "common/AnsiCopy.h"

namespace {

using namespace std::string_literals;

struct CopyCase {
    const char* name;
    std::wstring text;
    bool null;
    UINT codePage;
    std::string expected;
};
const CopyCase kCopyCases[] = {
    {"null is the empty text", L"", true, 1252, ""},
    {"empty", L"", false, 1252, ""},
    {"plain text", L"echo hi", false, 1252, "echo hi"},
    {"ends at the first NUL", L"echo a\0echo b"s, false, 1252, "echo a"},
    {"two bytes per character", L"a\x3042\x3044", false, 932, "a\x82\xa0\x82\xa2"},
    {"three bytes per unit", L"\x3042\x3044", false, CP_UTF8, "\xe3\x81\x82\xe3\x81\x84"},
    {"long three-byte text", std::wstring(100, L'\x3042'), false, CP_UTF8, [] {
         std::string bytes;
         for (int i = 0; i < 100; ++i) bytes += "\xe3\x81\x82";
         return bytes;
     }()},
    {"surrogate pair", L"\xD83D\xDE00", false, CP_UTF8, "\xf0\x9f\x98\x80"},
    {"unmappable character", L"a\x3042", false, 1252, "a?"},
};

TEST(AnsiCopy, ConvertsTheWholeCommandLine)
{
    for (const CopyCase& c : kCopyCases) {
        SCOPED_TRACE(c.name);
        const size_t blocks = ModuleHeapBlockCount();
        {
            UniqueBstr text = c.null ? UniqueBstr() : MakeBstr(c.text);
            AnsiCopy copy;
            ASSERT_EQ(copy.Assign(text.get(), c.codePage), S_OK);
            ASSERT_NE(copy.Text(), nullptr);
            EXPECT_EQ(std::string(copy.Text()), c.expected);
        }
        EXPECT_EQ(ModuleHeapBlockCount(), blocks) << "the buffer goes back";
    }
}

TEST(AnsiCopy, ExhaustedHeapKeepsTheEarlierText)
{
    AnsiCopy copy;
    UniqueBstr first = MakeBstr(L"first");
    ASSERT_EQ(copy.Assign(first.get(), 1252), S_OK);
    const char* const kept = copy.Text();
    SubstituteHeap exhausted(0x10000, true);
    UniqueBstr second = MakeBstr(L"second");
    EXPECT_EQ(copy.Assign(second.get(), 1252), E_OUTOFMEMORY);
    EXPECT_EQ(copy.Text(), kept);
}

} // namespace
