#include "dispatch/MemberCallCounter.h"

namespace {

// Every IUnLha member takes the object and one 32-bit argument (a BSTR, a
// UINT or a pointer) and returns an HRESULT.
using Member = HRESULT(STDMETHODCALLTYPE*)(void* self, ULONG_PTR argument);

volatile LONG g_calls[MemberSlotCount];
Member g_originals[MemberSlotCount];

template <int Index>
HRESULT STDMETHODCALLTYPE CountingMember(void* self, ULONG_PTR argument)
{
    InterlockedIncrement(&g_calls[Index]);
    return g_originals[Index](self, argument);
}

const Member g_counting[MemberSlotCount] = {CountingMember<0>, CountingMember<1>, CountingMember<2>,
                                            CountingMember<3>, CountingMember<4>};

void WriteMembers(void** table, const Member* members)
{
    DWORD protection = 0;
    void** first = table + FirstMemberSlot;
    VirtualProtect(first, MemberSlotCount * sizeof(void*), PAGE_READWRITE, &protection);
    for (int i = 0; i < MemberSlotCount; ++i) first[i] = reinterpret_cast<void*>(members[i]);
    VirtualProtect(first, MemberSlotCount * sizeof(void*), protection, &protection);
}

}  // namespace

MemberCallCounter::MemberCallCounter(IUnknown* object)
{
    if (!object) return;
    table_ = *reinterpret_cast<void***>(object);
    for (int i = 0; i < MemberSlotCount; ++i) {
        g_originals[i] = reinterpret_cast<Member>(table_[FirstMemberSlot + i]);
        InterlockedExchange(&g_calls[i], 0);
    }
    WriteMembers(table_, g_counting);
}

MemberCallCounter::~MemberCallCounter()
{
    if (table_) WriteMembers(table_, g_originals);
}

std::array<LONG, MemberSlotCount> MemberCallCounter::Calls() const
{
    std::array<LONG, MemberSlotCount> calls{};
    for (int i = 0; i < MemberSlotCount; ++i) calls[i] = g_calls[i];
    return calls;
}
