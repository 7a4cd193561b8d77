// Late-bound calls on a real object of the built module: names to dispatch ids,
// and Invoke reaching exactly the interface table slot that the type library
// records, with the arguments converted to the declared types.
#include "dispatch/DispatchEnvironment.h"
#include "dispatch/MemberCallCounter.h"
#include "dispatch/OwnedVariant.h"
#include "resources/BuiltModule.h"
#include "stand-in/StandInControl.h"

#include <vesker.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Wine's ITypeInfo::Invoke hands back a UINT result as VT_UI4; Windows keeps
// the declared VT_UINT.
VARTYPE UnsignedIntResultType() { return RunningOnWine() ? VT_UI4 : VT_UINT; }

// A VARIANT argument of a table row, built when the row runs.
struct Argument {
    VARTYPE type = VT_EMPTY;  // VT_EMPTY: the call has no argument
    LONG number = 0;
    const wchar_t* text = nullptr;
};

void Fill(const Argument& argument, OwnedVariant& variant)
{
    V_VT(variant.Get()) = argument.type;
    if (argument.type == VT_BSTR)
        V_BSTR(variant.Get()) = SysAllocString(argument.text);
    else
        V_I4(variant.Get()) = argument.number;  // VT_I4, VT_UI4 and VT_UINT share the 32 bits
}

class LateBound : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        object_ = NewUnLhaObject();
        ASSERT_TRUE(object_);
    }
    void TearDown() override { StandInReset(); }

    HRESULT Call(DISPID member, WORD flags, const Argument& argument, VARIANT* result = nullptr)
    {
        OwnedVariant variant;
        Fill(argument, variant);
        return InvokeMember(object_.get(), member, flags, argument.type == VT_EMPTY ? nullptr : variant.Get(),
                            result);
    }

    InterfaceHolder<IDispatch> object_;
};

TEST_F(LateBound, DispatchIdsByNameInAnyCase)
{
    const struct {
        const char* name;
        const wchar_t* member;
        HRESULT result;
        DISPID id;
    } cases[] = {
        {"DoIt", L"DoIt", S_OK, 1},
        {"hwnd", L"hwnd", S_OK, 2},
        {"ErrorCode", L"ErrorCode", S_OK, 3},
        {"ResultString", L"ResultString", S_OK, 4},
        {"lower case", L"doit", S_OK, 1},
        {"upper case", L"HWND", S_OK, 2},
        {"mixed case", L"errorCODE", S_OK, 3},
        {"all lower", L"resultstring", S_OK, 4},
        {"unknown member", L"Extract", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
    };
    for (const auto& c : cases) {
        std::wstring member = c.member;
        LPOLESTR names[] = {&member[0]};
        DISPID id = 12345;
        EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), c.result) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
    }
}

TEST_F(LateBound, InvokeReachesTheRecordedSlotOnly)
{
    MemberCallCounter counter(object_.get());
    ASSERT_TRUE(counter.Installed());
    const int None = -1;
    const struct {
        const char* name;
        DISPID member;
        WORD flags;
        Argument argument;
        HRESULT result;
        int slot;  // the one slot the call reaches, or None
    } cases[] = {
        {"DoIt", 1, DISPATCH_METHOD, {VT_BSTR, 0, L"echo slot"}, S_OK, 7},
        // Script hosts call methods with both flags set.
        {"DoIt, method or property get", 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {VT_BSTR, 0, L"echo x"}, S_OK,
         7},
        {"get hwnd", 2, DISPATCH_PROPERTYGET, {}, S_OK, 8},
        {"put hwnd", 2, DISPATCH_PROPERTYPUT, {VT_UINT, 5}, S_OK, 9},
        {"get ErrorCode", 3, DISPATCH_PROPERTYGET, {}, S_OK, 10},
        {"get ResultString", 4, DISPATCH_PROPERTYGET, {}, S_OK, 11},
        {"put ErrorCode (read-only)", 3, DISPATCH_PROPERTYPUT, {VT_I4, 5}, DISP_E_MEMBERNOTFOUND, None},
        {"put ResultString (read-only)", 4, DISPATCH_PROPERTYPUT, {VT_BSTR, 0, L"x"}, DISP_E_MEMBERNOTFOUND, None},
        {"unknown dispatch id", 5, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, None},
        {"DoIt without its argument", 1, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT, None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::array<LONG, MemberSlotCount> before = counter.Calls();
        OwnedVariant result;
        EXPECT_EQ(Call(c.member, c.flags, c.argument, result.Get()), c.result);
        std::array<LONG, MemberSlotCount> expected = before;
        if (c.slot != None) ++expected[c.slot - FirstMemberSlot];
        EXPECT_EQ(counter.Calls(), expected) << "calls per slot 7..11";
    }
}

TEST_F(LateBound, ReadOnlyPropertiesKeepTheirValuesWhenWritten)
{
    ASSERT_EQ(Call(1, DISPATCH_METHOD, {VT_BSTR, 0, L"exit 6 kept"}), S_OK);
    EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, {VT_I4, 99}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(4, DISPATCH_PROPERTYPUT, {VT_BSTR, 0, L"other"}), DISP_E_MEMBERNOTFOUND);
    const struct {
        const char* name;
        DISPID member;
        const wchar_t* text;
    } cases[] = {{"ErrorCode", 3, L"6"}, {"ResultString", 4, L"kept"}};
    for (const auto& c : cases) {
        OwnedVariant result;
        ASSERT_EQ(Call(c.member, DISPATCH_PROPERTYGET, {}, result.Get()), S_OK) << c.name;
        ASSERT_EQ(VariantChangeType(result.Get(), result.Get(), 0, VT_BSTR), S_OK) << c.name;
        EXPECT_EQ(std::wstring(V_BSTR(result.Get())), c.text) << c.name;
    }
}

TEST_F(LateBound, DoItPassesItsArgumentConvertedToText)
{
    struct Case {
        const char* name;
        Argument argument;
        std::string commandLine;
    };
    std::vector<Case> cases = {
        {"text", {VT_BSTR, 0, L"echo hello"}, "echo hello"},
        {"empty text", {VT_BSTR, 0, L""}, ""},
        {"number, converted to its text", {VT_I4, 42}, "42"},
    };
    // A character of the system code page reaches the archiver in that code page.
    if (GetACP() == 932) cases.push_back({"double-byte character", {VT_BSTR, 0, L"echo \u3042"}, "echo \x82\xA0"});
    if (GetACP() == 1252) cases.push_back({"accented character", {VT_BSTR, 0, L"echo \u00E9"}, "echo \xE9"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LONG calls = StandInCallCount();
        EXPECT_EQ(Call(1, DISPATCH_METHOD, c.argument), S_OK);
        EXPECT_EQ(StandInCallCount(), calls + 1);
        EXPECT_EQ(LastArchiverCommandLine(), c.commandLine);
    }
}

TEST_F(LateBound, PropertyReadsReturnTheDeclaredTypes)
{
    ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, {VT_UINT, 0x1234}), S_OK);
    ASSERT_EQ(Call(1, DISPATCH_METHOD, {VT_BSTR, 0, L"exit 7 seven"}), S_OK);
    const struct {
        const char* name;
        DISPID member;
        VARTYPE type;
        const wchar_t* text;
    } cases[] = {
        {"hwnd", 2, UnsignedIntResultType(), L"4660"},
        {"ErrorCode", 3, VT_I4, L"7"},
        {"ResultString", 4, VT_BSTR, L"seven"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedVariant result;
        ASSERT_EQ(Call(c.member, DISPATCH_PROPERTYGET, {}, result.Get()), S_OK);
        EXPECT_EQ(V_VT(result.Get()), c.type);
        ASSERT_EQ(VariantChangeType(result.Get(), result.Get(), 0, VT_BSTR), S_OK);
        EXPECT_EQ(std::wstring(V_BSTR(result.Get())), c.text);
    }
}

TEST_F(LateBound, PutHwndStoresTheValue)
{
    InterfaceHolder<IUnLha> early;
    ASSERT_EQ(object_->QueryInterface(IID_IUnLha, early.put_void()), S_OK);
    const struct {
        const char* name;
        Argument argument;
        UINT stored;
    } cases[] = {
        {"unsigned int", {VT_UINT, 0x1234}, 0x1234},
        {"zero", {VT_I4, 0}, 0},
        {"highest value", {VT_UI4, LONG(0xFFFFFFFF)}, 0xFFFFFFFF},
        {"text, converted", {VT_BSTR, 0, L"4660"}, 0x1234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, c.argument), S_OK);
        OwnedVariant result;
        ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET, {}, result.Get()), S_OK);
        EXPECT_EQ(V_UINT(result.Get()), c.stored) << "late-bound read";
        UINT value = ~c.stored;
        EXPECT_EQ(early->get_hwnd(&value), S_OK);
        EXPECT_EQ(value, c.stored) << "early-bound read";
        ASSERT_EQ(Call(1, DISPATCH_METHOD, {VT_BSTR, 0, L"args"}), S_OK);
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(StandInLastWindow()), c.stored) << "window handed to the archiver";
    }
}

}  // namespace
