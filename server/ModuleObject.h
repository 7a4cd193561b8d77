// Building and tearing down the module's objects in the module heap.
#pragma once
#include <windows.h>
#include <new>
#include "common/ModuleHeap.h"

// Tears `object` down and gives its storage back to the module heap.
template <typename Object>
void DestroyModuleObject(Object* object)
{
    object->~Object();
    ModuleFree(object);
}

// Builds an `Object` from `arguments` in the module heap and hands out its
// interface `iid`. When that fails the object is torn down again, so a
// failed creation leaves nothing behind.
template <typename Object, typename... Arguments>
HRESULT CreateModuleObject(REFIID iid, void** out, Arguments... arguments)
{
    void* storage = ModuleAlloc(sizeof(Object));
    if (!storage) return E_OUTOFMEMORY;
    Object* object = new (storage) Object(arguments...);
    const HRESULT hr = object->QueryInterface(iid, out);
    if (hr != S_OK) DestroyModuleObject(object);
    return hr;
}
