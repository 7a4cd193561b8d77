// vesker.DLL through its exports: class object lifetime and the lock count,
// the interface table layout, aggregation, dispatch without a type library,
// and concurrent first use in a freshly loaded module.
#include "ComTestSupport.h"

static testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ComEnvironment);

namespace {

const CLSID kOtherClass = {0x0badc0de, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

class BlackBox : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        ASSERT_EQ(GetModuleHandleA("vesker.DLL"), nullptr) << "an earlier test left the module loaded";
        module = LoadLibraryA("vesker.DLL");
        ASSERT_NE(module, nullptr);
        getClassObject = reinterpret_cast<GetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(GetProcAddress(module, "DllCanUnloadNow"));
        ASSERT_TRUE(getClassObject && canUnloadNow);
        ASSERT_EQ(canUnloadNow(), S_OK) << "nothing holds a freshly loaded module";
    }
    void TearDown() override
    {
        if (module) FreeLibrary(module);
        EXPECT_EQ(GetModuleHandleA("vesker.DLL"), nullptr);
    }

    IClassFactory* Factory()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(getClassObject(CLSID_UnLha, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }
    IUnLha* NewObject(IClassFactory* factory)
    {
        IUnLha* object = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
        return object;
    }

    HMODULE module = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
};

TEST_F(BlackBox, ClassObjectIsCachedAndHoldsTheModuleWhileAClientHasIt)
{
    IClassFactory* first = Factory();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IClassFactory* second = Factory();
    EXPECT_EQ(first, second);
    first->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    second->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

struct LookupCase {
    const char* name;
    const CLSID* classId;
    const IID* iid;
    bool nullOut;
    HRESULT expected;
};
const LookupCase kLookupCases[] = {
    {"class not served", &kOtherClass, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
    {"null out pointer", &CLSID_UnLha, &IID_IClassFactory, true, E_POINTER},
    {"interface the class object lacks", &CLSID_UnLha, &IID_IDispatch, false, E_NOINTERFACE},
    {"IUnknown", &CLSID_UnLha, &IID_IUnknown, false, S_OK},
};

TEST_F(BlackBox, DllGetClassObjectAnswersEachRequest)
{
    for (const LookupCase& c : kLookupCases) {
        SCOPED_TRACE(c.name);
        void* out = &out; // any non-null value: it must be cleared
        EXPECT_EQ(getClassObject(*c.classId, *c.iid, c.nullOut ? nullptr : &out), c.expected);
        if (!c.nullOut) EXPECT_EQ(out != nullptr, c.expected == S_OK);
        if (!c.nullOut && out) static_cast<IUnknown*>(out)->Release();
        EXPECT_EQ(canUnloadNow(), S_OK);
    }
}

TEST_F(BlackBox, MembersSitAtSlotsSevenToEleven)
{
    IClassFactory* factory = Factory();
    IUnLha* object = NewObject(factory);
    ASSERT_NE(object, nullptr);
    void** table = *reinterpret_cast<void***>(object);
    using PutUint = HRESULT(WINAPI*)(void*, UINT);
    using GetUint = HRESULT(WINAPI*)(void*, UINT*);
    using GetLong = HRESULT(WINAPI*)(void*, LONG*);
    using GetBstr = HRESULT(WINAPI*)(void*, BSTR*);
    using RunCommand = HRESULT(WINAPI*)(void*, BSTR);

    EXPECT_EQ(reinterpret_cast<PutUint>(table[9])(object, 1234), S_OK);
    UINT hwnd = 0;
    EXPECT_EQ(reinterpret_cast<GetUint>(table[8])(object, &hwnd), S_OK);
    EXPECT_EQ(hwnd, 1234u);
    Bstr commandLine = MakeBstr(L"exit 6 raw");
    EXPECT_EQ(reinterpret_cast<RunCommand>(table[7])(object, commandLine.get()), S_OK);
    EXPECT_EQ(LastCommandLine(), "exit 6 raw");
    EXPECT_EQ(StandInLastWindow(), reinterpret_cast<HWND>(1234));
    LONG code = 0;
    EXPECT_EQ(reinterpret_cast<GetLong>(table[10])(object, &code), S_OK);
    EXPECT_EQ(code, 6);
    BSTR text = nullptr;
    EXPECT_EQ(reinterpret_cast<GetBstr>(table[11])(object, &text), S_OK);
    EXPECT_EQ(Text(text), L"raw");
    SysFreeString(text);
    object->Release();
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(BlackBox, AggregatedObjectServesTheOuterIdentity)
{
    IClassFactory* factory = Factory();
    OuterObject outer;
    void* refused = &outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnLha, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);

    IUnLha* contained = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IUnLha, reinterpret_cast<void**>(&contained)), S_OK);
    EXPECT_EQ(outer.refs, 2);
    IUnknown* identity = nullptr;
    EXPECT_EQ(contained->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    identity->Release();
    EXPECT_EQ(contained->DoIt(MakeBstr(L"echo inside").get()), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(contained->get_ResultString(&text), S_OK);
    EXPECT_EQ(Text(text), L"inside");
    SysFreeString(text);
    contained->Release();
    EXPECT_EQ(outer.refs, 1);

    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the live aggregate holds the module";
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(BlackBox, LockServerHoldsTheModule)
{
    IClassFactory* factory = Factory();
    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory = Factory();
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(BlackBox, DispatchWithoutTypeLibraryFailsAndClearsErrorInfo)
{
    ClassesRootOverride registry;
    const HRESULT notRegistered = ClassesRootOverride::NotRegisteredCode();
    ASSERT_TRUE(FAILED(notRegistered));
    IClassFactory* factory = Factory();
    IUnLha* object = NewObject(factory);
    ASSERT_NE(object, nullptr);

    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), notRegistered);
    EXPECT_EQ(info, nullptr);

    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(CreateErrorInfo(&creator), S_OK);
    IErrorInfo* error = nullptr;
    creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error));
    creator->Release();
    SetErrorInfo(0, error);
    error->Release();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr), notRegistered);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);
    EXPECT_EQ(left, nullptr);

    object->Release();
    factory->Release();
}

TEST_F(BlackBox, ConcurrentFirstLookupsGetOneClassObject)
{
    void* results[8] = {};
    RunTogether(8, [&](int i) { getClassObject(CLSID_UnLha, IID_IClassFactory, &results[i]); });
    for (void* result : results) {
        EXPECT_NE(result, nullptr);
        EXPECT_EQ(result, results[0]);
        if (result) static_cast<IUnknown*>(result)->Release();
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(BlackBox, ObjectsMadeAndReleasedOnManyThreadsLetTheModuleGo)
{
    IClassFactory* factory = Factory();
    RunTogether(8, [&](int) {
        for (int i = 0; i < 25; ++i) {
            IUnLha* object = NewObject(factory);
            if (!object) return;
            object->DoIt(MakeBstr(L"echo busy").get());
            object->Release();
        }
    });
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

} // namespace
