// The IDispatch members and the shared type information: failure while the
// type library is not registered, what is cached and for how long, and
// late-bound calls reaching the object's members.
#include "../blackbox/ComTestSupport.h"
#include "../server/ModuleTestSupport.h"

#include <functional>

namespace {

IUnLha* NewObject()
{
    IUnLha* object = nullptr;
    EXPECT_EQ(CreateUnLhaInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
    return object;
}

HRESULT TypeInfoOf(IUnLha* object, UINT index, LCID locale, ITypeInfo** info)
{
    *info = reinterpret_cast<ITypeInfo*>(1); // must be cleared on failure
    return object->GetTypeInfo(index, locale, info);
}

HRESULT InvokeMember(IUnLha* object, DISPID member, WORD flags, VARIANT* argument, VARIANT* result)
{
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters = {argument, flags == DISPATCH_PROPERTYPUT ? &named : nullptr, argument ? 1u : 0u,
                             flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object->Invoke(member, IID_NULL, 0, flags, &parameters, result, nullptr, nullptr);
}

class Dispatch : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        object = NewObject();
        ASSERT_TRUE(FAILED(notRegistered));
    }
    void TearDown() override
    {
        if (object) object->Release();
    }

    ClassesRootOverride registry;
    const HRESULT notRegistered = ClassesRootOverride::NotRegisteredCode();
    IUnLha* object = nullptr;
};

TEST_F(Dispatch, WithoutTheTypeLibraryEveryCallFailsWithTheLoadersCode)
{
    const struct {
        const char* name;
        std::function<HRESULT()> call;
    } calls[] = {
        {"GetTypeInfo",
         [&] {
             ITypeInfo* info = nullptr;
             const HRESULT hr = TypeInfoOf(object, 0, 0, &info);
             EXPECT_EQ(info, nullptr);
             return hr;
         }},
        {"GetIDsOfNames",
         [&] {
             LPOLESTR name = const_cast<LPOLESTR>(L"DoIt");
             DISPID id = 0;
             return object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
         }},
        {"Invoke",
         [&] {
             VARIANT argument;
             argument.vt = VT_BSTR;
             argument.bstrVal = SysAllocString(L"echo late");
             const HRESULT hr = InvokeMember(object, 1, DISPATCH_METHOD, &argument, nullptr);
             VariantClear(&argument);
             return hr;
         }},
    };
    for (const auto& call : calls) EXPECT_EQ(call.call(), notRegistered) << call.name;
    EXPECT_EQ(StandInCallCount(), 0);
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST_F(Dispatch, InvokeClearsAnEarlierErrorObject)
{
    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(CreateErrorInfo(&creator), S_OK);
    IErrorInfo* error = nullptr;
    creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error));
    creator->Release();
    const struct {
        const char* name;
        std::function<void()> call;
        bool cleared;
    } calls[] = {
        {"GetTypeInfo leaves it", [&] { ITypeInfo* info; TypeInfoOf(object, 0, 0, &info); }, false},
        {"a failing Invoke clears it", [&] { InvokeMember(object, 3, DISPATCH_PROPERTYGET, nullptr, nullptr); },
         true},
    };
    for (const auto& call : calls) {
        SetErrorInfo(0, error);
        call.call();
        IErrorInfo* left = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &left), call.cleared ? S_FALSE : S_OK) << call.name;
        EXPECT_EQ(left, call.cleared ? nullptr : error) << call.name;
        if (left) left->Release();
    }
    error->Release();
}

TEST_F(Dispatch, NothingIsCachedUntilALoadSucceeds)
{
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TypeInfoOf(object, 0, 0, &info), notRegistered);
    registry.RegisterTypeLibrary();
    ASSERT_EQ(TypeInfoOf(object, 0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IUnLha));
    info->ReleaseTypeAttr(attributes);
    info->Release();
}

TEST_F(Dispatch, NullOutPointerLoadsNothing)
{
    registry.RegisterTypeLibrary();
    EXPECT_EQ(object->GetTypeInfo(0, 0, nullptr), E_POINTER);
    registry.UnregisterTypeLibrary();
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TypeInfoOf(object, 0, 0, &info), notRegistered);
}

TEST_F(Dispatch, LoadedTypeInfoIsSharedUntilTheLastObjectGoes)
{
    registry.RegisterTypeLibrary();
    ITypeInfo* first = nullptr;
    ITypeInfo* seventh = nullptr;
    ASSERT_EQ(TypeInfoOf(object, 0, 0, &first), S_OK);
    ASSERT_EQ(TypeInfoOf(object, 7, 0x0411, &seventh), S_OK) << "any index, any locale";
    EXPECT_EQ(first, seventh);
    registry.UnregisterTypeLibrary();

    IUnLha* second = NewObject();
    ITypeInfo* shared = nullptr;
    EXPECT_EQ(TypeInfoOf(second, 0, 0x0409, &shared), S_OK) << "a second object does not load again";
    EXPECT_EQ(shared, first);
    for (ITypeInfo* info : {first, seventh, shared}) info->Release();

    object->Release();
    second->Release();
    object = NewObject();
    ITypeInfo* reloaded = nullptr;
    EXPECT_EQ(TypeInfoOf(object, 0, 0, &reloaded), notRegistered) << "the last object dropped the cache";
}

TEST_F(Dispatch, LateBoundCallsReachTheMembers)
{
    registry.RegisterTypeLibrary();
    const wchar_t* names[] = {L"DoIt", L"hwnd", L"ErrorCode", L"ResultString"};
    for (DISPID expected = 1; expected <= 4; ++expected) {
        LPOLESTR name = const_cast<LPOLESTR>(names[expected - 1]);
        DISPID id = 0;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
        EXPECT_EQ(id, expected) << names[expected - 1];
    }

    VARIANT argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"exit 4 late");
    EXPECT_EQ(InvokeMember(object, 1, DISPATCH_METHOD, &argument, nullptr), S_OK);
    VariantClear(&argument);
    EXPECT_EQ(LastCommandLine(), "exit 4 late");
    argument.vt = VT_UINT;
    argument.uintVal = 77;
    EXPECT_EQ(InvokeMember(object, 2, DISPATCH_PROPERTYPUT, &argument, nullptr), S_OK);
    EXPECT_NE(InvokeMember(object, 3, DISPATCH_PROPERTYPUT, &argument, nullptr), S_OK) << "ErrorCode is read-only";

    // Wine's ITypeInfo::Invoke hands a VT_UINT retval back as VT_UI4; Windows keeps VT_UINT.
    const VARTYPE unsignedInt = RunningOnWine() ? VT_UI4 : VT_UINT;
    const struct {
        DISPID member;
        VARTYPE type;
        std::wstring value;
    } reads[] = {{2, unsignedInt, L"77"}, {3, VT_I4, L"4"}, {4, VT_BSTR, L"late"}};
    for (const auto& read : reads) {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(InvokeMember(object, read.member, DISPATCH_PROPERTYGET, nullptr, &result), S_OK);
        EXPECT_EQ(result.vt, read.type) << read.member;
        VariantChangeType(&result, &result, 0, VT_BSTR);
        EXPECT_EQ(Text(result.bstrVal), read.value) << read.member;
        VariantClear(&result);
    }
}

} // namespace
