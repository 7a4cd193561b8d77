// The static table of creatable classes: one row for UnLha and an all-zero end row.
#pragma once
#include <windows.h>
#include <unknwn.h>

struct ServerModule;

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

extern ObjectMapEntry g_objectMap[];

// Flag 1 registers the UnLha class, 0 unregisters it.
HRESULT WINAPI UpdateUnLhaRegistry(BOOL registerClass);

// Registers the type library that describes the map's classes: the one the
// module's file carries (see TypeLibRegistration).
HRESULT RegisterObjectMapTypeLib(ServerModule* module);

// The row's instance creator: a standalone object without an outer unknown,
// an aggregated one with it.
HRESULT WINAPI CreateUnLhaInstance(void* outerUnknown, REFIID iid, void** out);
