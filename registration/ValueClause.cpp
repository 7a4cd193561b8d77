#include "registration/ValueClause.h"
#include "registration/RegistryScriptTables.h"

namespace {

// The text as a signed 32-bit integer; false when it does not convert. Kept out
// of line so its wide copy is on the stack only while a "d" value is converted.
__attribute__((noinline)) bool ConvertDwordText(const char* text, LONG* value)
{
    WCHAR wide[kTokenBufferSize];
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kTokenBufferSize)) return false;
    return SUCCEEDED(VarI4FromStr(wide, 0, 0, value));
}

// A value the registry refuses (a key opened only for reading, say) would
// leave the old data in place while registration reported success.
HRESULT WriteResult(LONG result)
{
    return result == ERROR_SUCCESS ? S_OK : DISP_E_EXCEPTION;
}

// A text that does not convert writes nothing: an existing value keeps its data.
HRESULT WriteDwordValue(HKEY key, const char* name, const char* text)
{
    LONG value = 0;
    if (!ConvertDwordText(text, &value)) return S_OK;
    return WriteResult(
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

HRESULT WriteStringValue(HKEY key, const char* name, const char* text)
{
    return WriteResult(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                      static_cast<DWORD>(lstrlenA(text) + 1)));
}

}  // namespace

VARTYPE ValueTypeFromLetter(const char* letter)
{
    for (const ValueTypeEntry& entry : ValueTypes) {
        if (lstrcmpiA(letter, entry.letter) == 0) return entry.type;
    }
    return VT_EMPTY;
}

HRESULT WriteValueClause(ScriptParser* parser, HKEY key, const char* name, char* token)
{
    // The "=" in the caller's buffer is done with, so the type letter goes there.
    HRESULT hr = ReadToken(parser, token);
    if (FAILED(hr)) return hr;
    const VARTYPE type = ValueTypeFromLetter(token);
    if (type == VT_EMPTY) return DISP_E_EXCEPTION;

    char text[kTokenBufferSize];
    hr = ReadToken(parser, text);
    if (FAILED(hr)) return hr;
    hr = type == VT_I4 ? WriteDwordValue(key, name, text) : WriteStringValue(key, name, text);
    if (FAILED(hr)) return hr;
    return ReadToken(parser, token);
}

HRESULT SkipValueClause(ScriptParser* parser, char* token)
{
    if (token[0] != '=') return S_OK;
    // Neither the type letter nor the value text is looked at.
    HRESULT hr = ReadToken(parser, token);
    if (FAILED(hr)) return hr;
    hr = ReadToken(parser, token);
    if (FAILED(hr)) return hr;
    return ReadToken(parser, token);
}
