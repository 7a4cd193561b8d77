// Owns one reference on a COM interface pointer.
#pragma once
#include <windows.h>
#include <unknwn.h>

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr()
    {
        if (pointer_) pointer_->Release();
    }

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    // For an out parameter: the holder must be empty.
    void** Out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};
