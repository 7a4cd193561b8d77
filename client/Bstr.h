// Owns one BSTR of the automation runtime.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }

    BSTR Get() const { return text_; }
    // For an out parameter: the holder must be empty.
    BSTR* Out() { return &text_; }
    std::wstring Text() const { return std::wstring(text_, SysStringLen(text_)); }

private:
    BSTR text_ = nullptr;
};
