#include "server/AggregatedObject.h"
#include "server/InterfaceMap.h"
#include "server/ModuleObject.h"
#include "server/ServerModule.h"

ContainedObject::ContainedObject(IUnknown* outer)
{
    // No reference: the outer object owns this one, not the other way round.
    outerUnknown = outer;
}

HRESULT STDMETHODCALLTYPE ContainedObject::QueryInterface(REFIID iid, void** out)
{
    return outerUnknown->QueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE ContainedObject::AddRef()
{
    return outerUnknown->AddRef();
}

ULONG STDMETHODCALLTYPE ContainedObject::Release()
{
    return outerUnknown->Release();
}

AggregatedObject::AggregatedObject(IUnknown* outer) : refCount(0), contained(outer)
{
    InterlockedIncrement(&g_serverModule.lockCount);
}

AggregatedObject::~AggregatedObject()
{
    InterlockedDecrement(&g_serverModule.lockCount);
}

HRESULT STDMETHODCALLTYPE AggregatedObject::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        AddRef();
        *out = static_cast<IUnknown*>(this);
        return S_OK;
    }
    return FindInterface(&contained, kUnLhaInterfaceMap, iid, out);
}

ULONG STDMETHODCALLTYPE AggregatedObject::AddRef()
{
    return static_cast<ULONG>(++refCount);
}

ULONG STDMETHODCALLTYPE AggregatedObject::Release()
{
    const LONG count = --refCount;
    if (count == 0) DestroyModuleObject(this);
    return static_cast<ULONG>(count);
}

HRESULT CreateAggregatedObject(IUnknown* outer, REFIID iid, void** out)
{
    return CreateModuleObject<AggregatedObject>(iid, out, outer);
}
