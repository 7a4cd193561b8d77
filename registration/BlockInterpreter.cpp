// The block interpreter: one call per level of braces, in the register pass
// (create keys, write values) or the unregister pass (delete what the script
// names). Every level shares one token buffer: a level never needs its token
// once it has handed the cursor to a nested block, so the stack holds only the
// small per-level state however deep the script nests.
#include "registration/ScriptParser.h"
#include "registration/KeyHandle.h"
#include "registration/KeyTree.h"
#include "registration/RegistryScriptTables.h"
#include "registration/ValueClause.h"

namespace {

// Deeper scripts are refused rather than left to exhaust the thread's stack.
constexpr int kMaxBlockDepth = 64;

struct BlockRun {
    ScriptParser* parser;
    char* token;  // kTokenBufferSize bytes, shared by every level
    BOOL registerPass;
};

// The state of one level: its parent key, the key of its last key entry and
// whether the entries that remain may still be deleted.
struct BlockLevel {
    HKEY parent;
    KeyHandle current;
    bool removable;
    BOOL passive;
    int depth;
};

HRESULT InterpretLevel(const BlockRun& run, HKEY parent, BOOL passive, int depth);

bool IsKeyword(const char* token, const char* keyword)
{
    return lstrcmpiA(token, keyword) == 0;
}

// A name that ends in the first byte of a double-byte character is no text of
// the code page: the registry may drop that byte and so reach another name.
bool EndsInWholeCharacter(const char* text)
{
    for (const char* c = text; *c; c = NextChar(c)) {
        if (!c[1] && IsDBCSLeadByte(static_cast<BYTE>(*c))) return false;
    }
    return true;
}

// A key entry names exactly one level below its parent. An empty name would
// name the parent itself, so that removing it took the parent's whole subtree.
bool IsSingleKeyName(const char* text)
{
    if (!*text || !EndsInWholeCharacter(text)) return false;
    for (const char* c = text; *c; c = NextChar(c)) {
        if (*c == '\\') return false;
    }
    return true;
}

HRESULT ReadToken(const BlockRun& run)
{
    return ReadToken(run.parser, run.token);
}

// Reads the next token and steps over a value clause that starts with it.
HRESULT ReadTokenSkippingClause(const BlockRun& run)
{
    const HRESULT hr = ReadToken(run);
    if (FAILED(hr)) return hr;
    return SkipValueClause(run.parser, run.token);
}

// The block that follows an entry, read without any registry call.
HRESULT SkipBlockPassively(const BlockRun& run, const BlockLevel& level)
{
    const HRESULT hr = InterpretLevel(run, nullptr, TRUE, level.depth + 1);
    if (FAILED(hr)) return hr;
    return ReadTokenSkippingClause(run);
}

// NoRemove exempts the marked entry and the rest of its level from deletion.
HRESULT ApplyNoRemove(const BlockRun& run, BlockLevel& level)
{
    if (!IsKeyword(run.token, kKeywordNoRemove)) return S_OK;
    level.removable = false;
    return ReadToken(run);
}

// A `val` entry: its name, then the "=" that must follow it.
HRESULT ReadValueEntryName(const BlockRun& run, char* name)
{
    HRESULT hr = ReadToken(run);
    if (FAILED(hr)) return hr;
    if (lstrlenA(run.token) >= static_cast<int>(kNameBufferSize)) return DISP_E_EXCEPTION;
    lstrcpynA(name, run.token, kNameBufferSize);
    hr = ReadToken(run);
    if (FAILED(hr)) return hr;
    return run.token[0] == '=' ? S_OK : DISP_E_EXCEPTION;
}

// ---- Register pass ----

// After an entry: a block belongs to the key just opened. A block after a
// Delete or `val` entry would land under an earlier sibling, so it is refused.
HRESULT FinishRegisterEntry(const BlockRun& run, BlockLevel& level, bool blockAllowed)
{
    if (run.token[0] != '{') return S_OK;
    if (!blockAllowed) return DISP_E_EXCEPTION;
    const HRESULT hr = InterpretLevel(run, level.current.Get(), FALSE, level.depth + 1);
    if (FAILED(hr)) return hr;
    return ReadToken(run);
}

// Full access first, then read access, and only then a new key.
HRESULT OpenOrCreateKey(BlockLevel& level, const char* name)
{
    if (level.current.Open(level.parent, name, KEY_ALL_ACCESS) == ERROR_SUCCESS) return S_OK;
    if (level.current.Open(level.parent, name, KEY_READ) == ERROR_SUCCESS) return S_OK;
    if (level.current.Create(level.parent, name, KEY_ALL_ACCESS) == ERROR_SUCCESS) return S_OK;
    return DISP_E_EXCEPTION;
}

HRESULT RegisterValueEntry(const BlockRun& run, BlockLevel& level)
{
    char name[kNameBufferSize];
    HRESULT hr = ReadValueEntryName(run, name);
    if (FAILED(hr)) return hr;
    hr = WriteValueClause(run.parser, level.parent, name, run.token);
    if (FAILED(hr)) return hr;
    return FinishRegisterEntry(run, level, false);
}

HRESULT RegisterKeyEntry(const BlockRun& run, BlockLevel& level)
{
    if (!IsSingleKeyName(run.token)) return DISP_E_EXCEPTION;
    HRESULT hr = OpenOrCreateKey(level, run.token);
    if (FAILED(hr)) return hr;
    hr = ReadToken(run);
    if (FAILED(hr)) return hr;
    if (run.token[0] == '=') {
        hr = WriteValueClause(run.parser, level.current.Get(), nullptr, run.token);
        if (FAILED(hr)) return hr;
    }
    return FinishRegisterEntry(run, level, true);
}

// ForceRemove and Delete remove the named key with its subtree (a failure to do
// so is no error); ForceRemove then creates it afresh, Delete does not.
HRESULT RegisterRemovalEntry(const BlockRun& run, BlockLevel& level, bool recreate)
{
    HRESULT hr = ReadToken(run);
    if (FAILED(hr)) return hr;
    if (!IsSingleKeyName(run.token)) return DISP_E_EXCEPTION;
    if (IsRemovableKeyName(run.token)) RemoveKeyTree(level.parent, run.token);
    if (recreate) return S_OK;
    hr = ReadTokenSkippingClause(run);
    if (FAILED(hr)) return hr;
    return FinishRegisterEntry(run, level, false);
}

HRESULT RegisterEntry(const BlockRun& run, BlockLevel& level)
{
    const bool forceRemove = IsKeyword(run.token, kKeywordForceRemove);
    if (forceRemove || IsKeyword(run.token, kKeywordDelete)) {
        const HRESULT hr = RegisterRemovalEntry(run, level, forceRemove);
        if (FAILED(hr) || !forceRemove) return hr;
    }
    const HRESULT hr = ApplyNoRemove(run, level);
    if (FAILED(hr)) return hr;
    if (IsKeyword(run.token, kKeywordVal)) return RegisterValueEntry(run, level);
    return RegisterKeyEntry(run, level);
}

// ---- Unregister pass ----

HRESULT UnregisterValueEntry(const BlockRun& run, BlockLevel& level)
{
    char name[kNameBufferSize];
    const HRESULT hr = ReadValueEntryName(run, name);
    if (FAILED(hr)) return hr;
    if (!level.passive) RegDeleteValueA(level.parent, name);
    // The "=" is already in the token: the clause starts there.
    return SkipValueClause(run.parser, run.token);
}

// A key entry whose key did not open: its clause and block are read, nothing
// beneath it is touched.
HRESULT SkipPassiveKeyEntry(const BlockRun& run, BlockLevel& level)
{
    const HRESULT hr = ReadTokenSkippingClause(run);
    if (FAILED(hr) || run.token[0] != '{') return hr;
    return SkipBlockPassively(run, level);
}

// Deletes the entry's key once nothing the script can name is left in it; the
// key stays when NoRemove applies, or when subkeys the script does not name
// remain (other software may have put them there).
HRESULT UnregisterKeyEntry(const BlockRun& run, BlockLevel& level)
{
    if (!IsSingleKeyName(run.token)) return DISP_E_EXCEPTION;
    // A name that does not fit the copy is left alone: a cut name could name
    // another key.
    const bool fits = lstrlenA(run.token) < static_cast<int>(kKeyNameBufferSize);
    if (level.passive || !fits || level.current.Open(level.parent, run.token, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
        return SkipPassiveKeyEntry(run, level);
    }
    char name[kKeyNameBufferSize];
    lstrcpynA(name, run.token, kKeyNameBufferSize);

    HRESULT hr = S_OK;
    const bool heldContent = KeyHasSubkeys(level.current.Get()) || KeyHoldsValues(level.current.Get());
    bool tokenIsNext = false;
    if (heldContent) {
        hr = ReadTokenSkippingClause(run);
        if (FAILED(hr)) return hr;
        const bool block = run.token[0] == '{';
        if (block) {
            hr = InterpretLevel(run, level.current.Get(), FALSE, level.depth + 1);
            if (FAILED(hr)) return hr;
        }
        if (KeyHasSubkeys(level.current.Get())) return block ? ReadToken(run) : S_OK;
        tokenIsNext = !block;
    }

    if (level.current.Close() != ERROR_SUCCESS) return DISP_E_EXCEPTION;
    if (level.removable) RegDeleteKeyA(level.parent, name);
    if (tokenIsNext) return S_OK;
    hr = ReadTokenSkippingClause(run);
    if (FAILED(hr)) return hr;
    // A block for a key that held nothing it could name: the key is gone already.
    if (!heldContent && run.token[0] == '{') return SkipBlockPassively(run, level);
    return S_OK;
}

HRESULT UnregisterEntry(const BlockRun& run, BlockLevel& level)
{
    // ForceRemove X and Delete X are the plain key entry X in this pass.
    if (IsKeyword(run.token, kKeywordForceRemove) || IsKeyword(run.token, kKeywordDelete)) {
        const HRESULT hr = ReadToken(run);
        if (FAILED(hr)) return hr;
    }
    const HRESULT hr = ApplyNoRemove(run, level);
    if (FAILED(hr)) return hr;
    if (IsKeyword(run.token, kKeywordVal)) return UnregisterValueEntry(run, level);
    return UnregisterKeyEntry(run, level);
}

// Reads entries up to and past the closing brace; each entry leaves the token
// that follows it in the shared buffer.
HRESULT InterpretLevel(const BlockRun& run, HKEY parent, BOOL passive, int depth)
{
    if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    BlockLevel level{parent, {}, true, passive, depth};
    HRESULT hr = ReadToken(run);
    while (SUCCEEDED(hr) && run.token[0] != '}') {
        hr = run.registerPass ? RegisterEntry(run, level) : UnregisterEntry(run, level);
    }
    return hr;
}

}  // namespace

HRESULT InterpretBlock(ScriptParser* parser, HKEY parent, BOOL registerPass, BOOL passive)
{
    char token[kTokenBufferSize];
    const BlockRun run{parser, token, registerPass};
    // The register pass has no passive mode.
    return InterpretLevel(run, parent, registerPass ? FALSE : passive, 1);
}
