// Owns one BSTR in a test; freed when the holder goes.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

class OwnedBstr {
public:
    OwnedBstr() = default;
    explicit OwnedBstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text_); }

    BSTR Get() const { return text_; }
    BSTR* Out()
    {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    // The whole string, embedded NULs included; empty for a null BSTR.
    std::wstring Text() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }

private:
    BSTR text_ = nullptr;
};
