// The UnLha class: runs archiver command lines and keeps what comes back.
#pragma once
#include <windows.h>
#include "vesker.h"

// The object's own members. Reference counting and interface lookup come from
// the wrapper that holds it (a standalone object, or the object contained in
// an aggregate), so this base leaves QueryInterface, AddRef and Release open.
// Layout, which the type library relies on: interface table, the wrapper's
// slot, hwnd, errorCode, resultString. Used from one thread at a time.
class UnLhaObject : public IUnLha {
public:
    UnLhaObject(const UnLhaObject&) = delete;
    UnLhaObject& operator=(const UnLhaObject&) = delete;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    HRESULT STDMETHODCALLTYPE DoIt(BSTR cmdline) override;
    HRESULT STDMETHODCALLTYPE get_hwnd(UINT* value) override;
    HRESULT STDMETHODCALLTYPE put_hwnd(UINT value) override;
    HRESULT STDMETHODCALLTYPE get_ErrorCode(LONG* value) override;
    HRESULT STDMETHODCALLTYPE get_ResultString(BSTR* value) override;

protected:
    UnLhaObject();
    ~UnLhaObject();

    // The wrapper's slot: its reference count when the object stands alone,
    // the outer unknown (held without a reference) when it is contained.
    union {
        LONG refCount;
        IUnknown* outerUnknown;
    };

private:
    UINT hwnd;
    LONG errorCode;
    BSTR resultString;
};
