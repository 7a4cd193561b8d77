// How a test program reaches the module under test: linked into the program,
// or loaded from the built vesker.DLL. The client tests run against either.
#pragma once
#include <windows.h>

namespace ServerUnderTest {

// Gives the test a freshly started module, with no class object and nothing
// holding it; Stop lets it go again.
void Start();
void Stop();

HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** out);
HRESULT CanUnloadNow();

} // namespace ServerUnderTest
