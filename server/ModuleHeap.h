// The private heap behind every object and buffer the module allocates for itself.
#pragma once
#include <stddef.h>

void* ModuleAlloc(size_t bytes);
void* ModuleRealloc(void* block, size_t bytes);
void ModuleFree(void* block);
