// The walks behind DllRegisterServer and DllUnregisterServer, over object maps
// of recording rows, with the test modules' own type library.
#include "RegistrationFixture.h"
#include "registration/Registrar.h"
#include "server/RegistrationWalks.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace {

const CLSID kFirstClass = {0x11111111, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1}};
const CLSID kSecondClass = {0x22222222, 0, 0, {2, 2, 2, 2, 2, 2, 2, 2}};
const CLSID kOtherClass = {0x33333333, 0, 0, {3, 3, 3, 3, 3, 3, 3, 3}};
const CLSID kFirstClassButLastByte = {0x11111111, 0, 0, {1, 1, 1, 1, 1, 1, 1, 2}};

// What the rows answer and what they were asked, in call order ("A1" = first
// row asked to register).
HRESULT g_rowResults[2];
std::vector<std::string> g_calls;

HRESULT Record(const char* row, int index, BOOL registerClass)
{
    g_calls.push_back(std::string(row) + (registerClass ? "1" : "0"));
    return g_rowResults[index];
}

HRESULT WINAPI FirstRow(BOOL registerClass) { return Record("A", 0, registerClass); }
HRESULT WINAPI SecondRow(BOOL registerClass) { return Record("B", 1, registerClass); }
const char* WINAPI NoDescription() { return nullptr; }
const char* WINAPI Described() { return "described"; }

// A row whose registration is the real driver over a script id the module lacks.
ServerModule g_scriptModule;
HRESULT WINAPI MissingScriptRow(BOOL registerClass)
{
    g_calls.push_back(registerClass ? "S1" : "S0");
    return ApplyRegistrationScript(&g_scriptModule, 999, registerClass, nullptr);
}

ObjectMapEntry Row(const CLSID* classId, RegistryFunction registry, DescriptionFunction description)
{
    return ObjectMapEntry{classId, registry, nullptr, nullptr, nullptr, 0, description};
}

// The two recording rows and the end row; the rows answer `results`.
struct RecordingMap {
    ObjectMapEntry rows[3];

    RecordingMap(const HRESULT (&results)[2], bool secondDescribed)
        : rows{Row(&kFirstClass, FirstRow, NoDescription),
               Row(&kSecondClass, SecondRow, secondDescribed ? Described : NoDescription),
               {}}
    {
        g_rowResults[0] = results[0];
        g_rowResults[1] = results[1];
        g_calls.clear();
    }
};

class RegistrationWalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnregisterFixtureTypeLib();
        g_calls.clear();
    }
    void TearDown() override { UnregisterFixtureTypeLib(); }

    UniqueLibrary withTypeLib = LoadModule(FixtureWithTypeLib());
};

TEST_F(RegistrationWalkTest, RegisterAllClassesStopsAtTheFirstFailure)
{
    struct RegisterCase {
        const char* name;
        HRESULT results[2];
        bool secondDescribed;
        const CLSID* filter;
        BOOL typeLibFlag;
        HRESULT expected;
        std::vector<std::string> calls;
        bool typeLibRegistered;
    } const cases[] = {
        {"every row succeeds", {S_OK, S_OK}, false, nullptr, TRUE, S_OK, {"A1", "B1"}, true},
        {"first row fails", {E_ACCESSDENIED, S_OK}, false, nullptr, TRUE, E_ACCESSDENIED, {"A1"}, false},
        {"second row fails", {S_OK, DISP_E_EXCEPTION}, false, nullptr, TRUE, DISP_E_EXCEPTION, {"A1", "B1"}, false},
        {"last row's success code without type library", {S_OK, S_FALSE}, false, nullptr, FALSE, S_FALSE,
         {"A1", "B1"}, false},
        {"type library result replaces the rows' success code", {S_OK, S_FALSE}, false, nullptr, TRUE, S_OK,
         {"A1", "B1"}, true},
        {"described row skipped without a filter", {S_OK, E_FAIL}, true, nullptr, FALSE, S_OK, {"A1"}, false},
        {"filter takes its class even when described", {S_OK, S_FALSE}, true, &kSecondClass, FALSE, S_FALSE,
         {"B1"}, false},
        {"filter that matches no row", {E_FAIL, E_FAIL}, false, &kOtherClass, TRUE, S_OK, {}, true},
        {"filter that differs from a class in its last byte", {E_FAIL, E_FAIL}, false, &kFirstClassButLastByte, TRUE,
         S_OK, {}, true},
    };
    for (const RegisterCase& c : cases) {
        SCOPED_TRACE(c.name);
        UnregisterFixtureTypeLib();
        RecordingMap map(c.results, c.secondDescribed);
        ServerModule record = RecordFor(withTypeLib.get(), map.rows);
        EXPECT_EQ(HexResult(c.expected), HexResult(RegisterAllClasses(&record, c.typeLibFlag, c.filter)));
        EXPECT_EQ(c.calls, g_calls);
        EXPECT_EQ(c.typeLibRegistered, FixtureTypeLibRegistered());
    }
}

TEST_F(RegistrationWalkTest, TypeLibraryFailureIsReturnedAfterTheRowsRegistered)
{
    ScratchFolder scratch;
    const std::wstring path = ScratchFolder::CopyInto(FixtureScriptOnly(),
                                                      scratch.Path(), L"x.DLL");
    UniqueLibrary module = LoadModule(path);
    ASSERT_NE(nullptr, module.get());
    g_rowResults[0] = S_OK;
    ObjectMapEntry map[] = {Row(&kFirstClass, FirstRow, NoDescription), {}};
    ServerModule record = RecordFor(module.get(), map);

    ITypeLib* probe = nullptr;
    const HRESULT tlbLoad = LoadTypeLib((scratch.Path() + L"\\x.tlb").c_str(), &probe);
    ASSERT_TRUE(FAILED(tlbLoad));
    EXPECT_EQ(HexResult(tlbLoad), HexResult(RegisterAllClasses(&record, TRUE, nullptr)));
    EXPECT_EQ(std::vector<std::string>{"A1"}, g_calls);
}

TEST_F(RegistrationWalkTest, DriverFailurePassesThroughUnchanged)
{
    g_scriptModule = RecordFor(withTypeLib.get(), nullptr);
    ObjectMapEntry map[] = {Row(&kFirstClass, MissingScriptRow, NoDescription), {}};
    ServerModule record = RecordFor(withTypeLib.get(), map);

    EXPECT_EQ(HexResult(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)),
              HexResult(RegisterAllClasses(&record, TRUE, nullptr)));
    EXPECT_FALSE(FixtureTypeLibRegistered()) << "no type library after a failed script";
    EXPECT_EQ(S_OK, UnregisterAllClasses(&record, nullptr)) << "unregistration ignores the driver's failure";
    EXPECT_EQ((std::vector<std::string>{"S1", "S0"}), g_calls);
}

TEST_F(RegistrationWalkTest, UnregisterAllClassesVisitsEveryRowAndSucceeds)
{
    struct UnregisterCase {
        const char* name;
        HRESULT results[2];
        bool secondDescribed;
        const CLSID* filter;
        std::vector<std::string> calls;
    } const cases[] = {
        {"every row fails", {E_FAIL, DISP_E_EXCEPTION}, false, nullptr, {"A0", "B0"}},
        {"described row skipped", {S_OK, S_OK}, true, nullptr, {"A0"}},
        {"filter takes one class", {E_FAIL, E_FAIL}, false, &kFirstClass, {"A0"}},
        {"filter that differs from a class in its last byte", {E_FAIL, E_FAIL}, false, &kFirstClassButLastByte, {}},
    };
    for (const UnregisterCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingMap map(c.results, c.secondDescribed);
        ServerModule record = RecordFor(withTypeLib.get(), map.rows);
        EXPECT_EQ(S_OK, UnregisterAllClasses(&record, c.filter));
        EXPECT_EQ(c.calls, g_calls);
    }
}

TEST_F(RegistrationWalkTest, MissingRecordOrMap)
{
    EXPECT_EQ(HexResult(E_INVALIDARG), HexResult(RegisterAllClasses(nullptr, TRUE, nullptr)));
    EXPECT_EQ(HexResult(E_INVALIDARG), HexResult(UnregisterAllClasses(nullptr, nullptr)));
    ServerModule record = RecordFor(withTypeLib.get(), nullptr);
    EXPECT_EQ(S_OK, RegisterAllClasses(&record, FALSE, nullptr));
    EXPECT_EQ(S_OK, UnregisterAllClasses(&record, nullptr));
    EXPECT_FALSE(FixtureTypeLibRegistered());
}

} // namespace
