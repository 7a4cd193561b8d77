#include "server/ServerModule.h"
#include "common/ModuleHeap.h"
#include "common/SectionLock.h"

ServerModule g_serverModule;

HANDLE* ModuleHeapSlot()
{
    return &g_serverModule.heap;
}

HRESULT ModuleStartup(ServerModule* module, ObjectMapEntry* objectMap, HINSTANCE instance)
{
    if (!module || module->size < kServerModuleSize) return E_INVALIDARG;
    module->lockCount = 0;
    module->heap = nullptr;
    module->objectMap = objectMap;
    module->moduleInstance = instance;
    module->resourceInstance = instance;
    module->typeLibInstance = instance;
    InitializeCriticalSection(&module->typeInfoLock);
    InitializeCriticalSection(&module->reservedLock);
    InitializeCriticalSection(&module->objectMapLock);
    return S_OK;
}

HRESULT ModuleShutdown(ServerModule* module)
{
    if (!module) return E_INVALIDARG;
    for (ObjectMapEntry* row = module->objectMap; row && row->classId; ++row) {
        if (row->classObject) row->classObject->Release();
        row->classObject = nullptr;
    }
    DeleteCriticalSection(&module->typeInfoLock);
    DeleteCriticalSection(&module->reservedLock);
    DeleteCriticalSection(&module->objectMapLock);
    // Every block still allocated goes with the heap.
    if (module->heap) HeapDestroy(module->heap);
    module->heap = nullptr;
    return S_OK;
}

namespace {

// Another thread may publish the row's class object at any moment; read it afresh.
IUnknown* CachedClassObject(const ObjectMapEntry* row)
{
    return *static_cast<IUnknown* const volatile*>(&row->classObject);
}

// Creates the row's class object once, however many threads ask at the same time.
HRESULT EnsureClassObject(ServerModule* module, ObjectMapEntry* row)
{
    if (CachedClassObject(row)) return S_OK;
    SectionLock lock(&module->objectMapLock);
    if (row->classObject) return S_OK;
    return row->classObjectCreator(reinterpret_cast<void*>(row->instanceCreator), IID_IUnknown,
                                   reinterpret_cast<void**>(&row->classObject));
}

ObjectMapEntry* FindClassRow(ObjectMapEntry* objectMap, REFCLSID classId)
{
    for (ObjectMapEntry* row = objectMap; row && row->classId; ++row) {
        if (IsEqualCLSID(*row->classId, classId)) return row;
    }
    return nullptr;
}

} // namespace

HRESULT LookupClassObject(ServerModule* module, REFCLSID classId, REFIID iid, void** out)
{
    if (!module) return E_INVALIDARG;
    if (!out) return E_POINTER;
    *out = nullptr;
    ObjectMapEntry* row = FindClassRow(module->objectMap, classId);
    if (!row) return CLASS_E_CLASSNOTAVAILABLE;
    HRESULT hr = EnsureClassObject(module, row);
    IUnknown* classObject = CachedClassObject(row);
    if (classObject) hr = classObject->QueryInterface(iid, out);
    if (!*out && hr == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

HRESULT ModuleCanUnloadNow(const ServerModule* module)
{
    return module->lockCount == 0 ? S_OK : S_FALSE;
}

BOOL ModuleAttachDetach(HINSTANCE instance, DWORD reason, void* reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_serverModule.size = kServerModuleSize;
        ModuleStartup(&g_serverModule, g_objectMap, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Only a FreeLibrary detach cleans up. While the process ends (reserved
        // non-null) other threads may have died holding our locks, and the
        // process's memory goes anyway.
        ModuleShutdown(&g_serverModule);
    }
    return TRUE;
}
