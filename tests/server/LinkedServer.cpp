// The module linked into the test program: each test gets it freshly started.
#include "../blackbox/ServerUnderTest.h"
#include "ModuleTestSupport.h"

static testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

void ServerUnderTest::Start()
{
    ModuleShutdown(&g_serverModule);
    ModuleStartup(&g_serverModule, g_objectMap, GetModuleHandleA(nullptr));
}

void ServerUnderTest::Stop() {}

HRESULT ServerUnderTest::GetClassObject(REFCLSID classId, REFIID iid, void** out)
{
    return LookupClassObject(&g_serverModule, classId, iid, out);
}

HRESULT ServerUnderTest::CanUnloadNow()
{
    return ModuleCanUnloadNow(&g_serverModule);
}
