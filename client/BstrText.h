// BSTRs to and from std::wstring, for programs that carry the C++ runtime.
#pragma once
#include "common/PlatformOwners.h"

#include <string>

// A BSTR holding all of `text`, embedded NULs included; empty when the
// allocation failed.
inline UniqueBstr MakeBstr(const std::wstring& text)
{
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// All of `text`, embedded NULs included; empty for a null BSTR.
inline std::wstring BstrText(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}
