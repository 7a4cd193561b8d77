#include "component/TypeInfoHolder.h"
#include <oleauto.h>
#include "common/InterfaceHolder.h"
#include "common/SectionLock.h"
#include "server/ServerModule.h"
#include "vesker.h"

TypeInfoHolder g_typeInfoHolder = {&IID_IUnLha, &LIBID_VESKERLib, 1, 0, nullptr, 0};

void TypeInfoHolder::AddReference()
{
    SectionLock lock(&g_serverModule.typeInfoLock);
    ++referenceCount;
}

void TypeInfoHolder::ReleaseReference()
{
    SectionLock lock(&g_serverModule.typeInfoLock);
    if (--referenceCount != 0) return;
    if (typeInfo) typeInfo->Release();
    typeInfo = nullptr;
}

HRESULT TypeInfoHolder::LoadTypeInfo(LCID locale)
{
    InterfaceHolder<ITypeLib> library;
    const HRESULT hr = LoadRegTypeLib(*libraryId, majorVersion, minorVersion, locale, library.put());
    if (FAILED(hr)) return hr;
    ITypeInfo* loaded = nullptr;
    const HRESULT found = library->GetTypeInfoOfGuid(*interfaceId, &loaded);
    if (SUCCEEDED(found)) typeInfo = loaded;
    return found;
}

HRESULT TypeInfoHolder::AcquireTypeInfo(LCID locale, ITypeInfo** out)
{
    *out = nullptr;
    SectionLock lock(&g_serverModule.typeInfoLock);
    HRESULT hr = S_OK;
    if (!typeInfo) hr = LoadTypeInfo(locale);
    // A load that reports success without type information still failed.
    if (!typeInfo) return FAILED(hr) ? hr : E_FAIL;
    typeInfo->AddRef();
    *out = typeInfo;
    return S_OK;
}

HRESULT TypeInfoHolder::GetTypeInfo(UINT, LCID locale, ITypeInfo** out)
{
    // Every index names the one interface: the index is not examined.
    if (!out) return E_POINTER;
    return AcquireTypeInfo(locale, out);
}

HRESULT TypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids)
{
    InterfaceHolder<ITypeInfo> info;
    const HRESULT hr = AcquireTypeInfo(locale, info.put());
    if (!info) return hr;
    return info->GetIDsOfNames(names, nameCount, ids);
}

HRESULT TypeInfoHolder::Invoke(IDispatch* instance, DISPID member, REFIID, LCID locale, WORD flags,
                               DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                               UINT* argumentError)
{
    // An error object left by an earlier call must not be taken for this one's.
    SetErrorInfo(0, nullptr);
    InterfaceHolder<ITypeInfo> info;
    const HRESULT hr = AcquireTypeInfo(locale, info.put());
    if (!info) return hr;
    return info->Invoke(instance, member, flags, parameters, result, exception, argumentError);
}
