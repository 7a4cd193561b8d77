// The module as a client meets it: vesker.DLL loaded afresh for every test.
#include "ComTestSupport.h"
#include "ServerUnderTest.h"

namespace {

HMODULE g_module;

template <typename Function>
Function Export(const char* name)
{
    return reinterpret_cast<Function>(GetProcAddress(g_module, name));
}

class ComEnvironment : public testing::Environment {
public:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ComEnvironment);

} // namespace

void ServerUnderTest::Start()
{
    ASSERT_EQ(GetModuleHandleA("vesker.DLL"), nullptr) << "an earlier test left the module loaded";
    g_module = LoadLibraryA("vesker.DLL");
    ASSERT_NE(g_module, nullptr);
}

void ServerUnderTest::Stop()
{
    if (g_module) FreeLibrary(g_module);
    g_module = nullptr;
    EXPECT_EQ(GetModuleHandleA("vesker.DLL"), nullptr);
}

HRESULT ServerUnderTest::GetClassObject(REFCLSID classId, REFIID iid, void** out)
{
    return Export<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(classId, iid, out);
}

HRESULT ServerUnderTest::CanUnloadNow()
{
    return Export<HRESULT(WINAPI*)()>("DllCanUnloadNow")();
}
