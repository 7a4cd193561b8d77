#include "common/ModuleHeap.h"

namespace {

// The first allocation creates the heap. Two threads may get here at once
// (registration allocates outside objectMapLock): the first to publish its heap
// wins, the loser destroys its own and uses the winner's.
HANDLE EnsureHeap()
{
    HANDLE* slot = ModuleHeapSlot();
    HANDLE heap = *slot;
    if (heap) return heap;
    HANDLE created = HeapCreate(0, 0, 0);
    if (!created) return nullptr;
    HANDLE winner = InterlockedCompareExchangePointer(slot, created, nullptr);
    if (winner) {
        HeapDestroy(created);
        return winner;
    }
    return created;
}

} // namespace

void* ModuleAlloc(size_t bytes)
{
    HANDLE heap = EnsureHeap();
    if (!heap) return nullptr;
    return HeapAlloc(heap, 0, bytes);
}

void* ModuleRealloc(void* block, size_t bytes)
{
    if (!block) return ModuleAlloc(bytes);
    return HeapReAlloc(*ModuleHeapSlot(), 0, block, bytes);
}

void ModuleFree(void* block)
{
    if (!block) return;
    HeapFree(*ModuleHeapSlot(), 0, block);
}
