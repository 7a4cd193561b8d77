// The process-wide module record and the entry points that work on it.
#pragma once
#include <windows.h>
#include "server/ObjectMap.h"

struct ServerModule {
    ULONG size;
    HINSTANCE moduleInstance;
    HINSTANCE resourceInstance;
    HINSTANCE typeLibInstance;
    ObjectMapEntry* objectMap;
    volatile LONG lockCount;
    HANDLE heap;
    CRITICAL_SECTION typeInfoLock;
    CRITICAL_SECTION reservedLock;
    CRITICAL_SECTION objectMapLock;
};

// The declared size the attach routine gives the record; ModuleStartup refuses less.
constexpr ULONG kServerModuleSize = 100;

// The one module record, constant-initialised (all zero until attach).
extern ServerModule g_serverModule;

HRESULT ModuleStartup(ServerModule* module, ObjectMapEntry* objectMap, HINSTANCE instance);
HRESULT ModuleShutdown(ServerModule* module);
HRESULT LookupClassObject(ServerModule* module, REFCLSID classId, REFIID iid, void** out);

// S_OK when nothing holds the module loaded (lockCount 0), S_FALSE otherwise.
HRESULT ModuleCanUnloadNow(const ServerModule* module);

// The loader's attach/detach routine for the global record; always TRUE.
// Process attach starts the record; a detach by FreeLibrary (reserved null)
// shuts it down; a detach while the process ends leaves it as it is.
BOOL ModuleAttachDetach(HINSTANCE instance, DWORD reason, void* reserved);
