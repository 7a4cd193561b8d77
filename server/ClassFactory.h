// The class object that DllGetClassObject hands out.
#pragma once
#include <windows.h>
#include <unknwn.h>
#include "server/ObjectMap.h"

// Shared by every client of the process, so its count is locked: the steps
// 1 -> 2 and 2 -> 1 move the module's lockCount, and one thread at a time
// decides them. The reference the object map keeps does not hold the module.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreatorFunction creator);
    ~ClassFactory();
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    // The new count, read under refLock.
    LONG DecrementCount();

    volatile LONG refCount;
    CRITICAL_SECTION baseLock;
    CreatorFunction instanceCreator;
    CRITICAL_SECTION refLock;
};

// The UnLha row's class object creator; `context` is the row's instance creator.
HRESULT WINAPI CreateClassFactory(void* context, REFIID iid, void** out);
