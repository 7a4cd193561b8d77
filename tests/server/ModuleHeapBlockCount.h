// Counts the module heap's blocks, for the tests and the bench; not part of
// vesker.DLL, which has no use for the heap walk it takes.
#pragma once
#include <stddef.h>

// Blocks now allocated from the module heap (0 before the heap exists); lets
// tests and the bench see that work gives back what it took.
size_t ModuleHeapBlockCount();
