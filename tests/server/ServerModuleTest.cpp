// The module record's start-up and shutdown, the class-object lookup and the heap.
#include "../blackbox/ComTestSupport.h"
#include "ModuleTestSupport.h"

#include "server/ClassFactory.h"

static testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

namespace {

const CLSID kOtherClass = {0x0badc0de, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

LONG g_creations;
HRESULT g_creationFailure;

// The row's class-object creator, counted, and failing on request.
HRESULT WINAPI CountingCreator(void* context, REFIID iid, void** out)
{
    InterlockedIncrement(&g_creations);
    if (FAILED(g_creationFailure)) return g_creationFailure;
    return CreateClassFactory(context, iid, out);
}

// A started module record of the test's own over a one-row map.
struct LocalModule {
    ObjectMapEntry rows[2] = {{&CLSID_UnLha, nullptr, CountingCreator, CreateUnLhaInstance, nullptr, 0, nullptr}, {}};
    ServerModule record = {};
    bool running = true;

    LocalModule()
    {
        g_creations = 0;
        g_creationFailure = S_OK;
        record.size = kServerModuleSize;
        ModuleStartup(&record, rows, nullptr);
    }
    ~LocalModule() { Shutdown(); }
    void Shutdown()
    {
        if (running) ModuleShutdown(&record);
        running = false;
    }
};

struct StartupCase {
    const char* name;
    ULONG size;
    HRESULT expected;
};
const StartupCase kStartupCases[] = {
    {"declared size 0", 0, E_INVALIDARG},
    {"one byte short", kServerModuleSize - 1, E_INVALIDARG},
    {"exact size", kServerModuleSize, S_OK},
    {"size with the top bit set compares unsigned", 0x80000000, S_OK},
};

TEST(ModuleStartup, AcceptsOnlyRecordsOfTheDeclaredSize)
{
    ObjectMapEntry rows[1] = {};
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const StartupCase& c : kStartupCases) {
        SCOPED_TRACE(c.name);
        ServerModule record = {};
        record.size = c.size;
        record.lockCount = 7;
        EXPECT_EQ(ModuleStartup(&record, rows, instance), c.expected);
        if (FAILED(c.expected)) {
            EXPECT_EQ(record.lockCount, 7);
            EXPECT_EQ(record.objectMap, nullptr);
            continue;
        }
        EXPECT_EQ(record.lockCount, 0);
        EXPECT_EQ(record.objectMap, rows);
        EXPECT_EQ(record.moduleInstance, instance);
        EXPECT_EQ(record.resourceInstance, instance);
        EXPECT_EQ(record.typeLibInstance, instance);
        EXPECT_EQ(ModuleShutdown(&record), S_OK);
    }
}

TEST(ModuleRecord, NullRecordIsRefused)
{
    void* out = nullptr;
    EXPECT_EQ(ModuleStartup(nullptr, g_objectMap, nullptr), E_INVALIDARG);
    EXPECT_EQ(ModuleShutdown(nullptr), E_INVALIDARG);
    EXPECT_EQ(LookupClassObject(nullptr, CLSID_UnLha, IID_IClassFactory, &out), E_INVALIDARG);
}

struct LookupCase {
    const char* name;
    const CLSID* classId;
    const IID* iid;
    bool nullOut;
    HRESULT expected;
    LONG creations; // the class object is cached exactly when it was created
};
const LookupCase kLookupCases[] = {
    {"class factory", &CLSID_UnLha, &IID_IClassFactory, false, S_OK, 1},
    {"unknown", &CLSID_UnLha, &IID_IUnknown, false, S_OK, 1},
    {"interface the class object lacks stays cached", &CLSID_UnLha, &IID_IDispatch, false, E_NOINTERFACE, 1},
    {"class not in the map", &kOtherClass, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE, 0},
    {"null out pointer creates nothing", &CLSID_UnLha, &IID_IClassFactory, true, E_POINTER, 0},
};

TEST(LookupClassObject, AnswersEachRequest)
{
    for (const LookupCase& c : kLookupCases) {
        SCOPED_TRACE(c.name);
        LocalModule module;
        const LONG locks = g_serverModule.lockCount;
        void* out = &module; // any non-null value: it must be cleared
        const HRESULT hr = LookupClassObject(&module.record, *c.classId, *c.iid, c.nullOut ? nullptr : &out);
        EXPECT_EQ(hr, c.expected);
        EXPECT_EQ(g_creations, c.creations);
        EXPECT_EQ(module.rows[0].classObject != nullptr, c.creations == 1);
        if (c.nullOut) continue;
        EXPECT_EQ(out != nullptr, SUCCEEDED(c.expected));
        if (!out) continue;
        EXPECT_EQ(g_serverModule.lockCount, locks + 1) << "a client's reference holds the module";
        static_cast<IUnknown*>(out)->Release();
        EXPECT_EQ(g_serverModule.lockCount, locks);
    }
}

TEST(LookupClassObject, FailedCreationIsTriedAgainAndSuccessIsCached)
{
    LocalModule module;
    g_creationFailure = E_OUTOFMEMORY;
    void* first = &module;
    EXPECT_EQ(LookupClassObject(&module.record, CLSID_UnLha, IID_IClassFactory, &first), E_OUTOFMEMORY);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(module.rows[0].classObject, nullptr);

    g_creationFailure = S_OK;
    void* second = nullptr;
    void* third = nullptr;
    EXPECT_EQ(LookupClassObject(&module.record, CLSID_UnLha, IID_IClassFactory, &second), S_OK);
    EXPECT_EQ(LookupClassObject(&module.record, CLSID_UnLha, IID_IClassFactory, &third), S_OK);
    EXPECT_EQ(g_creations, 2);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(second, third);
    if (second) static_cast<IUnknown*>(second)->Release();
    if (third) static_cast<IUnknown*>(third)->Release();
}

TEST(LookupClassObject, ConcurrentFirstLookupsCreateOneClassObject)
{
    LocalModule module;
    void* results[8] = {};
    RunTogether(8, [&](int i) { LookupClassObject(&module.record, CLSID_UnLha, IID_IClassFactory, &results[i]); });
    EXPECT_EQ(g_creations, 1);
    for (void* result : results) {
        EXPECT_NE(result, nullptr);
        EXPECT_EQ(result, results[0]);
        if (result) static_cast<IUnknown*>(result)->Release();
    }
}

TEST(ModuleShutdown, ReleasesTheCachedClassObjects)
{
    LocalModule module;
    IUnknown* classObject = nullptr;
    ASSERT_EQ(LookupClassObject(&module.record, CLSID_UnLha, IID_IUnknown, reinterpret_cast<void**>(&classObject)),
              S_OK);
    module.Shutdown();
    EXPECT_EQ(module.rows[0].classObject, nullptr);
    EXPECT_EQ(classObject->Release(), 0u) << "the row's reference was given back";
}

TEST(ModuleCanUnloadNow, OnlyAZeroCountLetsGo)
{
    const struct {
        LONG lockCount;
        HRESULT expected;
    } cases[] = {{0, S_OK}, {1, S_FALSE}, {-1, S_FALSE}, {0x7FFFFFFF, S_FALSE}};
    for (const auto& c : cases) {
        ServerModule record = {};
        record.lockCount = c.lockCount;
        EXPECT_EQ(ModuleCanUnloadNow(&record), c.expected) << "lockCount " << c.lockCount;
    }
}

TEST(ModuleHeap, ReallocOfNullAllocatesAndFreeOfNullDoesNothing)
{
    const size_t before = ModuleHeapBlockCount();
    unsigned char* block = static_cast<unsigned char*>(ModuleRealloc(nullptr, 32));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ModuleHeapBlockCount(), before + 1);
    memset(block, 0x5A, 32);
    block = static_cast<unsigned char*>(ModuleRealloc(block, 8192));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 32), std::string(32, 0x5A)) << "growing keeps the bytes";
    ModuleFree(nullptr);
    EXPECT_EQ(ModuleHeapBlockCount(), before + 1);
    ModuleFree(block);
    EXPECT_EQ(ModuleHeapBlockCount(), before);
}

TEST(ModuleHeap, ConcurrentFirstAllocationsEndWithOneHeap)
{
    const HANDLE saved = g_serverModule.heap;
    g_serverModule.heap = nullptr;
    const DWORD heapsBefore = GetProcessHeaps(0, nullptr);
    void* blocks[8] = {};
    RunTogether(8, [&](int i) { blocks[i] = ModuleAlloc(16); });
    EXPECT_EQ(GetProcessHeaps(0, nullptr), heapsBefore + 1) << "every losing heap is destroyed";
    for (void* block : blocks) EXPECT_TRUE(block && HeapValidate(g_serverModule.heap, 0, block));
    HeapDestroy(g_serverModule.heap);
    g_serverModule.heap = saved;
}

} // namespace
