// An UnLha object as part of an outer object that controls its identity.
#pragma once
#include <windows.h>
#include "component/UnLhaObject.h"

// The UnLha object inside an aggregate: its IUnknown members go to the outer
// object, so every interface it hands out shares the outer identity and count.
class ContainedObject final : public UnLhaObject {
public:
    explicit ContainedObject(IUnknown* outer);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
};

// The inner unknown that the outer object keeps: it alone counts the
// aggregate's life, and it holds one unit of the module's lockCount from
// construction to destruction.
class AggregatedObject final : public IUnknown {
public:
    explicit AggregatedObject(IUnknown* outer);
    ~AggregatedObject();
    AggregatedObject(const AggregatedObject&) = delete;
    AggregatedObject& operator=(const AggregatedObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    LONG refCount;
    ContainedObject contained;
};

HRESULT CreateAggregatedObject(IUnknown* outer, REFIID iid, void** out);
