// Owns one BSTR and frees it when it goes.
#pragma once
#include <windows.h>
#include <oleauto.h>

class BstrHolder {
public:
    explicit BstrHolder(BSTR text = nullptr) : text_(text) {}
    ~BstrHolder() { SysFreeString(text_); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;

    BSTR Get() const { return text_; }

    // Hands the string to the caller, who frees it from then on.
    BSTR Detach()
    {
        BSTR text = text_;
        text_ = nullptr;
        return text;
    }

private:
    BSTR text_;
};
