// What a client cannot see: the module record's start-up and shutdown, when
// the class object is created, the exact lock count, the heap, and what an
// exhausted heap leaves behind.
#include "../blackbox/ComTestSupport.h"
#include "ModuleTestSupport.h"

#include "server/ClassFactory.h"

namespace {

const CLSID kOtherClass = {0x0badc0de, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
const CLSID kUnLhaButLastByte = [] {
    CLSID id = CLSID_UnLha;
    id.Data4[7] ^= 1;
    return id;
}();
void* const kInstanceCreator = reinterpret_cast<void*>(CreateUnLhaInstance);

LONG g_creations;
HRESULT g_creationFailure;

// The row's class-object creator, counted, and failing on request.
HRESULT WINAPI CountingCreator(void* context, REFIID iid, void** out)
{
    ++g_creations;
    if (FAILED(g_creationFailure)) return g_creationFailure;
    return CreateClassFactory(context, iid, out);
}

// A started module record of the test's own over a one-row map.
struct LocalModule {
    ObjectMapEntry rows[2] = {{&CLSID_UnLha, nullptr, CountingCreator, CreateUnLhaInstance, nullptr, 0, nullptr}, {}};
    ServerModule record = {kServerModuleSize};

    LocalModule()
    {
        g_creations = 0;
        g_creationFailure = S_OK;
        ModuleStartup(&record, rows, nullptr);
    }
    HRESULT Lookup(REFCLSID classId, REFIID iid, void** out) { return LookupClassObject(&record, classId, iid, out); }
};

TEST(ModuleStartup, AcceptsOnlyRecordsOfTheDeclaredSize)
{
    const struct {
        const char* name;
        ULONG size;
        HRESULT expected;
    } cases[] = {
        {"declared size 0", 0, E_INVALIDARG},
        {"one byte short", kServerModuleSize - 1, E_INVALIDARG},
        {"exact size", kServerModuleSize, S_OK},
        {"size with the top bit set compares unsigned", 0x80000000, S_OK},
    };
    ObjectMapEntry rows[1] = {};
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerModule record = {c.size};
        record.lockCount = 7;
        EXPECT_EQ(ModuleStartup(&record, rows, instance), c.expected);
        const bool started = SUCCEEDED(c.expected);
        EXPECT_EQ(record.lockCount, started ? 0 : 7);
        EXPECT_EQ(record.objectMap, started ? rows : nullptr);
        EXPECT_EQ(record.typeLibInstance, started ? instance : nullptr);
        if (started) EXPECT_EQ(ModuleShutdown(&record), S_OK);
    }
    void* out = nullptr;
    EXPECT_EQ(ModuleStartup(nullptr, rows, instance), E_INVALIDARG);
    EXPECT_EQ(ModuleShutdown(nullptr), E_INVALIDARG);
    EXPECT_EQ(LookupClassObject(nullptr, CLSID_UnLha, IID_IClassFactory, &out), E_INVALIDARG);
}

TEST(LookupClassObject, CreatesTheClassObjectOnceAndOnlyWhenAsked)
{
    const struct {
        const char* name;
        const CLSID* classId;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
        LONG creations; // the class object is cached exactly when it was created
    } cases[] = {
        {"class not in the map", &kOtherClass, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE, 0},
        {"class that differs from the row's in its last byte", &kUnLhaButLastByte, &IID_IClassFactory, false,
         CLASS_E_CLASSNOTAVAILABLE, 0},
        {"null out pointer", &CLSID_UnLha, &IID_IClassFactory, true, E_POINTER, 0},
        {"interface the class object lacks", &CLSID_UnLha, &IID_IDispatch, false, E_NOINTERFACE, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalModule module;
        const LONG locks = g_serverModule.lockCount;
        void* out = nullptr;
        EXPECT_EQ(module.Lookup(*c.classId, *c.iid, c.nullOut ? nullptr : &out), c.expected);
        EXPECT_EQ(g_creations, c.creations);
        EXPECT_EQ(module.rows[0].classObject != nullptr, c.creations == 1);
        EXPECT_EQ(g_serverModule.lockCount, locks);
        ModuleShutdown(&module.record);
    }
}

TEST(LookupClassObject, FailedCreationIsTriedAgainAndShutdownReleasesTheCache)
{
    LocalModule module;
    g_creationFailure = E_OUTOFMEMORY;
    IUnknown* classObject = nullptr;
    EXPECT_EQ(module.Lookup(CLSID_UnLha, IID_IUnknown, reinterpret_cast<void**>(&classObject)), E_OUTOFMEMORY);
    EXPECT_EQ(classObject, nullptr);
    EXPECT_EQ(module.rows[0].classObject, nullptr);

    g_creationFailure = S_OK;
    ASSERT_EQ(module.Lookup(CLSID_UnLha, IID_IUnknown, reinterpret_cast<void**>(&classObject)), S_OK);
    EXPECT_EQ(g_creations, 2);
    EXPECT_EQ(ModuleShutdown(&module.record), S_OK);
    EXPECT_EQ(module.rows[0].classObject, nullptr);
    EXPECT_EQ(classObject->Release(), 0u) << "shutdown gave back the row's reference";
}

// The loader's routine on the global record: a FreeLibrary detach (reserved
// null) gives back the cached class object and the heap; a detach while the
// process ends must take no lock and so leaves both as they are.
TEST(ModuleAttachDetach, OnlyAFreeLibraryDetachShutsTheModuleDown)
{
    const struct {
        const char* name;
        void* reserved;
        bool shutDown;
    } cases[] = {
        {"detach by FreeLibrary", nullptr, true},
        {"detach while the process ends", reinterpret_cast<void*>(1), false},
    };
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    // Each record is shut down exactly once: its locks must not be deleted twice.
    ModuleShutdown(&g_serverModule);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ModuleAttachDetach(instance, DLL_PROCESS_ATTACH, nullptr));
        IUnknown* classObject = nullptr;
        ASSERT_EQ(LookupClassObject(&g_serverModule, CLSID_UnLha, IID_IUnknown, reinterpret_cast<void**>(&classObject)),
                  S_OK);
        classObject->Release();
        void* block = ModuleAlloc(16);
        ASSERT_NE(block, nullptr);

        EXPECT_TRUE(ModuleAttachDetach(instance, DLL_PROCESS_DETACH, c.reserved));
        EXPECT_EQ(g_objectMap[0].classObject == nullptr, c.shutDown);
        EXPECT_EQ(g_serverModule.heap == nullptr, c.shutDown);
        if (!c.shutDown) ModuleShutdown(&g_serverModule);
    }
    // Back to the program's started record.
    ModuleStartup(&g_serverModule, g_objectMap, instance);
}

TEST(ClassFactory, OnlyTheStepsBetweenOneAndTwoReferencesMoveTheLockCount)
{
    const LONG locks = g_serverModule.lockCount;
    const size_t blocks = ModuleHeapBlockCount();
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CreateClassFactory(kInstanceCreator, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    const struct {
        bool addRef;
        ULONG count;
        LONG locks;
    } steps[] = {{true, 2, 1}, {true, 3, 1}, {false, 2, 1}, {false, 1, 0}, {true, 2, 1}, {false, 1, 0}, {false, 0, 0}};
    EXPECT_EQ(g_serverModule.lockCount, locks) << "the first reference does not hold the module";
    for (const auto& step : steps) {
        EXPECT_EQ(step.addRef ? factory->AddRef() : factory->Release(), step.count);
        EXPECT_EQ(g_serverModule.lockCount - locks, step.locks) << "at count " << step.count;
    }
    EXPECT_EQ(ModuleHeapBlockCount(), blocks) << "the last Release freed it";
}

TEST(ModuleHeap, ExhaustedHeapGivesOutOfMemoryAndLosesNothing)
{
    IUnLha* object = nullptr;
    ASSERT_EQ(CreateUnLhaInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
    ASSERT_EQ(object->DoIt(MakeBstr(L"exit 3 kept").get()), S_OK);
    OuterObject outer;
    const struct {
        const char* name;
        SIZE_T heapSize;
        bool exhausted;
        std::function<HRESULT(void**)> create;
    } cases[] = {
        {"class object", 0x10000, true, [](void** out) { return CreateClassFactory(kInstanceCreator, IID_IUnknown, out); }},
        {"standalone object", 0x10000, true, [](void** out) { return CreateUnLhaInstance(nullptr, IID_IUnLha, out); }},
        {"aggregated object", 0x10000, true, [&](void** out) { return CreateUnLhaInstance(&outer, IID_IUnknown, out); }},
        {"DoIt", 0x10000, true, [&](void**) { return object->DoIt(MakeBstr(L"echo new").get()); }},
        {"DoIt's output area", 0x8000, false, [&](void**) { return object->DoIt(MakeBstr(L"echo new").get()); }},
    };
    const LONG locks = g_serverModule.lockCount;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StandInReset();
        void* out = nullptr;
        {
            SubstituteHeap heap(c.heapSize, c.exhausted);
            EXPECT_EQ(c.create(&out), E_OUTOFMEMORY);
        }
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(g_serverModule.lockCount, locks);
        EXPECT_EQ(StandInCallCount(), 0) << "the library is not called";
        BSTR text = nullptr;
        object->get_ResultString(&text);
        EXPECT_EQ(Text(text), L"kept");
        SysFreeString(text);
    }
    object->Release();
}

TEST(ModuleHeap, ReallocOfNullAllocatesAndFreeOfNullDoesNothing)
{
    const size_t before = ModuleHeapBlockCount();
    char* block = static_cast<char*>(ModuleRealloc(nullptr, 32));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ModuleHeapBlockCount(), before + 1);
    memset(block, 0x5A, 32);
    block = static_cast<char*>(ModuleRealloc(block, 8192));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, 32), std::string(32, 0x5A)) << "growing keeps the bytes";
    ModuleFree(nullptr);
    EXPECT_EQ(ModuleHeapBlockCount(), before + 1);
    ModuleFree(block);
    EXPECT_EQ(ModuleHeapBlockCount(), before);
}

TEST(ModuleHeap, ConcurrentFirstAllocationsEndWithOneHeap)
{
    // A race is not certain in any one round; twenty rounds meet several.
    const HANDLE saved = g_serverModule.heap;
    for (int round = 0; round < 20; ++round) {
        g_serverModule.heap = nullptr;
        const DWORD heapsBefore = GetProcessHeaps(0, nullptr);
        void* blocks[8] = {};
        RunTogether(8, [&](int i) { blocks[i] = ModuleAlloc(16); });
        EXPECT_EQ(GetProcessHeaps(0, nullptr), heapsBefore + 1) << "round " << round << ": a losing heap was kept";
        for (void* block : blocks) EXPECT_TRUE(block && HeapValidate(g_serverModule.heap, 0, block));
        HeapDestroy(g_serverModule.heap);
    }
    g_serverModule.heap = saved;
}

} // namespace
