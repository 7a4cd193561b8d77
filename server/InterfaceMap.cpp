#include "server/InterfaceMap.h"
#include <unknwn.h>
#include "vesker.h"

const InterfaceMapEntry kUnLhaInterfaceMap[] = {
    {&IID_IUnLha, 0, SIMPLE_INTERFACE_ROW},
    {&IID_IDispatch, 0, SIMPLE_INTERFACE_ROW},
    {nullptr, 0, nullptr},
};

const InterfaceMapEntry kClassFactoryInterfaceMap[] = {
    {&IID_IClassFactory, 0, SIMPLE_INTERFACE_ROW},
    {nullptr, 0, nullptr},
};

namespace {

HRESULT HandOut(void* object, DWORD offset, void** out)
{
    IUnknown* unknown = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + offset);
    unknown->AddRef();
    *out = unknown;
    return S_OK;
}

bool RowAnswers(const InterfaceMapEntry& row, REFIID iid)
{
    return !row.iid || IsEqualGUID(*row.iid, iid);
}

} // namespace

HRESULT FindInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) return HandOut(object, map[0].value, out);
    for (const InterfaceMapEntry* row = map; row->function; ++row) {
        if (!RowAnswers(*row, iid)) continue;
        if (row->function == SIMPLE_INTERFACE_ROW) return HandOut(object, row->value, out);
        const HRESULT hr = row->function(object, iid, out, row->value);
        if (hr == S_OK) return hr;
        // A failure of a row that names its interface is the answer; a row
        // for any interface lets the walk go on.
        if (FAILED(hr) && row->iid) return hr;
    }
    return E_NOINTERFACE;
}
