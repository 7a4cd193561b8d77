// The module's shared IUnLha type information, watched from outside: loads are
// the module's own LoadRegTypeLib calls; the cached information is recognised
// by its pointer while it is cached.
#include "dispatch/DispatchEnvironment.h"
#include "dispatch/OwnedVariant.h"

#include <vesker.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

// A reference count as AddRef reports it, without changing it.
ULONG ReferenceCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// The three dispatch members that need the type information, as the first
// call an object may get.
HRESULT FirstCallGetTypeInfo(IDispatch* object, LCID locale)
{
    InterfaceHolder<ITypeInfo> info;
    return object->GetTypeInfo(0, locale, info.put());
}

HRESULT FirstCallGetIDsOfNames(IDispatch* object, LCID locale)
{
    std::wstring name = L"ResultString";
    LPOLESTR names[] = {&name[0]};
    DISPID id = 0;
    return object->GetIDsOfNames(IID_NULL, names, 1, locale, &id);
}

HRESULT FirstCallInvoke(IDispatch* object, LCID locale)
{
    OwnedVariant result;
    return InvokeMember(object, 3, DISPATCH_PROPERTYGET, nullptr, result.Get(), locale);
}

using FirstCall = HRESULT (*)(IDispatch*, LCID);
const struct {
    const char* name;
    FirstCall call;
} FirstCalls[] = {
    {"GetTypeInfo", FirstCallGetTypeInfo},
    {"GetIDsOfNames", FirstCallGetIDsOfNames},
    {"Invoke", FirstCallInvoke},
};

class TypeInfoCache : public testing::Test {
protected:
    // Every test starts with no live object, so nothing is cached.
    void SetUp() override { DispatchEnvironment::Loads().Reset(); }
    void TearDown() override
    {
        DispatchEnvironment::Loads().Reset();
        // A test that unregistered the library leaves it registered again.
        RegisterVeskerTypeLib();
    }

    static LONG Loads() { return DispatchEnvironment::Loads().Loads(); }
};

TEST_F(TypeInfoCache, EveryIndexGivesTheSameInformationWithAReferenceEach)
{
    InterfaceHolder<IDispatch> object = NewUnLhaObject();
    ASSERT_TRUE(object);
    InterfaceHolder<ITypeInfo> first, seventh;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, first.put()), S_OK);
    const ULONG afterFirst = ReferenceCount(first.get());
    ASSERT_EQ(object->GetTypeInfo(7, LOCALE_USER_DEFAULT, seventh.put()), S_OK);
    EXPECT_EQ(first.get(), seventh.get());
    EXPECT_EQ(ReferenceCount(first.get()), afterFirst + 1) << "the second call adds its own reference";
    EXPECT_EQ(Loads(), 1);

    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(seventh->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IUnLha));
    seventh->ReleaseTypeAttr(attributes);
}

TEST_F(TypeInfoCache, NullOutPointerLoadsNothing)
{
    InterfaceHolder<IDispatch> object = NewUnLhaObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
    EXPECT_EQ(Loads(), 0);
}

TEST_F(TypeInfoCache, LiveObjectsShareOneLoadWhateverTheLocale)
{
    InterfaceHolder<IDispatch> first = NewUnLhaObject();
    InterfaceHolder<IDispatch> second = NewUnLhaObject();
    ASSERT_TRUE(first && second);
    InterfaceHolder<ITypeInfo> loaded;
    ASSERT_EQ(first->GetTypeInfo(0, 0x0411, loaded.put()), S_OK);
    ASSERT_EQ(Loads(), 1);
    const struct {
        const char* name;
        IDispatch* object;
        LCID locale;
    } cases[] = {
        {"same object, same locale", first.get(), 0x0411},
        {"same object, other locale", first.get(), 0x0409},
        {"second object's first call", second.get(), 0x0411},
        {"second object, neutral locale", second.get(), LOCALE_NEUTRAL},
    };
    for (const auto& c : cases) {
        InterfaceHolder<ITypeInfo> info;
        EXPECT_EQ(c.object->GetTypeInfo(0, c.locale, info.put()), S_OK) << c.name;
        EXPECT_EQ(info.get(), loaded.get()) << c.name;
        EXPECT_EQ(Loads(), 1) << c.name;
    }
}

TEST_F(TypeInfoCache, LastObjectGoneDropsTheCache)
{
    for (const auto& call : FirstCalls) {
        SCOPED_TRACE(call.name);
        InterfaceHolder<IDispatch> first = NewUnLhaObject();
        InterfaceHolder<IDispatch> second = NewUnLhaObject();
        ASSERT_TRUE(first && second);
        const LONG before = Loads();
        EXPECT_EQ(call.call(first.get(), LOCALE_USER_DEFAULT), S_OK);
        EXPECT_EQ(Loads(), before + 1) << "first call of the first object";
        first.reset();
        EXPECT_EQ(call.call(second.get(), LOCALE_USER_DEFAULT), S_OK);
        EXPECT_EQ(Loads(), before + 1) << "one object still lives: the cache stays";
        second.reset();

        InterfaceHolder<IDispatch> next = NewUnLhaObject();
        ASSERT_TRUE(next);
        EXPECT_EQ(call.call(next.get(), LOCALE_USER_DEFAULT), S_OK);
        EXPECT_EQ(Loads(), before + 2) << "the next object loads again";
    }
}

TEST_F(TypeInfoCache, UnregisteredLibraryFailsUntilRegisteredAgain)
{
    InterfaceHolder<IDispatch> object = NewUnLhaObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(UnregisterVeskerTypeLib(), S_OK);
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u) << "the count needs no type library";
    for (const auto& call : FirstCalls) EXPECT_EQ(call.call(object.get(), 0), TYPE_E_LIBNOTREGISTERED) << call.name;
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(info, nullptr) << "a failed load hands out nothing";
    EXPECT_EQ(Loads(), LONG(std::size(FirstCalls)) + 1) << "nothing is cached: each call tries again";

    ASSERT_EQ(RegisterVeskerTypeLib(), S_OK);
    for (const auto& call : FirstCalls) EXPECT_EQ(call.call(object.get(), 0), S_OK) << call.name;
    EXPECT_EQ(Loads(), LONG(std::size(FirstCalls)) + 2) << "one more load, then the cache";
}

TEST_F(TypeInfoCache, FailingInvokeClearsAnEarlierErrorObject)
{
    InterfaceHolder<ICreateErrorInfo> creator;
    ASSERT_EQ(CreateErrorInfo(creator.put()), S_OK);
    InterfaceHolder<IErrorInfo> error;
    ASSERT_EQ(creator->QueryInterface(IID_IErrorInfo, error.put_void()), S_OK);
    InterfaceHolder<IDispatch> object = NewUnLhaObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(UnregisterVeskerTypeLib(), S_OK);

    ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);
    EXPECT_EQ(FirstCallInvoke(object.get(), 0), TYPE_E_LIBNOTREGISTERED);
    InterfaceHolder<IErrorInfo> left;
    EXPECT_EQ(GetErrorInfo(0, left.put()), S_FALSE);
    EXPECT_FALSE(left) << "the error object of an earlier call survived Invoke";
}

TEST_F(TypeInfoCache, EachCallGivesBackTheReferenceItTook)
{
    InterfaceHolder<IDispatch> object = NewUnLhaObject();
    ASSERT_TRUE(object);
    InterfaceHolder<ITypeInfo> cached;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, cached.put()), S_OK);
    const ULONG references = ReferenceCount(cached.get());
    for (const auto& call : FirstCalls) {
        SCOPED_TRACE(call.name);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(call.call(object.get(), LOCALE_USER_DEFAULT), S_OK);
        EXPECT_EQ(ReferenceCount(cached.get()), references);
    }
}

// Objects made and released on eight threads at once while one object lives:
// a lost update of the holder's count would drop the cache under the living
// object (a second load) or keep it after the last object went (no load).
TEST_F(TypeInfoCache, CountStaysExactUnderRacingObjects)
{
    InterfaceHolder<IDispatch> living = NewUnLhaObject();
    ASSERT_TRUE(living);
    ASSERT_EQ(FirstCallGetTypeInfo(living.get(), LOCALE_USER_DEFAULT), S_OK);
    ASSERT_EQ(Loads(), 1);
    const HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            WaitForSingleObject(start, INFINITE);
            for (int round = 0; round < 1000; ++round) NewUnLhaObject();
        });
    }
    SetEvent(start);
    for (auto& thread : threads) thread.join();
    CloseHandle(start);
    EXPECT_EQ(FirstCallGetTypeInfo(living.get(), LOCALE_USER_DEFAULT), S_OK);
    EXPECT_EQ(Loads(), 1) << "the cache stayed while an object lived";

    living.reset();
    InterfaceHolder<IDispatch> next = NewUnLhaObject();
    ASSERT_TRUE(next);
    EXPECT_EQ(FirstCallGetTypeInfo(next.get(), LOCALE_USER_DEFAULT), S_OK);
    EXPECT_EQ(Loads(), 2) << "the last object took the cache with it";
}

TEST_F(TypeInfoCache, ConcurrentFirstCallsLoadOnce)
{
    const int Threads = 8;
    std::vector<InterfaceHolder<IDispatch>> objects(Threads);
    for (auto& object : objects) {
        object = NewUnLhaObject();
        ASSERT_TRUE(object);
    }
    // Each load takes a while, so that calls that missed the lock would overlap.
    DispatchEnvironment::Loads().SetDelay(50);
    const HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<HRESULT> results(Threads, E_UNEXPECTED);
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i) {
        threads.emplace_back([&, i] {
            WaitForSingleObject(start, INFINITE);
            results[i] = FirstCalls[i % std::size(FirstCalls)].call(objects[i].get(), LOCALE_USER_DEFAULT);
        });
    }
    SetEvent(start);
    for (auto& thread : threads) thread.join();
    CloseHandle(start);

    EXPECT_EQ(Loads(), 1);
    for (int i = 0; i < Threads; ++i) EXPECT_EQ(results[i], S_OK) << "thread " << i;
}

}  // namespace
