#include "component/UnLhaObject.h"
#include "common/AnsiCopy.h"
#include "component/ArchiverEntry.h"
#include "component/ResultStringBuilder.h"
#include "component/TypeInfoHolder.h"
#include "common/ModuleHeap.h"

UnLhaObject::UnLhaObject() : refCount(0), hwnd(0), errorCode(0), resultString(nullptr)
{
    g_typeInfoHolder.AddReference();
}

UnLhaObject::~UnLhaObject()
{
    SysFreeString(resultString);
    g_typeInfoHolder.ReleaseReference();
}

HRESULT STDMETHODCALLTYPE UnLhaObject::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UnLhaObject::GetTypeInfo(UINT index, LCID locale, ITypeInfo** out)
{
    return g_typeInfoHolder.GetTypeInfo(index, locale, out);
}

HRESULT STDMETHODCALLTYPE UnLhaObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale,
                                                     DISPID* ids)
{
    return g_typeInfoHolder.GetIDsOfNames(iid, names, nameCount, locale, ids);
}

HRESULT STDMETHODCALLTYPE UnLhaObject::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                              DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                              UINT* argumentError)
{
    return g_typeInfoHolder.Invoke(this, member, iid, locale, flags, parameters, result, exception,
                                   argumentError);
}

HRESULT STDMETHODCALLTYPE UnLhaObject::DoIt(BSTR cmdline)
{
    AnsiCopy command;
    HRESULT hr = command.Assign(cmdline, GetACP());
    if (FAILED(hr)) return hr;
    UniqueModuleBlock<char> area(static_cast<char*>(ModuleAlloc(kOutputAreaSize)));
    char* output = area.get();
    if (!output) return E_OUTOFMEMORY;

    // While the library runs, a caller it calls back sees no result text and
    // the previous return value.
    SysFreeString(resultString);
    resultString = nullptr;
    output[0] = 0;
    errorCode = Unlha(reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd)), command.Text(), output,
                      kOutputAreaSize);

    BSTR text = nullptr;
    hr = BuildResultString(output, kOutputAreaSize, &text);
    // A call back into this object while the library ran may have left text.
    SysFreeString(resultString);
    resultString = text;
    return hr;
}

HRESULT STDMETHODCALLTYPE UnLhaObject::get_hwnd(UINT* value)
{
    if (!value) return E_POINTER;
    *value = hwnd;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UnLhaObject::put_hwnd(UINT value)
{
    hwnd = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UnLhaObject::get_ErrorCode(LONG* value)
{
    if (!value) return E_POINTER;
    *value = errorCode;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UnLhaObject::get_ResultString(BSTR* value)
{
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!resultString) return S_OK;
    *value = SysAllocStringLen(resultString, SysStringLen(resultString));
    return *value ? S_OK : E_OUTOFMEMORY;
}
