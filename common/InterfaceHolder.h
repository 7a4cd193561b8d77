// Holds one reference on a COM interface and releases it when it goes.
// Movable, not copyable; no exceptions, no runtime support.
#pragma once
#include <windows.h>
#include <unknwn.h>

template <typename Interface>
class InterfaceHolder {
public:
    InterfaceHolder() = default;
    ~InterfaceHolder() { reset(); }
    InterfaceHolder(const InterfaceHolder&) = delete;
    InterfaceHolder& operator=(const InterfaceHolder&) = delete;
    InterfaceHolder(InterfaceHolder&& other) noexcept : pointer_(other.detach()) {}
    InterfaceHolder& operator=(InterfaceHolder&& other) noexcept
    {
        attach(other.detach());
        return *this;
    }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // Releases the reference held, if any; the holder is empty afterwards.
    void reset() { attach(nullptr); }

    // Takes over a reference the caller owns and releases the one held before
    // (also when both are the same object: the holder then keeps one of the two).
    void attach(Interface* pointer)
    {
        Interface* old = pointer_;
        pointer_ = pointer;
        if (old) old->Release();
    }

    // Hands the reference to the caller, who releases it from then on.
    Interface* detach()
    {
        Interface* pointer = pointer_;
        pointer_ = nullptr;
        return pointer;
    }

    // For an out parameter: releases what is held and gives the empty slot.
    Interface** put()
    {
        reset();
        return &pointer_;
    }
    // The same slot, for calls that take void** (QueryInterface, DllGetClassObject).
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    Interface* pointer_ = nullptr;
};
