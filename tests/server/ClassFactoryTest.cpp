// The class object, the instance creators and the two object wrappers: who
// counts what, which identity each interface pointer has, and what a failed
// creation leaves behind.
#include "../blackbox/ComTestSupport.h"
#include "ModuleTestSupport.h"

#include <functional>

#include "server/ClassFactory.h"

namespace {

void* const kInstanceCreator = reinterpret_cast<void*>(CreateUnLhaInstance);

// Checks, when it goes, that the module's lock count and heap are back where
// they were when it came.
struct NothingLeftBehind {
    const LONG locks = g_serverModule.lockCount;
    const size_t blocks = ModuleHeapBlockCount();
    ~NothingLeftBehind()
    {
        EXPECT_EQ(g_serverModule.lockCount, locks);
        EXPECT_EQ(ModuleHeapBlockCount(), blocks);
    }
};

TEST(ClassFactory, OnlyTheStepsBetweenOneAndTwoReferencesMoveTheLockCount)
{
    NothingLeftBehind check;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CreateClassFactory(kInstanceCreator, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(g_serverModule.lockCount, check.locks) << "the first reference does not hold the module";
    const struct {
        const char* name;
        bool addRef;
        ULONG count;
        LONG locks;
    } steps[] = {
        {"1 -> 2", true, 2, 1},  {"2 -> 3", true, 3, 1},       {"3 -> 2", false, 2, 1},       {"2 -> 1", false, 1, 0},
        {"1 -> 2 again", true, 2, 1}, {"2 -> 1 again", false, 1, 0}, {"1 -> 0 destroys", false, 0, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(step.addRef ? factory->AddRef() : factory->Release(), step.count);
        EXPECT_EQ(g_serverModule.lockCount - check.locks, step.locks);
    }
}

TEST(ClassFactory, CreationForAnInterfaceItLacksLeavesNothing)
{
    NothingLeftBehind check;
    void* out = &check;
    EXPECT_EQ(CreateClassFactory(kInstanceCreator, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST(ClassFactory, LockServerCountsEveryCall)
{
    ASSERT_EQ(g_serverModule.lockCount, 0) << "an earlier test left the module held";
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CreateClassFactory(kInstanceCreator, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(g_serverModule.lockCount, 1);
    EXPECT_EQ(ModuleCanUnloadNow(&g_serverModule), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(ModuleCanUnloadNow(&g_serverModule), S_OK);
    factory->Release();
}

struct CreateCase {
    const char* name;
    bool outer;
    const IID* iid;
    bool nullOut;
    HRESULT expected;
};
const CreateCase kCreateCases[] = {
    {"no out pointer", false, &IID_IUnLha, true, E_POINTER},
    {"outer object asking for IUnLha", true, &IID_IUnLha, false, CLASS_E_NOAGGREGATION},
    {"outer object asking for IDispatch", true, &IID_IDispatch, false, CLASS_E_NOAGGREGATION},
    {"interface the object lacks", false, &IID_IClassFactory, false, E_NOINTERFACE},
    {"IUnLha", false, &IID_IUnLha, false, S_OK},
    {"IDispatch", false, &IID_IDispatch, false, S_OK},
    {"IUnknown", false, &IID_IUnknown, false, S_OK},
    {"outer object asking for IUnknown", true, &IID_IUnknown, false, S_OK},
};

TEST(ClassFactory, CreateInstance)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CreateClassFactory(kInstanceCreator, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    for (const CreateCase& c : kCreateCases) {
        SCOPED_TRACE(c.name);
        NothingLeftBehind check;
        OuterObject outer;
        void* out = &outer;
        const HRESULT hr = factory->CreateInstance(c.outer ? &outer : nullptr, *c.iid, c.nullOut ? nullptr : &out);
        EXPECT_EQ(hr, c.expected);
        EXPECT_EQ(outer.refs, 1) << "the outer object is held without a reference";
        if (c.nullOut) continue;
        EXPECT_EQ(out != nullptr, hr == S_OK);
        if (!out) continue;
        EXPECT_EQ(g_serverModule.lockCount, check.locks + 1) << "a live object holds the module";
        IUnknown* object = static_cast<IUnknown*>(out);
        EXPECT_EQ(object->AddRef(), 2u) << "created with one reference";
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object->Release(), 0u);
    }
    factory->Release();
}

TEST(StandaloneObject, AnswersEveryInterfaceWithOnePointer)
{
    NothingLeftBehind check;
    IUnknown* object = nullptr;
    ASSERT_EQ(CreateUnLhaInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
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
    EXPECT_EQ(object->Release(), 0u);
}

TEST(AggregatedObject, KeepsTheOuterIdentityAndCount)
{
    NothingLeftBehind check;
    OuterObject outer;
    ASSERT_EQ(CreateUnLhaInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    IUnknown* inner = outer.inner;

    IUnknown* again = nullptr;
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, inner) << "the inner unknown answers IUnknown with itself";
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(again->Release(), 1u) << "that reference was the inner one's";
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    IUnLha* contained = nullptr;
    EXPECT_EQ(inner->QueryInterface(IID_IUnLha, reinterpret_cast<void**>(&contained)), S_OK);
    ASSERT_NE(contained, nullptr);
    EXPECT_NE(static_cast<void*>(contained), static_cast<void*>(inner));
    EXPECT_EQ(outer.refs, 2) << "references to the contained object are the outer object's";
    EXPECT_EQ(inner->AddRef(), 2u) << "and not the inner one's";
    inner->Release();

    IUnknown* identity = nullptr;
    EXPECT_EQ(contained->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    IDispatch* dispatch = nullptr;
    EXPECT_EQ(contained->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(contained));
    EXPECT_EQ(outer.refs, 4);
    EXPECT_EQ(contained->AddRef(), 5u);
    EXPECT_EQ(contained->Release(), 4u);
    dispatch->Release();
    identity->Release();
    contained->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(inner->Release(), 0u);
}

TEST(Creators, ExhaustedHeapGivesOutOfMemoryAndLeavesNothing)
{
    OuterObject outer;
    const struct {
        const char* name;
        std::function<HRESULT(void**)> create;
    } creators[] = {
        {"class object", [](void** out) { return CreateClassFactory(kInstanceCreator, IID_IUnknown, out); }},
        {"standalone object", [](void** out) { return CreateUnLhaInstance(nullptr, IID_IUnLha, out); }},
        {"aggregated object", [&](void** out) { return CreateUnLhaInstance(&outer, IID_IUnknown, out); }},
    };
    const LONG locks = g_serverModule.lockCount;
    SubstituteHeap exhausted(0x10000, true);
    for (const auto& creator : creators) {
        SCOPED_TRACE(creator.name);
        void* out = nullptr;
        EXPECT_EQ(creator.create(&out), E_OUTOFMEMORY);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(g_serverModule.lockCount, locks);
    }
}

} // namespace
