#include "dispatch/LoadCounter.h"

#include <oleauto.h>

#include <cstring>

namespace {

using LoadRegTypeLibFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, ITypeLib**);

volatile LONG g_loads = 0;
volatile LONG g_delay = 0;
LoadRegTypeLibFunction g_original = nullptr;

HRESULT WINAPI CountingLoadRegTypeLib(REFGUID library, WORD major, WORD minor, LCID locale, ITypeLib** out)
{
    InterlockedIncrement(&g_loads);
    if (g_delay) Sleep(DWORD(g_delay));
    return g_original(library, major, minor, locale, out);
}

template <typename T>
T* At(HMODULE module, DWORD offset)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// The import address slot through which the module calls dll!function, found
// by the name in the module's import table.
void** ImportSlot(HMODULE module, const char* dll, const char* function)
{
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    const auto* nt = At<IMAGE_NT_HEADERS32>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); entry->Name; ++entry) {
        if (lstrcmpiA(At<char>(module, entry->Name), dll) != 0 || !entry->OriginalFirstThunk) continue;
        auto* names = At<IMAGE_THUNK_DATA32>(module, entry->OriginalFirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA32>(module, entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            const auto* name = At<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(name->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace

LoadCounter::LoadCounter(HMODULE module)
{
    if (!module) return;
    slot_ = ImportSlot(module, "OLEAUT32.dll", "LoadRegTypeLib");
    if (!slot_) return;
    g_original = reinterpret_cast<LoadRegTypeLibFunction>(*slot_);
    WriteSlot(slot_, reinterpret_cast<void*>(&CountingLoadRegTypeLib));
    Reset();
}

LoadCounter::~LoadCounter()
{
    if (slot_) WriteSlot(slot_, reinterpret_cast<void*>(g_original));
}

LONG LoadCounter::Loads() const { return g_loads; }

void LoadCounter::Reset()
{
    InterlockedExchange(&g_loads, 0);
    InterlockedExchange(&g_delay, 0);
}

void LoadCounter::SetDelay(DWORD milliseconds) { InterlockedExchange(&g_delay, LONG(milliseconds)); }
