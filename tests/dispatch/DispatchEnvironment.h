// What every late-bound test of the program shares: one COM apartment on the
// main thread, a private HKEY_CLASSES_ROOT with VESKERLib registered from the
// module file, and the counter of the module's type library loads.
#pragma once
#include "dispatch/LoadCounter.h"
#include "dispatch/VeskerServer.h"

#include <gtest/gtest.h>

#include <oaidl.h>

#include <memory>

class DispatchEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    // The counter of the module's LoadRegTypeLib calls, installed in SetUp.
    static LoadCounter& Loads();

private:
    std::unique_ptr<PrivateClassesRoot> classesRoot_;
};

// One IDispatch::Invoke with at most one argument; a property put passes it
// as the named argument DISPID_PROPERTYPUT, as automation clients do.
HRESULT InvokeMember(IDispatch* object, DISPID member, WORD flags, VARIANT* argument, VARIANT* result,
                     LCID locale = LOCALE_USER_DEFAULT);

// The bytes of the latest command line that reached the stand-in archiver.
std::string LastArchiverCommandLine();
