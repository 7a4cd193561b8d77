// An UnLha object that stands alone: it counts its own references.
#pragma once
#include <windows.h>
#include "component/UnLhaObject.h"

// Holds one unit of the module's lockCount from construction to destruction.
class StandaloneObject final : public UnLhaObject {
public:
    StandaloneObject();
    ~StandaloneObject();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
};

HRESULT CreateStandaloneObject(REFIID iid, void** out);
