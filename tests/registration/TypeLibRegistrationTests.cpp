// Type library registration: the path computations on their own, then whole
// registrations of the test modules' own type library.
#include "RegistrationFixture.h"
#include "registration/TypeLibRegistration.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstring>
#include <string>

namespace {

TEST(DirectoryLength, CountsUpToTheLastSeparator)
{
    struct DirectoryCase {
        const char* name;
        const wchar_t* path;
        size_t expected;
    } const cases[] = {
        {"drive and folder", L"C:\\dir\\vesker.DLL", 7},
        {"drive letter only", L"C:vesker.DLL", 2},
        {"forward slash", L"C:\\dir/sub/vesker.DLL", 11},
        {"trailing separator", L"C:\\dir\\", 7},
        {"colon after the last backslash", L"C:\\dir\\a:b", 9},
        {"network path", L"\\\\server\\share\\x.dll", 15},
        {"no separator", L"vesker.DLL", 0},
        {"empty path", L"", 0},
    };
    for (const DirectoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, DirectoryLength(c.path));
    }
}

TEST(HelpDirectoryFromPath, KeepsTheLastSeparator)
{
    struct HelpCase {
        const char* name;
        const wchar_t* path;
        const wchar_t* expected;
    } const cases[] = {
        {"folder keeps its backslash", L"C:\\dir\\vesker.DLL", L"C:\\dir\\"},
        {"drive relative path", L"C:vesker.DLL", L"C:"},
        {"no separator gives the empty text", L"vesker.DLL", L""},
    };
    for (const HelpCase& c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR directory[MAX_PATH];
        wmemset(directory, L'#', MAX_PATH);
        HelpDirectoryFromPath(c.path, directory);
        EXPECT_STREQ(c.expected, directory);
    }
}

TEST(TypeLibFilePath, ReplacesTheLastDotOrAppends)
{
    struct DotCase {
        const char* name;
        std::string path;
        size_t room; // buffer size; 0 for MAX_PATH
        HRESULT expected;
        std::string result;
    } const cases[] = {
        {"file ending replaced", "C:\\dir\\vesker.DLL", 0, S_OK, "C:\\dir\\vesker.tlb"},
        {"only the last of several dots", "C:\\dir\\x.y.DLL", 0, S_OK, "C:\\dir\\x.y.tlb"},
        {"no dot at all", "C:\\dir\\vesker", 0, S_OK, "C:\\dir\\vesker.tlb"},
        {"only dot in a folder name", "C:\\a.b\\vesker", 0, S_OK, "C:\\a.tlb"},
        {"empty path", "", 0, S_OK, ".tlb"},
        {"double-byte folder with a backslash trail byte", "C:\\\x95\x5c\\x.DLL", 0, S_OK, "C:\\\x95\x5c\\x.tlb"},
        {"exactly enough room", "C:\\x", 9, S_OK, "C:\\x.tlb"},
        {"one byte short", "C:\\x", 8, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), "C:\\x"},
        {"longer ending replaced in a full buffer", "C:\\x.dllx", 10, S_OK, "C:\\x.tlb"},
    };
    for (const DotCase& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[MAX_PATH + 8];
        memset(buffer, '#', sizeof buffer);
        memcpy(buffer, c.path.c_str(), c.path.size() + 1);
        const size_t room = c.room ? c.room : MAX_PATH;
        EXPECT_EQ(HexResult(c.expected), HexResult(TypeLibFilePath(buffer, room)));
        EXPECT_EQ(c.result, std::string(buffer));
        for (size_t i = room; i < sizeof buffer; ++i) ASSERT_EQ('#', buffer[i]) << "written past the buffer at " << i;
    }
}

std::string Folder(const std::wstring& path)
{
    return Narrow(path.substr(0, path.find_last_of(L'\\') + 1));
}

class TypeLibRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { UnregisterFixtureTypeLib(); }
    void TearDown() override { UnregisterFixtureTypeLib(); }
    ScratchFolder scratch;
};

// Each case lays out a folder, registers from the module copied there and
// checks which file got registered.
TEST_F(TypeLibRegistrationTest, RegistersTheModuleOrTheTlbBesideIt)
{
    const std::wstring withTypeLib = FixtureWithTypeLib();
    const std::wstring withoutTypeLib = FixtureScriptOnly();
    const std::wstring tlb = FixtureTypeLibFile();
    struct LayoutCase {
        const char* name;
        const wchar_t* folder;
        std::wstring module;
        const wchar_t* moduleName;
        std::wstring beside; // copied as x.tlb next to the module, when not empty
        const wchar_t* registeredName;
    } const cases[] = {
        {"type library in the module", L"own", withTypeLib, L"vesker.DLL", L"", L"vesker.DLL"},
        {"tlb file beside a module without one", L"beside", withoutTypeLib, L"x.DLL", tlb, L"x.tlb"},
        {"own type library wins over a tlb file", L"both", withTypeLib, L"x.DLL", tlb, L"x.DLL"},
        {"dots in the folder and file names", L"a.b\\c.d", withoutTypeLib, L"x.y.DLL", tlb, L"x.y.tlb"},
        {"double-byte folder", L"\u8868\u793a", withoutTypeLib, L"x.DLL", tlb, L"x.tlb"},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!FitsSystemCodePage(c.folder)) continue;
        UnregisterFixtureTypeLib();
        const std::wstring folder = scratch.MakeFolder(c.folder);
        const std::wstring path = ScratchFolder::CopyInto(c.module, folder, c.moduleName);
        ASSERT_FALSE(path.empty());
        if (!c.beside.empty()) {
            std::wstring tlbName = c.moduleName;
            tlbName = tlbName.substr(0, tlbName.rfind(L'.')) + L".tlb";
            ASSERT_FALSE(ScratchFolder::CopyInto(c.beside, folder, tlbName).empty());
        }
        UniqueLibrary module = LoadModule(path);
        ASSERT_NE(nullptr, module.get());
        ServerModule record = RecordFor(module.get());

        ASSERT_EQ(HexResult(S_OK), HexResult(TypeLibRegistration(&record, nullptr)));
        const std::string registered = Narrow(folder + L"\\" + c.registeredName);
        EXPECT_EQ(TextValue(registered), ReadValue(HKEY_CLASSES_ROOT, std::string(kFixtureVersionKey) + "\\0\\win32", ""));
        EXPECT_EQ(TextValue(Folder(path)), ReadValue(HKEY_CLASSES_ROOT, std::string(kFixtureVersionKey) + "\\HELPDIR", ""));
        BSTR found = nullptr;
        ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kFixtureLibraryId, 1, 0, 0, &found));
        EXPECT_EQ(Widen(registered), std::wstring(found));
        SysFreeString(found);
    }
}

TEST_F(TypeLibRegistrationTest, FailsWithoutRegisteringWhenNothingLoads)
{
    const std::wstring folder = scratch.MakeFolder(L"none");
    const std::wstring path =
        ScratchFolder::CopyInto(FixtureScriptOnly(), folder, L"x.DLL");
    UniqueLibrary module = LoadModule(path);
    ASSERT_NE(nullptr, module.get());
    ServerModule record = RecordFor(module.get());

    ITypeLib* probe = nullptr;
    const HRESULT secondLoad = LoadTypeLib((folder + L"\\x.tlb").c_str(), &probe);
    ASSERT_TRUE(FAILED(secondLoad));
    EXPECT_EQ(HexResult(secondLoad), HexResult(TypeLibRegistration(&record, nullptr)))
        << "the result is the failure of loading the tlb file";
    EXPECT_FALSE(FixtureTypeLibRegistered());
}

TEST_F(TypeLibRegistrationTest, PathsThatDoNotFitAreRefused)
{
    const std::wstring fixture = FixtureWithTypeLib();
    struct RoomCase {
        const char* name;
        size_t pathLength;
        std::wstring index;
    } const cases[] = {
        {"module path fills the buffer", MAX_PATH, L""},
        {"index text would not fit", MAX_PATH - 4, L"\\123456"},
    };
    for (const RoomCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder roomy;
        const std::wstring path = CopyToPathOfLength(roomy, fixture, c.pathLength);
        UniqueLibrary module = LoadModule(path);
        ASSERT_NE(nullptr, module.get());
        ServerModule record = RecordFor(module.get());
        EXPECT_EQ(HexResult(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)),
                  HexResult(TypeLibRegistration(&record, c.index.empty() ? nullptr : c.index.c_str())));
        EXPECT_FALSE(FixtureTypeLibRegistered());
    }
}

} // namespace
