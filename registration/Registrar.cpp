#include "registration/Registrar.h"
#include "common/AnsiCopy.h"
#include "registration/ExpansionBuffer.h"
#include "common/ModuleHeap.h"
#include "common/PlatformOwners.h"
#include "registration/ModulePath.h"
#include "registration/ReplacementMap.h"
#include "registration/ScriptParser.h"
#include "common/HResult.h"
#include "server/ServerModule.h"

namespace {

// A module path with every single quote doubled needs at most twice the room.
constexpr size_t kQuotedPathUnits = 2 * MAX_PATH;

// Cursor just past "%": appends the value of the marker that ends at the next
// "%" and moves past that one.
HRESULT AppendMarkerValue(ScriptParser* parser, ExpansionBuffer* buffer)
{
    const char* start = parser->cursor;
    const char* end = start;
    while (*end && *end != '%') end = NextChar(end);
    if (!*end) return DISP_E_EXCEPTION;
    const size_t length = static_cast<size_t>(end - start);
    if (length > kLongestMarkerName) return E_FAIL;

    char name[kLongestMarkerName + 1];
    memcpy(name, start, length);
    name[length] = 0;
    const WCHAR* value = parser->replacements ? parser->replacements->FindEntry(name) : nullptr;
    if (!value) return DISP_E_EXCEPTION;

    AnsiCopy ansiValue;
    HRESULT hr = ansiValue.Assign(const_cast<WCHAR*>(value), CP_ACP);
    if (FAILED(hr)) return hr;
    hr = buffer->Append(ansiValue.Text(), static_cast<ULONG>(lstrlenA(ansiValue.Text())));
    if (FAILED(hr)) return hr;
    parser->cursor = end + 1;
    return S_OK;
}

// One character, a "%%" pair or a whole marker.
HRESULT ExpandNextPiece(ScriptParser* parser, ExpansionBuffer* buffer)
{
    const char* piece = parser->cursor;
    if (*piece != '%') {
        parser->cursor = NextChar(piece);
        return buffer->Append(piece, static_cast<ULONG>(parser->cursor - piece));
    }
    ++parser->cursor;
    if (*parser->cursor == '%') {
        ++parser->cursor;
        return buffer->Append("%", 1);
    }
    return AppendMarkerValue(parser, buffer);
}

// Root key name, "{", then the block in the requested pass. A register pass
// that fails is undone by the unregister pass over the same block.
HRESULT RunRootBlock(ScriptParser* parser, BOOL registerPass)
{
    // Read into a full token buffer: a long token is refused as an unknown
    // root key instead of overrunning a smaller name buffer.
    char token[kTokenBufferSize];
    HRESULT hr = ReadToken(parser, token);
    if (FAILED(hr)) return hr;
    const HKEY root = RootKeyFromName(token);
    if (!root) return DISP_E_EXCEPTION;
    hr = ReadToken(parser, token);
    if (FAILED(hr)) return hr;
    if (token[0] != '{') return DISP_E_EXCEPTION;

    if (!registerPass) return InterpretBlock(parser, root, FALSE, FALSE);
    const char* blockStart = parser->cursor;
    hr = InterpretBlock(parser, root, TRUE, FALSE);
    if (SUCCEEDED(hr)) return hr;
    parser->cursor = blockStart;
    InterpretBlock(parser, root, FALSE, FALSE);
    return hr;
}

// The script value is quoted, so a quote in the path must be doubled to
// reach the registry as one quote.
void DoubleSingleQuotes(const WCHAR* text, WCHAR* quoted)
{
    for (; *text; ++text) {
        if (*text == L'\'') *quoted++ = L'\'';
        *quoted++ = *text;
    }
    *quoted = 0;
}

} // namespace

HRESULT ExpandScript(ScriptParser* parser, const char* text, char** expanded)
{
    *expanded = nullptr;
    ExpansionBuffer buffer;
    HRESULT hr = buffer.Allocate(static_cast<ULONG>(lstrlenA(text)));
    if (FAILED(hr)) return hr;
    parser->cursor = text;
    while (*parser->cursor) {
        hr = ExpandNextPiece(parser, &buffer);
        if (FAILED(hr)) return hr;
    }
    hr = buffer.Append("", 1);
    if (FAILED(hr)) return hr;
    *expanded = buffer.Detach();
    return S_OK;
}

HRESULT RunScript(ScriptParser* parser, const char* text, BOOL registerPass)
{
    char* expanded;
    HRESULT hr = ExpandScript(parser, text, &expanded);
    if (FAILED(hr)) return hr;
    UniqueTaskMemory<char> expandedOwner(expanded);
    parser->cursor = expanded;
    while (*parser->cursor) {
        hr = RunRootBlock(parser, registerPass);
        if (FAILED(hr)) return hr;
        SkipBlanks(parser);
    }
    return S_OK;
}

HRESULT RunResourceScript(ReplacementMap* map, const WCHAR* path, UINT resourceId,
                          const WCHAR* resourceType, BOOL registerPass)
{
    ScriptParser parser = {nullptr, map};
    AnsiCopy ansiPath;
    AnsiCopy ansiType;
    HRESULT hr = ansiPath.Assign(const_cast<WCHAR*>(path), CP_ACP);
    if (FAILED(hr)) return hr;
    hr = ansiType.Assign(const_cast<WCHAR*>(resourceType), CP_ACP);
    if (FAILED(hr)) return hr;

    UniqueLibrary library(LoadLibraryExA(ansiPath.Text(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!library.get()) return HResultFromLastError();
    HRSRC resource = FindResourceA(library.get(), MAKEINTRESOURCEA(resourceId), ansiType.Text());
    if (!resource) return HResultFromLastError();
    HGLOBAL loaded = LoadResource(library.get(), resource);
    if (!loaded) return HResultFromLastError();

    // The resource holds no terminator, and the byte after it is not ours to read.
    const DWORD size = SizeofResource(library.get(), resource);
    const void* data = LockResource(loaded);
    if (!data) return HResultFromLastError();
    UniqueModuleBlock<char> script(static_cast<char*>(ModuleAlloc(static_cast<size_t>(size) + 1)));
    if (!script) return E_OUTOFMEMORY;
    char* text = script.get();
    memcpy(text, data, size);
    text[size] = 0;
    return RunScript(&parser, text, registerPass);
}

HRESULT ApplyRegistrationScript(ServerModule* module, UINT resourceId, BOOL registerPass,
                                const ReplacementPair* extras)
{
    if (!module) return E_INVALIDARG;
    ReplacementMap map;
    char ansiPath[MAX_PATH];
    HRESULT hr = QueryModulePath(module->moduleInstance, ansiPath, MAX_PATH);
    if (FAILED(hr)) return hr;
    WCHAR path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, path, MAX_PATH)) return HResultFromLastError();

    WCHAR quotedPath[kQuotedPathUnits];
    DoubleSingleQuotes(path, quotedPath);
    // A marker that cannot be added shows up as an unknown marker when the
    // script is expanded, so the additions are not checked here.
    map.AddEntry(kModuleMarkerName, quotedPath);
    for (const ReplacementPair* extra = extras; extra && extra->name; ++extra) {
        map.AddEntry(extra->name, extra->value);
    }
    return RunResourceScript(&map, path, resourceId, kScriptResourceType, registerPass);
}
