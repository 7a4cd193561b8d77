// Scripts loaded from module resources: the component's own script, loader
// failures, and the module path that replaces %MODULE%.
#include "RegistrationFixture.h"
#include "registration/Registrar.h"
#include "registration/ReplacementMap.h"
#include "tests/resources/BuiltModule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kModuleKey[] = "Software\\vesker-registration-module";
const char kExtrasKey[] = "Software\\vesker-registration-extras";
const char kLeadByteKey[] = "Software\\vesker-registration-lead";
constexpr UINT kComponentScript = 101;

class ResourceScriptTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveKeys(); }
    void TearDown() override { RemoveKeys(); }
    static void RemoveKeys()
    {
        DeleteTree(HKEY_CURRENT_USER, kModuleKey);
        DeleteTree(HKEY_CURRENT_USER, kExtrasKey);
        DeleteTree(HKEY_CURRENT_USER, kLeadByteKey);
    }
};

TEST(ComponentScript, ResourceEqualsTheScriptFileByteForByte)
{
    const std::vector<unsigned char> file = FileBytes(Widen(VESKER_SCRIPT_SOURCE));
    ASSERT_EQ(490u, file.size()) << "the script file was changed or converted";
    for (size_t i = 0; i < file.size(); ++i) {
        ASSERT_NE(0, file[i]) << "no terminator or other NUL at " << i;
        if (file[i] == '\n') ASSERT_TRUE(i > 0 && file[i - 1] == '\r') << "bare line feed at " << i;
    }
    EXPECT_EQ('\n', file.back());

    UniqueLibrary module = MapBuiltModule();
    ASSERT_NE(nullptr, module.get());
    EXPECT_EQ(file, ResourceBytes(module.get(), L"REGISTRY", MAKEINTRESOURCEW(kComponentScript)))
        << "REGISTRY 101 in language 0x0411";
}

// The code the loader itself sets for a file it cannot map as data; Wine and
// Windows need not agree on it, so it is asked for rather than assumed.
DWORD DataLoadError(const std::wstring& path)
{
    SetLastError(0);
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const DWORD error = GetLastError();
    if (module) FreeLibrary(module);
    return module ? 0 : error;
}

TEST_F(ResourceScriptTest, LoaderFailuresReportTheLastErrorAndTouchNothing)
{
    ScratchFolder scratch;
    const std::wstring missing = scratch.Path() + L"\\missing.dll";
    ASSERT_NE(0u, DataLoadError(missing));
    struct LoaderCase {
        const char* name;
        std::wstring file;
        UINT id;
        const wchar_t* type;
        DWORD error;
    } const cases[] = {
        {"resource id the file lacks", FixtureScriptOnly(), 999, L"REGISTRY", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"resource type the file lacks", FixtureScriptOnly(), FIXTURE_MODULE_SCRIPT, L"NOSCRIPT",
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"file that does not exist", missing, FIXTURE_MODULE_SCRIPT, L"REGISTRY", DataLoadError(missing)},
    };
    for (const LoaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReplacementMap map;
        map.AddEntry(L"Module", L"C:\\dir\\vesker.DLL");
        for (BOOL registerPass : {TRUE, FALSE}) {
            EXPECT_EQ(HexResult(HRESULT_FROM_WIN32(c.error)),
                      HexResult(RunResourceScript(&map, c.file.c_str(), c.id, c.type, registerPass)));
        }
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kModuleKey));
    }
}

// The module path reaches the registry exactly, whatever the folder is called:
// a single quote must not end the quoted script value early.
TEST_F(ResourceScriptTest, ModulePathReachesTheRegistryExactly)
{
    struct FolderCase {
        const char* name;
        std::wstring folder;
    } const cases[] = {
        {"plain folder", L"plain"},
        {"single quote", L"Archiver's Kit"},
        {"quotes in a row and at the end", L"a''b'"},
        {"percent signs", L"100%MODULE%"},
        {"double-byte characters", L"\u8868\u793a\u30bd\u30d5\u30c8"},
        {"double-byte characters and a quote", L"\u8868'\u793a"},
    };
    ScratchFolder scratch;
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Wine and Windows alike: a name outside the system code page has no ANSI path.
        if (!FitsSystemCodePage(c.folder)) continue;
        const std::wstring folder = scratch.MakeFolder(c.folder);
        const std::wstring path = ScratchFolder::CopyInto(FixtureScriptOnly(), folder, L"fixture.dll");
        ASSERT_FALSE(path.empty());
        UniqueLibrary module = LoadModule(path);
        ASSERT_NE(nullptr, module.get());
        ServerModule record = RecordFor(module.get());

        ASSERT_EQ(S_OK, ApplyRegistrationScript(&record, FIXTURE_MODULE_SCRIPT, TRUE, nullptr));
        EXPECT_EQ(TextValue(Narrow(path)), ReadValue(HKEY_CURRENT_USER, kModuleKey, ""));
        EXPECT_EQ(S_OK, ApplyRegistrationScript(&record, FIXTURE_MODULE_SCRIPT, FALSE, nullptr));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kModuleKey));
    }
}

// A path that fills the 260-byte buffer is refused instead of being cut.
TEST_F(ResourceScriptTest, PathLongerThanTheBufferIsRefused)
{
    struct LengthCase {
        const char* name;
        size_t length; // bytes of the module path without its terminator
        HRESULT expected;
    } const cases[] = {
        {"longest path that fits", MAX_PATH - 1, S_OK},
        {"one byte too long", MAX_PATH, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
        {"far too long", MAX_PATH + 40, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const std::wstring path = CopyToPathOfLength(scratch, FixtureScriptOnly(), c.length);
        ASSERT_EQ(c.length, Narrow(path).size());
        UniqueLibrary module = LoadModule(path);
        ASSERT_NE(nullptr, module.get()) << "the loader takes paths of this length";
        ServerModule record = RecordFor(module.get());

        EXPECT_EQ(HexResult(c.expected),
                  HexResult(ApplyRegistrationScript(&record, FIXTURE_MODULE_SCRIPT, TRUE, nullptr)));
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(TextValue(Narrow(path)), ReadValue(HKEY_CURRENT_USER, kModuleKey, ""));
        } else {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kModuleKey)) << "no cut path is registered";
        }
        RemoveKeys();
    }
}

TEST_F(ResourceScriptTest, ExtraMarkersExpandButNeverReplaceTheModule)
{
    UniqueLibrary module = LoadModule(FixtureScriptOnly());
    ASSERT_NE(nullptr, module.get());
    ServerModule record = RecordFor(module.get());
    const ReplacementPair extras[] = {{L"Extra", L"extra value"}, {L"Module", L"not the module"}, {nullptr, nullptr}};

    ASSERT_EQ(S_OK, ApplyRegistrationScript(&record, FIXTURE_EXTRAS_SCRIPT, TRUE, extras));
    EXPECT_EQ(TextValue("extra value"), ReadValue(HKEY_CURRENT_USER, kExtrasKey, ""));
    EXPECT_EQ(TextValue(Narrow(FixtureScriptOnly())), ReadValue(HKEY_CURRENT_USER, kExtrasKey, "Module"));
    EXPECT_EQ(S_OK, ApplyRegistrationScript(&record, FIXTURE_EXTRAS_SCRIPT, FALSE, extras));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kExtrasKey));

    // Without the extra marker the script cannot expand and writes nothing.
    EXPECT_EQ(HexResult(DISP_E_EXCEPTION), HexResult(ApplyRegistrationScript(&record, FIXTURE_EXTRAS_SCRIPT, TRUE, nullptr)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kExtrasKey));
}

// The script's last byte is a lone lead byte (under 932; a plain byte under
// 1252): the block before it runs, and the byte, read as a root key name, is
// refused in either pass. (Wine's CharNextA never steps past a terminator, so
// the step over the end itself is caught by the expansion tests, which swap in
// a Windows-like CharNextA.)
TEST_F(ResourceScriptTest, LoneLeadByteAfterTheLastBlockIsRefused)
{
    UniqueLibrary module = LoadModule(FixtureScriptOnly());
    ASSERT_NE(nullptr, module.get());
    const HRSRC script = FindResourceW(module.get(), MAKEINTRESOURCEW(FIXTURE_LEAD_BYTE_SCRIPT), L"REGISTRY");
    ASSERT_NE(nullptr, script);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module.get(), script)));
    ASSERT_EQ(0x82, bytes[SizeofResource(module.get(), script) - 1]) << "no terminator after the lead byte";
    ServerModule record = RecordFor(module.get());
    const struct {
        const char* name;
        BOOL registerPass;
        bool keyAfter;
    } passes[] = {
        {"register pass keeps the block before the byte", TRUE, true},
        {"unregister pass removes it", FALSE, false},
    };
    for (const auto& pass : passes) {
        SCOPED_TRACE(pass.name);
        EXPECT_EQ(HexResult(DISP_E_EXCEPTION),
                  HexResult(ApplyRegistrationScript(&record, FIXTURE_LEAD_BYTE_SCRIPT, pass.registerPass, nullptr)));
        EXPECT_EQ(pass.keyAfter, KeyExists(HKEY_CURRENT_USER, kLeadByteKey));
    }
}

} // namespace
