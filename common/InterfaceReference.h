// Owns one reference on a COM interface and releases it when it goes.
#pragma once
#include <windows.h>

template <typename Interface>
class InterfaceReference {
public:
    InterfaceReference() : pointer_(nullptr) {}
    ~InterfaceReference() { Reset(); }
    InterfaceReference(const InterfaceReference&) = delete;
    InterfaceReference& operator=(const InterfaceReference&) = delete;

    Interface* Get() const { return pointer_; }

    // Releases what is held and gives the slot for a call to fill.
    Interface** Receive()
    {
        Reset();
        return &pointer_;
    }

private:
    void Reset()
    {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

    Interface* pointer_;
};
