#include "ModuleHeapBlockCount.h"
#include "common/ModuleHeap.h"

size_t ModuleHeapBlockCount()
{
    HANDLE heap = *ModuleHeapSlot();
    if (!heap) return 0;
    size_t blocks = 0;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = nullptr;
    // The walk must not race with allocations on other threads.
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++blocks;
    }
    HeapUnlock(heap);
    return blocks;
}
