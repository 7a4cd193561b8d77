// The registration driver: loads a script resource, replaces its markers and
// runs its root blocks in the register or the unregister pass.
#pragma once
#include <windows.h>

struct ReplacementMap;
struct ScriptParser;
struct ServerModule;

// One extra marker for ApplyRegistrationScript; a list of them ends with a
// pair whose name is null.
struct ReplacementPair {
    const WCHAR* name;
    const WCHAR* value;
};

// The resource type that holds registration scripts.
constexpr const WCHAR* kScriptResourceType = L"REGISTRY";

// The marker that stands for the module's own path.
constexpr const WCHAR* kModuleMarkerName = L"Module";

// Longest marker name, in bytes, between its two percent signs.
constexpr size_t kLongestMarkerName = 31;

// Copies `text` with every %name% replaced by its entry of the parser's map
// and %% by one percent sign. On success *expanded is the new text (free it
// with CoTaskMemFree); otherwise it is null.
HRESULT ExpandScript(ScriptParser* parser, const char* text, char** expanded);

// Expands `text` and runs each of its root blocks. A register pass that fails
// inside a block runs the unregister pass over that block before it returns.
HRESULT RunScript(ScriptParser* parser, const char* text, BOOL registerPass);

// Runs the script held as resource `resourceId` of type `resourceType` in the
// file `path`, with the markers of `map`.
HRESULT RunResourceScript(ReplacementMap* map, const WCHAR* path, UINT resourceId,
                          const WCHAR* resourceType, BOOL registerPass);

// Runs script resource `resourceId` of the module's own file, with %MODULE%
// standing for that file's path and any `extras` (null for none).
HRESULT ApplyRegistrationScript(ServerModule* module, UINT resourceId, BOOL registerPass,
                                const ReplacementPair* extras);
