#include "server/ClassFactory.h"
#include "server/InterfaceMap.h"
#include "server/ModuleObject.h"
#include "common/SectionLock.h"
#include "server/ServerModule.h"

ClassFactory::ClassFactory(CreatorFunction creator) : refCount(0), instanceCreator(creator)
{
    InitializeCriticalSection(&baseLock);
    InitializeCriticalSection(&refLock);
}

ClassFactory::~ClassFactory()
{
    DeleteCriticalSection(&refLock);
    DeleteCriticalSection(&baseLock);
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** out)
{
    return FindInterface(this, kClassFactoryInterfaceMap, iid, out);
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef()
{
    SectionLock lock(&refLock);
    const LONG count = InterlockedIncrement(&refCount);
    if (count == 2) InterlockedIncrement(&g_serverModule.lockCount);
    return static_cast<ULONG>(count);
}

ULONG STDMETHODCALLTYPE ClassFactory::Release()
{
    const LONG count = DecrementCount();
    if (count == 0) {
        DestroyModuleObject(this);
    } else if (count == 1) {
        InterlockedDecrement(&g_serverModule.lockCount);
    }
    return static_cast<ULONG>(count);
}

LONG ClassFactory::DecrementCount()
{
    SectionLock lock(&refLock);
    return InterlockedDecrement(&refCount);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    // An outer object may only ask for the inner unknown, which it must keep.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return instanceCreator(outer, iid, out);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        InterlockedIncrement(&g_serverModule.lockCount);
    } else {
        InterlockedDecrement(&g_serverModule.lockCount);
    }
    return S_OK;
}

HRESULT WINAPI CreateClassFactory(void* context, REFIID iid, void** out)
{
    return CreateModuleObject<ClassFactory>(iid, out, reinterpret_cast<CreatorFunction>(context));
}
