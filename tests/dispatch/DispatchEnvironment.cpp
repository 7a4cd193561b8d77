#include "dispatch/DispatchEnvironment.h"

#include "stand-in/StandInControl.h"

#include <string>

namespace {

std::unique_ptr<LoadCounter> g_loadCounter;

}  // namespace

void DispatchEnvironment::SetUp()
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_NE(VeskerModule(), nullptr) << "vesker.DLL did not load";
    classesRoot_ = std::make_unique<PrivateClassesRoot>();
    ASSERT_EQ(RegisterVeskerTypeLib(), S_OK);
    g_loadCounter = std::make_unique<LoadCounter>(VeskerModule());
    ASSERT_TRUE(g_loadCounter->Installed()) << "vesker.DLL does not import LoadRegTypeLib by name";
}

void DispatchEnvironment::TearDown()
{
    g_loadCounter.reset();
    UnregisterVeskerTypeLib();
    classesRoot_.reset();
    CoUninitialize();
}

LoadCounter& DispatchEnvironment::Loads() { return *g_loadCounter; }

HRESULT InvokeMember(IDispatch* object, DISPID member, WORD flags, VARIANT* argument, VARIANT* result, LCID locale)
{
    DISPID putArgument = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS parameters = {argument, put ? &putArgument : nullptr, argument ? 1u : 0u, put ? 1u : 0u};
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, locale, flags, &parameters, result, &exception,
                                      &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

std::string LastArchiverCommandLine()
{
    std::string bytes(StandInLastCommandLine(nullptr, 0), '\0');
    if (!bytes.empty()) StandInLastCommandLine(&bytes[0], DWORD(bytes.size()));
    return bytes;
}

static testing::Environment* const g_dispatchEnvironment =
    testing::AddGlobalTestEnvironment(new DispatchEnvironment);
