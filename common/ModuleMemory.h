// Owner of one block of the module heap.
#pragma once
#include "common/ModuleHeap.h"

class ModuleMemory {
public:
    explicit ModuleMemory(size_t bytes) : block_(ModuleAlloc(bytes)) {}
    ~ModuleMemory() { ModuleFree(block_); }
    ModuleMemory(const ModuleMemory&) = delete;
    ModuleMemory& operator=(const ModuleMemory&) = delete;

    // Null when the heap had no room.
    void* Get() const { return block_; }

private:
    void* block_;
};
