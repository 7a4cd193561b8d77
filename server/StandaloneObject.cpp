#include "server/StandaloneObject.h"
#include "server/InterfaceMap.h"
#include "server/ModuleObject.h"
#include "server/ServerModule.h"

StandaloneObject::StandaloneObject()
{
    InterlockedIncrement(&g_serverModule.lockCount);
}

StandaloneObject::~StandaloneObject()
{
    InterlockedDecrement(&g_serverModule.lockCount);
}

HRESULT STDMETHODCALLTYPE StandaloneObject::QueryInterface(REFIID iid, void** out)
{
    return FindInterface(this, kUnLhaInterfaceMap, iid, out);
}

ULONG STDMETHODCALLTYPE StandaloneObject::AddRef()
{
    return static_cast<ULONG>(++refCount);
}

ULONG STDMETHODCALLTYPE StandaloneObject::Release()
{
    const LONG count = --refCount;
    if (count == 0) DestroyModuleObject(this);
    return static_cast<ULONG>(count);
}

HRESULT CreateStandaloneObject(REFIID iid, void** out)
{
    return CreateModuleObject<StandaloneObject>(iid, out);
}
