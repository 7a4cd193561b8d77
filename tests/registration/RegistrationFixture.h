// The test modules built beside the registration tests, their type library,
// and module records that point at them.
#pragma once
#include "RegistrationFixtureIds.h"
#include "RegistrationTestSupport.h"
#include "server/ServerModule.h"

#include <oleauto.h>

#include <string>

// The test modules' own type library, never the component's.
const GUID kFixtureLibraryId = {0xFBD7B33C, 0xD4C3, 0x4F43, {0x97, 0xCC, 0x74, 0x0E, 0xBD, 0xB6, 0x0D, 0x11}};
const char kFixtureVersionKey[] = "TypeLib\\{FBD7B33C-D4C3-4F43-97CC-740EBDB60D11}\\1.0";

inline std::wstring FixtureWithTypeLib()
{
    return BinFolder() + L"registration_fixture.dll";
}

inline std::wstring FixtureScriptOnly()
{
    return BinFolder() + L"registration_fixture_script_only.dll";
}

inline std::wstring FixtureTypeLibFile()
{
    return BinFolder() + L"registration_fixture.tlb";
}

inline bool FixtureTypeLibRegistered()
{
    return KeyExists(HKEY_CLASSES_ROOT, kFixtureVersionKey);
}

inline void UnregisterFixtureTypeLib()
{
    UnRegisterTypeLib(kFixtureLibraryId, 1, 0, 0, SYS_WIN32);
    DeleteTree(HKEY_CLASSES_ROOT, kFixtureVersionKey);
}

// A module record whose module and type library are `module`.
inline ServerModule RecordFor(HMODULE module, ObjectMapEntry* objectMap = nullptr)
{
    ServerModule record = {};
    record.size = kServerModuleSize;
    record.moduleInstance = module;
    record.resourceInstance = module;
    record.typeLibInstance = module;
    record.objectMap = objectMap;
    return record;
}
