// The private heap behind every object and buffer the module allocates for itself.
#pragma once
#include <stddef.h>

void* ModuleAlloc(size_t bytes);
void* ModuleRealloc(void* block, size_t bytes);
void ModuleFree(void* block);

// Blocks now allocated from the module heap (0 before the heap exists); lets
// tests and the bench see that work gives back what it took.
size_t ModuleHeapBlockCount();
