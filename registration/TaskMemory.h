// Owner of one block of COM task memory.
#pragma once
#include <windows.h>
#include <objbase.h>

class TaskMemory {
public:
    explicit TaskMemory(void* block = nullptr) : block_(block) {}
    ~TaskMemory() { CoTaskMemFree(block_); }
    TaskMemory(const TaskMemory&) = delete;
    TaskMemory& operator=(const TaskMemory&) = delete;

    void* Get() const { return block_; }

    // Hands the block to the caller, who frees it from then on.
    void* Detach()
    {
        void* block = block_;
        block_ = nullptr;
        return block;
    }

private:
    void* block_;
};
