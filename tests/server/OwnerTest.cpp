// The resource owner and the interface holder: each resource is released
// exactly once, an out parameter releases the old value first, a hand-out
// releases nothing, and a move leaves its source empty.
#include <windows.h>
#include <unknwn.h>
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "common/InterfaceHolder.h"
#include "common/UniqueResource.h"

namespace {

// Resources are small numbers (0 is none); the release function notes each one.
std::vector<int> g_released;
void NoteRelease(int value)
{
    g_released.push_back(value);
}
using CountedOwner = UniqueResource<int, NoteRelease>;

struct OwnerCase {
    const char* name;
    std::function<void(CountedOwner&)> step;  // on an owner that holds 1
    std::vector<int> releasedByStep;
    int held;  // afterwards; the owner's end must release it and nothing more
};

const OwnerCase kOwnerCases[] = {
    {"the end releases once", [](CountedOwner&) {}, {}, 1},
    {"reset releases the old value once", [](CountedOwner& owner) { owner.reset(2); }, {1}, 2},
    {"reset to nothing empties the owner", [](CountedOwner& owner) { owner.reset(); }, {1}, 0},
    {"reset to the held value keeps it", [](CountedOwner& owner) { owner.reset(owner.get()); }, {}, 1},
    {"put releases the old value before the call fills the slot",
     [](CountedOwner& owner) {
         int* slot = owner.put();
         EXPECT_EQ(g_released, std::vector<int>{1}) << "released before the slot is handed out";
         EXPECT_EQ(*slot, 0) << "the slot is empty";
         *slot = 3;
     },
     {1}, 3},
    {"release hands out without releasing",
     [](CountedOwner& owner) { EXPECT_EQ(owner.release(), 1); }, {}, 0},
    {"a moved-from owner is empty",
     [](CountedOwner& owner) {
         CountedOwner taken(std::move(owner));
         EXPECT_EQ(taken.get(), 1);
         EXPECT_FALSE(owner);
     },
     {1}, 0},
    {"move assignment releases the target's old value",
     [](CountedOwner& owner) {
         CountedOwner source(2);
         owner = std::move(source);
         EXPECT_FALSE(source);
     },
     {1}, 2},
    {"move assignment to itself keeps the value",
     [](CountedOwner& owner) {
         CountedOwner& same = owner;
         owner = std::move(same);
     },
     {}, 1},
};

TEST(UniqueResource, ReleasesEachValueOnce)
{
    for (const OwnerCase& c : kOwnerCases) {
        SCOPED_TRACE(c.name);
        g_released.clear();
        {
            CountedOwner owner(1);
            c.step(owner);
            EXPECT_EQ(g_released, c.releasedByStep);
            EXPECT_EQ(owner.get(), c.held);
        }
        std::vector<int> all = c.releasedByStep;
        if (c.held) all.push_back(c.held);
        EXPECT_EQ(g_released, all) << "the owner's end";
    }
}

// A COM object that counts its references and notes a release too many.
struct CountedObject : IUnknown {
    LONG refs = 1;
    bool overReleased = false;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (refs == 0) overReleased = true;
        return refs ? --refs : 0;
    }
};

struct HolderCase {
    const char* name;
    // On a holder that owns the one reference of `first`; `second` starts
    // with one reference of the step's own.
    std::function<void(InterfaceHolder<IUnknown>&, CountedObject&, CountedObject&)> step;
    LONG firstRefs;   // afterwards, while the holder lives
    LONG secondRefs;
};

const HolderCase kHolderCases[] = {
    {"the end releases once",
     [](InterfaceHolder<IUnknown>&, CountedObject&, CountedObject& second) { second.Release(); }, 1, 0},
    {"reset releases",
     [](InterfaceHolder<IUnknown>& holder, CountedObject&, CountedObject& second) {
         holder.reset();
         EXPECT_FALSE(holder);
         second.Release();
     },
     0, 0},
    {"put releases the old reference before the call fills the slot",
     [](InterfaceHolder<IUnknown>& holder, CountedObject& first, CountedObject& second) {
         IUnknown** slot = holder.put();
         EXPECT_EQ(first.refs, 0) << "released before the slot is handed out";
         EXPECT_EQ(*slot, nullptr);
         *slot = &second;
     },
     0, 1},
    {"detach hands out without releasing",
     [](InterfaceHolder<IUnknown>& holder, CountedObject& first, CountedObject& second) {
         EXPECT_EQ(holder.detach(), &first);
         first.Release();
         second.Release();
     },
     0, 0},
    {"attach releases the old reference",
     [](InterfaceHolder<IUnknown>& holder, CountedObject&, CountedObject& second) { holder.attach(&second); }, 0, 1},
    {"attach of the held object keeps one of the two references",
     [](InterfaceHolder<IUnknown>& holder, CountedObject& first, CountedObject& second) {
         first.AddRef();
         holder.attach(&first);
         second.Release();
     },
     1, 0},
    {"a moved-from holder is empty",
     [](InterfaceHolder<IUnknown>& holder, CountedObject& first, CountedObject& second) {
         InterfaceHolder<IUnknown> taken(std::move(holder));
         EXPECT_EQ(taken.get(), &first);
         EXPECT_FALSE(holder);
         EXPECT_EQ(first.refs, 1);
         second.Release();
     },
     0, 0},
    {"move assignment releases the target's old reference",
     [](InterfaceHolder<IUnknown>& holder, CountedObject&, CountedObject& second) {
         InterfaceHolder<IUnknown> source;
         source.attach(&second);
         holder = std::move(source);
         EXPECT_FALSE(source);
     },
     0, 1},
};

TEST(InterfaceHolder, ReleasesEachReferenceOnce)
{
    for (const HolderCase& c : kHolderCases) {
        SCOPED_TRACE(c.name);
        CountedObject first;
        CountedObject second;
        {
            InterfaceHolder<IUnknown> holder;
            holder.attach(&first);
            c.step(holder, first, second);
            EXPECT_EQ(first.refs, c.firstRefs);
            EXPECT_EQ(second.refs, c.secondRefs);
        }
        EXPECT_EQ(first.refs, 0) << "the holder's end";
        EXPECT_EQ(second.refs, 0) << "the holder's end";
        EXPECT_FALSE(first.overReleased);
        EXPECT_FALSE(second.overReleased);
    }
}

} // namespace
