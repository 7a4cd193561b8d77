// The module through its exports and interface tables, as a client uses it:
// class object lifetime and the lock count, creation and aggregation, the
// interface table layout, DoIt against the stand-in archiver, dispatch through
// the type library, and concurrent first use of a fresh module.
#include "ComTestSupport.h"
#include "ServerUnderTest.h"

#include <optional>

namespace {

using namespace std::string_literals;
using Result = std::optional<std::wstring>;

const CLSID kOtherClass = {0x0badc0de, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

class Client : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        ServerUnderTest::Start();
        ASSERT_EQ(ServerUnderTest::CanUnloadNow(), S_OK) << "nothing holds a fresh module";
    }
    void TearDown() override { ServerUnderTest::Stop(); }

    static IClassFactory* Factory()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(ServerUnderTest::GetClassObject(CLSID_UnLha, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        return factory;
    }
    // A new object; the class object is let go, so only the object holds the module.
    static IUnLha* NewObject()
    {
        IClassFactory* factory = Factory();
        IUnLha* object = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
        factory->Release();
        return object;
    }
    static Result ResultText(IUnLha* object)
    {
        BSTR text = nullptr;
        EXPECT_EQ(object->get_ResultString(&text), S_OK);
        UniqueBstr owner(text);
        return text ? Result(Text(text)) : std::nullopt;
    }
    static LONG ErrorCode(IUnLha* object)
    {
        LONG code = 0x5EED;
        EXPECT_EQ(object->get_ErrorCode(&code), S_OK);
        return code;
    }
};

TEST_F(Client, DllGetClassObjectAnswersEachRequest)
{
    const struct {
        const char* name;
        const CLSID* classId;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    } cases[] = {
        {"class not served", &kOtherClass, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"null out pointer", &CLSID_UnLha, &IID_IClassFactory, true, E_POINTER},
        {"interface the class object lacks", &CLSID_UnLha, &IID_IDispatch, false, E_NOINTERFACE},
        {"IUnknown", &CLSID_UnLha, &IID_IUnknown, false, S_OK},
    };
    for (const auto& c : cases) {
        void* out = &out; // any non-null value: it must be cleared
        EXPECT_EQ(ServerUnderTest::GetClassObject(*c.classId, *c.iid, c.nullOut ? nullptr : &out), c.expected)
            << c.name;
        if (!c.nullOut) EXPECT_EQ(out != nullptr, c.expected == S_OK) << c.name;
        if (!c.nullOut && out) static_cast<IUnknown*>(out)->Release();
        EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK) << c.name;
    }

    // The class object is cached, and holds the module while a client has it.
    IClassFactory* first = Factory();
    IClassFactory* second = Factory();
    EXPECT_EQ(first, second);
    first->Release();
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_FALSE);
    second->Release();
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
}

// A standalone object answers IUnknown, IDispatch and IUnLha with itself and
// nothing else.
void ExpectOneIdentity(IUnknown* object)
{
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IUnLha}) {
        void* answer = nullptr;
        EXPECT_EQ(object->QueryInterface(*iid, &answer), S_OK);
        EXPECT_EQ(answer, object);
        EXPECT_EQ(object->Release(), 1u) << "the answer carried one reference";
    }
    void* answer = object;
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IUnLha, nullptr), E_POINTER);
}

TEST_F(Client, CreateInstance)
{
    const struct {
        const char* name;
        bool outer;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    } cases[] = {
        {"no out pointer", false, &IID_IUnLha, true, E_POINTER},
        {"outer object asking for IUnLha", true, &IID_IUnLha, false, CLASS_E_NOAGGREGATION},
        {"interface the object lacks", false, &IID_IClassFactory, false, E_NOINTERFACE},
        {"IUnLha", false, &IID_IUnLha, false, S_OK},
        {"IDispatch", false, &IID_IDispatch, false, S_OK},
        {"IUnknown", false, &IID_IUnknown, false, S_OK},
        {"outer object asking for IUnknown", true, &IID_IUnknown, false, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IClassFactory* factory = Factory();
        OuterObject outer;
        void* out = &outer;
        EXPECT_EQ(factory->CreateInstance(c.outer ? &outer : nullptr, *c.iid, c.nullOut ? nullptr : &out), c.expected);
        factory->Release();
        EXPECT_EQ(outer.refs, 1) << "the outer object is held without a reference";
        if (!c.nullOut) EXPECT_EQ(out != nullptr, c.expected == S_OK);
        if (!c.nullOut && out) {
            EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_FALSE) << "a live object holds the module";
            IUnknown* object = static_cast<IUnknown*>(out);
            EXPECT_EQ(object->AddRef(), 2u) << "created with one reference";
            object->Release();
            if (!c.outer) ExpectOneIdentity(object);
            EXPECT_EQ(object->Release(), 0u);
        }
        EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
    }
}

TEST_F(Client, AggregatedObjectKeepsTheOuterIdentityAndCount)
{
    OuterObject outer;
    IClassFactory* factory = Factory();
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    factory->Release();
    IUnknown* inner = outer.inner;

    IUnknown* again = nullptr;
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, inner) << "the inner unknown answers IUnknown with itself";
    EXPECT_EQ(again->Release(), 1u) << "and with a reference of its own";
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    IUnLha* contained = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IUnLha, reinterpret_cast<void**>(&contained)), S_OK);
    EXPECT_NE(static_cast<void*>(contained), static_cast<void*>(inner));
    EXPECT_EQ(outer.refs, 2) << "references to the contained object are the outer object's";
    EXPECT_EQ(inner->AddRef(), 2u) << "and not the inner one's";
    inner->Release();
    IUnknown* identity = nullptr;
    EXPECT_EQ(contained->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(contained->AddRef(), 4u);
    contained->Release();
    identity->Release();

    EXPECT_EQ(contained->DoIt(MakeBstr(L"echo inside").get()), S_OK);
    EXPECT_EQ(ResultText(contained), Result(L"inside"));
    contained->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_FALSE) << "the live aggregate holds the module";
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
}

TEST_F(Client, LockServerCountsEveryCallEvenBelowZero)
{
    IClassFactory* factory = Factory();
    const struct {
        BOOL lock;
        HRESULT canUnload; // with the class object let go
    } steps[] = {{FALSE, S_FALSE}, {TRUE, S_OK}, {TRUE, S_FALSE}, {TRUE, S_FALSE}, {FALSE, S_FALSE}, {FALSE, S_OK}};
    for (const auto& step : steps) {
        EXPECT_EQ(factory->LockServer(step.lock), S_OK);
        factory->Release();
        EXPECT_EQ(ServerUnderTest::CanUnloadNow(), step.canUnload);
        factory = Factory();
    }
    factory->Release();
}

TEST_F(Client, MembersSitAtSlotsSevenToEleven)
{
    IUnLha* object = NewObject();
    void** table = *reinterpret_cast<void***>(object);
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI*)(void*, UINT)>(table[9])(object, 1234), S_OK);
    UINT hwnd = 0;
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI*)(void*, UINT*)>(table[8])(object, &hwnd), S_OK);
    EXPECT_EQ(hwnd, 1234u);
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI*)(void*, BSTR)>(table[7])(object, MakeBstr(L"exit 6 raw").get()), S_OK);
    EXPECT_EQ(LastCommandLine(), "exit 6 raw");
    EXPECT_EQ(StandInLastWindow(), reinterpret_cast<HWND>(1234));
    LONG code = 0;
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI*)(void*, LONG*)>(table[10])(object, &code), S_OK);
    EXPECT_EQ(code, 6);
    BSTR text = nullptr;
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI*)(void*, BSTR*)>(table[11])(object, &text), S_OK);
    EXPECT_EQ(Text(text), L"raw");
    SysFreeString(text);
    object->Release();
}

TEST_F(Client, DoItRunsOneCommand)
{
    const struct {
        const char* name;
        UINT codePage; // 0: any
        UINT hwnd;
        std::optional<std::wstring> commandLine;
        std::string received;
        LONG errorCode;
        Result result;
    } cases[] = {
        {"null command line runs as the empty one", 0, 0, std::nullopt, "", 0, std::nullopt},
        {"window handle reaches the library unchanged", 0, 0xFFFFFFFFu, L"echo w", "echo w", 0, L"w"},
        {"non-zero return is no failure", 0, 0, L"exit 7 seven", "exit 7 seven", 7, L"seven"},
        {"negative return and no output", 0, 5, L"exit -3", "exit -3", -3, std::nullopt},
        {"embedded NUL ends the command line", 0, 0, L"echo a\0echo b"s, "echo a", 0, L"a"},
        {"line ends", 0, 0, L"hex 61 0a 62 0d 0a", "hex 61 0a 62 0d 0a", 0, L"a\r\nb\r\r\n"},
        {"Japanese text both ways", 932, 0, L"echo \x3042", "echo \x82\xa0", 0, L"\x3042"},
        {"unmappable character", 1252, 0, L"echo \x3042", "echo ?", 0, L"?"},
        {"full area of bytes, no terminator", 0, 0, L"fill 65536", "fill 65536", 0, std::wstring(65536, L'x')},
    };
    IUnLha* object = NewObject();
    UINT hwnd = 0x5EED;
    EXPECT_EQ(object->get_hwnd(&hwnd), S_OK);
    EXPECT_EQ(hwnd, 0u);
    EXPECT_EQ(ErrorCode(object), 0);
    EXPECT_EQ(ResultText(object), std::nullopt);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.codePage && c.codePage != GetACP()) continue;
        StandInReset();
        EXPECT_EQ(object->put_hwnd(c.hwnd), S_OK);
        EXPECT_EQ(object->DoIt(c.commandLine ? MakeBstr(*c.commandLine).get() : nullptr), S_OK);
        EXPECT_EQ(StandInCallCount(), 1);
        EXPECT_EQ(LastCommandLine(), c.received);
        EXPECT_EQ(StandInLastWindow(), reinterpret_cast<HWND>(static_cast<UINT_PTR>(c.hwnd)));
        EXPECT_EQ(StandInLastSize(), 0x10000u);
        EXPECT_EQ(ErrorCode(object), c.errorCode);
        EXPECT_EQ(ResultText(object), c.result) << "and no earlier text is left";
    }
    object->Release();
}

TEST_F(Client, EachReadOfResultStringIsACopyOfItsOwn)
{
    IUnLha* object = NewObject();
    ASSERT_EQ(object->DoIt(MakeBstr(L"echo copy").get()), S_OK);
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(object->get_ResultString(&first), S_OK);
    ASSERT_EQ(object->get_ResultString(&second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(Text(first), Text(second));
    SysFreeString(first);
    SysFreeString(second);
    EXPECT_EQ(ResultText(object), Result(L"copy"));

    // Null out pointers are refused without a write.
    EXPECT_EQ(object->get_hwnd(nullptr), E_POINTER);
    EXPECT_EQ(object->get_ErrorCode(nullptr), E_POINTER);
    EXPECT_EQ(object->get_ResultString(nullptr), E_POINTER);
    EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(object->GetTypeInfo(0, 0, nullptr), E_POINTER);
    object->Release();
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

TEST_F(Client, WhileTheLibraryRunsTheObjectHoldsTheOldCodeAndNoText)
{
    IUnLha* object = NewObject();
    ASSERT_EQ(object->DoIt(MakeBstr(L"exit 5 before").get()), S_OK);
    static WCHAR untouched[] = L"untouched";
    SeenDuringCall seen = {object, 0, untouched};
    StandInSetCallback(ReadObjectDuringCall, &seen);
    ASSERT_EQ(object->DoIt(MakeBstr(L"exit 9 after").get()), S_OK);
    EXPECT_EQ(seen.errorCode, 5);
    EXPECT_EQ(seen.text, nullptr);
    EXPECT_EQ(ErrorCode(object), 9);
    EXPECT_EQ(ResultText(object), Result(L"after"));
    object->Release();
}

// Dispatch loads the type library by its registration, which each test
// controls through a private HKEY_CLASSES_ROOT. (Dispatch with the library
// registered has its own tests.)
class Dispatch : public Client {
protected:
    HRESULT TypeInfo(IUnLha* object, UINT index, LCID locale, ITypeInfo** info)
    {
        *info = reinterpret_cast<ITypeInfo*>(1); // must be cleared on failure
        return object->GetTypeInfo(index, locale, info);
    }
    static HRESULT Invoke(IUnLha* object, DISPID member, WORD flags, VARIANT* argument, VARIANT* result)
    {
        DISPID named = DISPID_PROPERTYPUT;
        const bool put = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS parameters = {argument, put ? &named : nullptr, argument ? 1u : 0u, put ? 1u : 0u};
        return object->Invoke(member, IID_NULL, 0, flags, &parameters, result, nullptr, nullptr);
    }

    ClassesRootOverride registry;
    const HRESULT notRegistered = ClassesRootOverride::NotRegisteredCode();
};

TEST_F(Dispatch, WithoutTheTypeLibraryCallsFailAndCacheNothingAndInvokeClearsErrorInfo)
{
    ASSERT_TRUE(FAILED(notRegistered));
    IUnLha* object = NewObject();
    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(CreateErrorInfo(&creator), S_OK);
    IErrorInfo* error = nullptr;
    creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error));
    creator->Release();

    SetErrorInfo(0, error);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TypeInfo(object, 0, 0, &info), notRegistered);
    EXPECT_EQ(info, nullptr);
    LPOLESTR name = const_cast<LPOLESTR>(L"DoIt");
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), notRegistered);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_OK) << "only Invoke clears an earlier error object";
    EXPECT_EQ(left, error);
    if (left) left->Release();

    SetErrorInfo(0, error);
    VARIANT argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"echo late");
    EXPECT_EQ(Invoke(object, 1, DISPATCH_METHOD, &argument, nullptr), notRegistered);
    VariantClear(&argument);
    EXPECT_EQ(StandInCallCount(), 0);
    left = error;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);
    EXPECT_EQ(left, nullptr);
    error->Release();

    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    registry.RegisterTypeLibrary();
    EXPECT_EQ(TypeInfo(object, 0, 0, &info), S_OK) << "the failures cached nothing";
    if (info) info->Release();
    object->Release();
}

TEST_F(Client, ConcurrentFirstLookupsGetOneClassObject)
{
    void* results[8] = {};
    RunTogether(8, [&](int i) { ServerUnderTest::GetClassObject(CLSID_UnLha, IID_IClassFactory, &results[i]); });
    for (void* result : results) {
        EXPECT_NE(result, nullptr);
        EXPECT_EQ(result, results[0]);
        if (result) static_cast<IUnknown*>(result)->Release();
    }
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
}

// Each character of the system code page that converts to one unit and back
// to the same bytes, once: echoed through the library it must come back whole.
std::wstring RoundTripText()
{
    std::wstring text;
    auto keep = [&text](const char* bytes, int length) {
        WCHAR unit[2] = {};
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, unit, 2) != 1) return;
        char back[4] = {};
        BOOL defaulted = FALSE;
        if (WideCharToMultiByte(CP_ACP, 0, unit, 1, back, 4, nullptr, &defaulted) != length || defaulted) return;
        if (memcmp(back, bytes, length) == 0) text += unit[0];
    };
    for (int lead = 0x20; lead < 0x100; ++lead) {
        if (!IsDBCSLeadByte(static_cast<BYTE>(lead))) {
            const char byte = static_cast<char>(lead);
            keep(&byte, 1);
            continue;
        }
        for (int trail = 0x40; trail < 0x100; ++trail) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            keep(pair, 2);
        }
    }
    return text;
}

// Holds each call inside the library until `count` calls have arrived (or a
// second has passed), so that their output walks start together.
struct WalkBarrier {
    LONG count;
    volatile LONG arrived;
};

void WINAPI WaitForTheOtherCalls(void* context)
{
    WalkBarrier* barrier = static_cast<WalkBarrier*>(context);
    InterlockedIncrement(&barrier->arrived);
    // Spinning rather than sleeping: the threads leave within the same moment.
    const DWORD start = GetTickCount();
    while (barrier->arrived < barrier->count && GetTickCount() - start < 1000) SwitchToThread();
}

// A fresh module fills its shared conversion tables on first use: threads
// that fill the same entries at once must each see only finished entries.
TEST_F(Client, ThreadsOnObjectsOfTheirOwnEachGetExactlyTheirText)
{
    const std::wstring text = RoundTripText();
    ASSERT_GT(text.size(), GetACP() == 932 ? 7000u : 200u);
    const UniqueBstr command = MakeBstr(L"echo " + text);
    LONG wrong[8] = {};
    WalkBarrier barrier = {8, 0};
    StandInSetCallback(WaitForTheOtherCalls, &barrier);
    RunTogether(8, [&](int thread) {
        IUnLha* object = NewObject();
        if (!object) return;
        for (int call = 0; call < 2; ++call) {
            if (object->DoIt(command.get()) != S_OK || ResultText(object) != Result(text)) ++wrong[thread];
        }
        object->Release();
    });
    StandInReset();
    for (int thread = 0; thread < 8; ++thread) EXPECT_EQ(wrong[thread], 0) << "thread " << thread;
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
}

TEST_F(Client, ObjectsMadeAndReleasedOnManyThreadsLetTheModuleGo)
{
    RunTogether(8, [&](int) {
        for (int i = 0; i < 25; ++i) {
            IUnLha* object = NewObject();
            if (!object) return;
            object->DoIt(MakeBstr(L"echo busy").get());
            object->Release();
        }
    });
    EXPECT_EQ(ServerUnderTest::CanUnloadNow(), S_OK);
}

} // namespace
