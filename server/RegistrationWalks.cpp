#include "server/RegistrationWalks.h"
#include "server/ServerModule.h"

namespace {

bool IsRowTaken(const ObjectMapEntry& row, const CLSID* classFilter)
{
    if (classFilter) return memcmp(classFilter, row.classId, sizeof(CLSID)) == 0;
    return !row.descriptionFunction || !row.descriptionFunction();
}

} // namespace

HRESULT RegisterAllClasses(ServerModule* module, BOOL registerTypeLib, const CLSID* classFilter)
{
    if (!module) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* row = module->objectMap; row && row->classId; ++row) {
        if (!IsRowTaken(*row, classFilter)) continue;
        hr = row->registryFunction(TRUE);
        if (FAILED(hr)) return hr;
    }
    if (registerTypeLib) return RegisterObjectMapTypeLib(module);
    return hr;
}

HRESULT UnregisterAllClasses(ServerModule* module, const CLSID* classFilter)
{
    if (!module) return E_INVALIDARG;
    for (ObjectMapEntry* row = module->objectMap; row && row->classId; ++row) {
        if (IsRowTaken(*row, classFilter)) row->registryFunction(FALSE);
    }
    return S_OK;
}
