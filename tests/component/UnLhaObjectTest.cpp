// DoIt and the properties, against the stand-in archiver library: what
// reaches the library, what comes back, and what an exhausted heap leaves.
#include "../blackbox/ComTestSupport.h"
#include "../server/ModuleTestSupport.h"

#include <functional>
#include <optional>

namespace {

using namespace std::string_literals;
using Result = std::optional<std::wstring>;

class UnLhaObjectTest : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        ASSERT_EQ(CreateUnLhaInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
    }
    void TearDown() override
    {
        if (object) object->Release();
        StandInReset();
    }

    HRESULT DoIt(const std::wstring& commandLine) { return object->DoIt(MakeBstr(commandLine).get()); }
    LONG ErrorCode()
    {
        LONG code = 0x5EED;
        EXPECT_EQ(object->get_ErrorCode(&code), S_OK);
        return code;
    }
    Result ResultText()
    {
        BSTR text = nullptr;
        EXPECT_EQ(object->get_ResultString(&text), S_OK);
        Bstr owner(text);
        return text ? Result(Text(text)) : std::nullopt;
    }

    IUnLha* object = nullptr;
};

TEST_F(UnLhaObjectTest, NewObjectHoldsNothing)
{
    UINT hwnd = 0x5EED;
    EXPECT_EQ(object->get_hwnd(&hwnd), S_OK);
    EXPECT_EQ(hwnd, 0u);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(ResultText(), std::nullopt);
}

struct DoItCase {
    const char* name;
    UINT codePage; // 0: any
    UINT hwnd;
    std::optional<std::wstring> commandLine;
    std::string received;
    LONG errorCode;
    Result result;
};
const DoItCase kDoItCases[] = {
    {"null command line runs as the empty one", 0, 0, std::nullopt, "", 0, std::nullopt},
    {"echo", 0, 0, L"echo hello", "echo hello", 0, L"hello"},
    {"window handle reaches the library unchanged", 0, 0xFFFFFFFFu, L"echo w", "echo w", 0, L"w"},
    {"non-zero return is no failure", 0, 0, L"exit 7 seven", "exit 7 seven", 7, L"seven"},
    {"negative return and no output", 0, 5, L"exit -3", "exit -3", -3, std::nullopt},
    {"embedded NUL ends the command line", 0, 0, L"echo a\0echo b"s, "echo a", 0, L"a"},
    {"line ends", 0, 0, L"hex 61 0a 62 0d 0a", "hex 61 0a 62 0d 0a", 0, L"a\r\nb\r\r\n"},
    {"unknown command", 0, 0, L"zip", "zip", 1, L"unknown command: zip"},
    {"Japanese text both ways", 932, 0, L"echo \x3042", "echo \x82\xa0", 0, L"\x3042"},
    {"unmappable character", 1252, 0, L"echo \x3042", "echo ?", 0, L"?"},
};

TEST_F(UnLhaObjectTest, DoItRunsOneCommand)
{
    for (const DoItCase& c : kDoItCases) {
        SCOPED_TRACE(c.name);
        if (c.codePage && c.codePage != GetACP()) continue;
        StandInReset();
        EXPECT_EQ(object->put_hwnd(c.hwnd), S_OK);
        Bstr commandLine = c.commandLine ? MakeBstr(*c.commandLine) : nullptr;
        EXPECT_EQ(object->DoIt(commandLine.get()), S_OK);
        EXPECT_EQ(StandInCallCount(), 1);
        EXPECT_EQ(LastCommandLine(), c.received);
        EXPECT_EQ(StandInLastWindow(), reinterpret_cast<HWND>(static_cast<UINT_PTR>(c.hwnd)));
        EXPECT_EQ(StandInLastSize(), 0x10000u);
        EXPECT_EQ(ErrorCode(), c.errorCode);
        EXPECT_EQ(ResultText(), c.result);
    }
}

TEST_F(UnLhaObjectTest, OutputAreaSizeCountsBytes)
{
    const struct {
        const char* commandLine;
        std::wstring unit;
        size_t count;
    } cases[] = {
        {"fill 65535", L"x", 65535},
        {"fill 65536", L"x", 65536},
        {"fill 65536 0a", L"\r\n", 65536},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        ASSERT_EQ(DoIt(std::wstring(c.commandLine, c.commandLine + strlen(c.commandLine))), S_OK);
        std::wstring expected;
        for (size_t i = 0; i < c.count; ++i) expected += c.unit;
        EXPECT_EQ(ResultText(), Result(expected));
    }
}

TEST_F(UnLhaObjectTest, EmptyOutputReplacesEarlierText)
{
    ASSERT_EQ(DoIt(L"echo first"), S_OK);
    EXPECT_EQ(ResultText(), Result(L"first"));
    ASSERT_EQ(DoIt(L""), S_OK);
    EXPECT_EQ(ResultText(), std::nullopt);
}

TEST_F(UnLhaObjectTest, EachReadOfResultStringIsACopyOfItsOwn)
{
    ASSERT_EQ(DoIt(L"echo copy"), S_OK);
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(object->get_ResultString(&first), S_OK);
    ASSERT_EQ(object->get_ResultString(&second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(Text(first), Text(second));
    SysFreeString(first);
    SysFreeString(second);
    EXPECT_EQ(ResultText(), Result(L"copy"));
}

TEST_F(UnLhaObjectTest, NullOutPointersAreRefused)
{
    const struct {
        const char* member;
        std::function<HRESULT(IUnLha*)> call;
    } members[] = {
        {"hwnd", [](IUnLha* o) { return o->get_hwnd(nullptr); }},
        {"ErrorCode", [](IUnLha* o) { return o->get_ErrorCode(nullptr); }},
        {"ResultString", [](IUnLha* o) { return o->get_ResultString(nullptr); }},
        {"GetTypeInfoCount", [](IUnLha* o) { return o->GetTypeInfoCount(nullptr); }},
        {"GetTypeInfo", [](IUnLha* o) { return o->GetTypeInfo(0, 0, nullptr); }},
    };
    ASSERT_EQ(DoIt(L"echo x"), S_OK);
    for (const auto& member : members) EXPECT_EQ(member.call(object), E_POINTER) << member.member;
}

struct SeenDuringCall {
    IUnLha* object;
    LONG errorCode;
    BSTR text;
};

void WINAPI ReadObjectDuringCall(void* context)
{
    SeenDuringCall* seen = static_cast<SeenDuringCall*>(context);
    seen->object->get_ErrorCode(&seen->errorCode);
    seen->object->get_ResultString(&seen->text);
}

TEST_F(UnLhaObjectTest, WhileTheLibraryRunsTheObjectHoldsTheOldCodeAndNoText)
{
    ASSERT_EQ(DoIt(L"exit 5 before"), S_OK);
    static WCHAR untouched[] = L"untouched";
    SeenDuringCall seen = {object, 0, untouched};
    StandInSetCallback(ReadObjectDuringCall, &seen);
    ASSERT_EQ(DoIt(L"exit 9 after"), S_OK);
    EXPECT_EQ(seen.errorCode, 5);
    EXPECT_EQ(seen.text, nullptr);
    EXPECT_EQ(ErrorCode(), 9);
    EXPECT_EQ(ResultText(), Result(L"after"));
}

TEST_F(UnLhaObjectTest, ExhaustedHeapFailsBeforeTheLibraryAndLosesNothing)
{
    const struct {
        const char* name;
        SIZE_T heapSize;
        bool exhausted;
    } cases[] = {{"no room at all", 0x10000, true}, {"no room for the output area", 0x8000, false}};
    ASSERT_EQ(DoIt(L"exit 3 kept"), S_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StandInReset();
        {
            SubstituteHeap heap(c.heapSize, c.exhausted);
            EXPECT_EQ(DoIt(L"echo new"), E_OUTOFMEMORY);
        }
        EXPECT_EQ(StandInCallCount(), 0);
        EXPECT_EQ(ErrorCode(), 3);
        EXPECT_EQ(ResultText(), Result(L"kept"));
    }
}

TEST_F(UnLhaObjectTest, RepeatedCallsGiveBackWhatTheyTake)
{
    ASSERT_EQ(DoIt(L"echo warm-up"), S_OK);
    const size_t blocks = ModuleHeapBlockCount();
    for (int i = 0; i < 50; ++i) ASSERT_EQ(DoIt(L"hex 61 0a 82 a0 82"), S_OK);
    EXPECT_EQ(ModuleHeapBlockCount(), blocks);
}

} // namespace
