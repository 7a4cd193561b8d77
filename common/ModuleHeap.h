// The private heap behind every object and buffer the module allocates for itself.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/UniqueResource.h"

void* ModuleAlloc(size_t bytes);
void* ModuleRealloc(void* block, size_t bytes);
void ModuleFree(void* block);

// Where the module keeps the heap's handle: null until the first allocation
// creates the heap. The module record holds it, so its owner defines this.
HANDLE* ModuleHeapSlot();

// A block of the module heap, seen as `Block*`.
template <typename Block>
using UniqueModuleBlock = UniqueResource<Block*, ModuleFree>;
