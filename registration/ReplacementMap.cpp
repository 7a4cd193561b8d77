#include "registration/ReplacementMap.h"
#include "common/AnsiCopy.h"
#include "common/PlatformOwners.h"
#include "common/ModuleHeap.h"

#include <objbase.h>

namespace {

WCHAR* CopyToTaskMemory(const WCHAR* text)
{
    if (!text) text = L"";
    const size_t bytes = (static_cast<size_t>(lstrlenW(text)) + 1) * sizeof(WCHAR);
    WCHAR* copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

void FreeEntry(ReplacementEntry* entry)
{
    CoTaskMemFree(entry->value);
    CoTaskMemFree(entry->name);
    ModuleFree(entry);
}

} // namespace

ReplacementMap::ReplacementMap()
    : entries(static_cast<ReplacementEntry**>(ModuleAlloc(kInitialReplacementSlots * sizeof(ReplacementEntry*)))),
      count(0),
      capacity(entries ? kInitialReplacementSlots : 0)
{
}

ReplacementMap::~ReplacementMap()
{
    ClearEntries();
    ModuleFree(entries);
}

// Grows the slot array before anything else is allocated, so that a failure
// leaves the map whole: the old array stays valid until the larger one exists.
HRESULT ReplacementMap::EnsureFreeSlot()
{
    if (entries && count < capacity) return S_OK;
    const LONG grown = capacity ? capacity * 2 : kInitialReplacementSlots;
    if (grown <= capacity) return E_OUTOFMEMORY;
    void* array = ModuleRealloc(entries, static_cast<size_t>(grown) * sizeof(ReplacementEntry*));
    if (!array) return E_OUTOFMEMORY;
    entries = static_cast<ReplacementEntry**>(array);
    capacity = grown;
    return S_OK;
}

HRESULT ReplacementMap::AddEntry(const WCHAR* name, const WCHAR* value)
{
    HRESULT hr = EnsureFreeSlot();
    if (FAILED(hr)) return hr;
    UniqueTaskMemory<WCHAR> nameCopy(CopyToTaskMemory(name));
    UniqueTaskMemory<WCHAR> valueCopy(CopyToTaskMemory(value));
    if (!nameCopy || !valueCopy) return E_OUTOFMEMORY;
    ReplacementEntry* entry = static_cast<ReplacementEntry*>(ModuleAlloc(sizeof(ReplacementEntry)));
    if (!entry) return E_OUTOFMEMORY;
    entry->name = nameCopy.release();
    entry->value = valueCopy.release();
    entries[count++] = entry;
    return S_OK;
}

const WCHAR* ReplacementMap::FindEntry(const char* name) const
{
    for (LONG i = 0; i < count; ++i) {
        AnsiCopy entryName;
        if (FAILED(entryName.Assign(const_cast<WCHAR*>(entries[i]->name), CP_ACP))) continue;
        if (lstrcmpiA(entryName.Text(), name) == 0) return entries[i]->value;
    }
    return nullptr;
}

void ReplacementMap::ClearEntries()
{
    for (LONG i = 0; i < count; ++i) FreeEntry(entries[i]);
    count = 0;
}
