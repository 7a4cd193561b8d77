// Helpers for the programs that link the module's code directly.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include "common/ModuleHeap.h"
#include "ModuleHeapBlockCount.h"
#include "server/ServerModule.h"

// Starts the global module record for the whole program, as attach does.
class ModuleEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        CoInitialize(nullptr);
        g_serverModule.size = kServerModuleSize;
        ModuleStartup(&g_serverModule, g_objectMap, GetModuleHandleA(nullptr));
    }
    void TearDown() override
    {
        ModuleShutdown(&g_serverModule);
        CoUninitialize();
    }
};

// Puts a private heap of at most `maximum` bytes in the module heap's place
// for the holder's life; `exhausted` fills it first, so that every
// allocation fails.
class SubstituteHeap {
public:
    SubstituteHeap(SIZE_T maximum, bool exhausted) : heap_(HeapCreate(0, 0, maximum)), saved_(g_serverModule.heap)
    {
        for (SIZE_T size = maximum; exhausted && size; size /= 2) {
            while (HeapAlloc(heap_, 0, size)) {}
        }
        g_serverModule.heap = heap_;
    }
    ~SubstituteHeap()
    {
        g_serverModule.heap = saved_;
        HeapDestroy(heap_);
    }
    SubstituteHeap(const SubstituteHeap&) = delete;
    SubstituteHeap& operator=(const SubstituteHeap&) = delete;

private:
    HANDLE heap_;
    HANDLE saved_;
};
