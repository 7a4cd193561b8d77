// The table-driven QueryInterface shared by the class object and the object wrappers.
#pragma once
#include <windows.h>

// A function row's answer: called with the object start, the asked IID, the
// out pointer and the row's value.
using InterfaceFunction = HRESULT (WINAPI*)(void* object, REFIID iid, void** out, DWORD value);

struct InterfaceMapEntry {
    const IID* iid;             // null: the row answers any interface
    DWORD value;                // simple row: offset of the interface table in the object
    InterfaceFunction function; // SIMPLE_INTERFACE_ROW, a function, or null to end the map
};

// The function value that marks a simple row.
#define SIMPLE_INTERFACE_ROW (reinterpret_cast<InterfaceFunction>(1))

// Hands out the interface `iid` of `object` from `map`, with one reference
// added. The first row must be simple: IID_IUnknown is always answered from it.
HRESULT FindInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** out);

// UnLha objects: one interface table serves IUnknown, IDispatch and IUnLha.
extern const InterfaceMapEntry kUnLhaInterfaceMap[];
// The class object: IUnknown and IClassFactory.
extern const InterfaceMapEntry kClassFactoryInterfaceMap[];
