// The IUnLha type information, loaded from the registered type library on the
// first dispatch call and shared by every object of the module.
#pragma once
#include <windows.h>
#include <oaidl.h>

// Constant-initialised; its state is read and written only under the module's
// typeInfoLock. Live objects count in referenceCount; when the last one goes,
// the cached type information goes with it.
struct TypeInfoHolder {
    const IID* interfaceId;
    const GUID* libraryId;
    WORD majorVersion;
    WORD minorVersion;
    ITypeInfo* typeInfo;
    LONG referenceCount;

    void AddReference();
    void ReleaseReference();

    // The cached type information with a reference of the caller's own,
    // loading it first when nothing is cached. A failed load caches nothing
    // and leaves *out null.
    HRESULT AcquireTypeInfo(LCID locale, ITypeInfo** out);

    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** out);
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids);
    HRESULT Invoke(IDispatch* instance, DISPID member, REFIID iid, LCID locale, WORD flags,
                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);

private:
    // Loads the type library by id and version and keeps the interface's type
    // information from it; the library itself is released at once.
    HRESULT LoadTypeInfo(LCID locale);
};

// The one holder of the module: IUnLha of VESKERLib 1.0.
extern TypeInfoHolder g_typeInfoHolder;
