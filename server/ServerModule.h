// The process-wide module record and the object map of creatable classes.
#pragma once
#include <windows.h>
#include <unknwn.h>

using RegistryFunction = HRESULT (WINAPI*)(BOOL registerClass);
using CreatorFunction = HRESULT (WINAPI*)(void* context, REFIID iid, void** out);
using DescriptionFunction = const char* (WINAPI*)();

struct ObjectMapEntry {
    const CLSID* classId;
    RegistryFunction registryFunction;
    CreatorFunction classObjectCreator;
    CreatorFunction instanceCreator;
    IUnknown* classObject;
    DWORD registrationCookie;
    DescriptionFunction descriptionFunction;
};

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

// The one module record and the one object map, constant-initialised.
extern ServerModule g_serverModule;
extern ObjectMapEntry g_objectMap[];

HRESULT ModuleStartup(ServerModule* module, ObjectMapEntry* objectMap, HINSTANCE instance);
HRESULT ModuleShutdown(ServerModule* module);
HRESULT LookupClassObject(ServerModule* module, REFCLSID classId, REFIID iid, void** out);
