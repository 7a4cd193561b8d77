// DllRegisterServer and DllUnregisterServer of the built vesker.DLL, called
// in-process as regsvr32 calls them, under a private HKEY_CLASSES_ROOT: keys
// that cannot be written fail registration, and repeated registration gives
// back every handle, mapping and type library reference it takes.
#include "ComTestSupport.h"
#include "ServerUnderTest.h"
#include "common/PlatformOwners.h"

#include <sddl.h>

#include <string>
#include <vector>

namespace {

const char kClassKey[] = "CLSID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const char kOldText[] = "C:\\old\\vesker.DLL";

HRESULT CallExport(const char* name)
{
    const auto function =
        reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(GetModuleHandleA("vesker.DLL"), name));
    return function ? function() : E_NOTIMPL;
}

std::string DefaultValue(const std::string& path)
{
    char text[MAX_PATH] = "";
    LONG size = sizeof(text);
    if (RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), text, &size) != ERROR_SUCCESS) return "(missing)";
    return text;
}

// Makes a key readable only (D:P(A;;KR;;;WD)) for the holder's life and gives
// it its own DACL back afterwards, so that the private root can be removed.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(const std::string& path)
    {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, key_.put()) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        if (RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS) return;
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                   nullptr)) {
            return;
        }
        applied_ = RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~ReadOnlyKey()
    {
        if (applied_) RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data());
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

    bool Applied() const { return applied_; }

private:
    UniqueKey key_;
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

class Registration : public testing::Test {
protected:
    void SetUp() override { ServerUnderTest::Start(); }
    void TearDown() override { ServerUnderTest::Stop(); }

    ClassesRootOverride registry;
};

TEST_F(Registration, ValueThatCannotBeWrittenFailsAndKeepsTheOldData)
{
    const struct {
        const char* name;
        std::string key; // made read-only after a first registration, its default value set to kOldText
    } cases[] = {
        {"class's InprocServer32 path", std::string(kClassKey) + "\\InprocServer32"},
        {"ProgID's description", "UnLha.Command.1"},
        {"class's description", kClassKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, c.key.c_str(), REG_SZ, kOldText, lstrlenA(kOldText)), ERROR_SUCCESS);
        {
            ReadOnlyKey readOnly(c.key);
            ASSERT_TRUE(readOnly.Applied());
            UniqueKey probe;
            ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, c.key.c_str(), 0, KEY_ALL_ACCESS, probe.put()), ERROR_ACCESS_DENIED)
                << "the key refuses writers, as for a second regsvr32 without elevation";
            EXPECT_EQ(CallExport("DllRegisterServer"), DISP_E_EXCEPTION);
            EXPECT_EQ(DefaultValue(c.key), kOldText);
        }
        EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
        EXPECT_EQ(DefaultValue(kClassKey), "(missing)") << "with its rights back the class key goes";
    }
}

// The regions of the address space that map a file or an image, counted by
// allocation. Wine difference: a data-file load of a module that is loaded
// already hands out that module, so there a data-file mapping left open shows
// as vesker.DLL staying loaded after the test (Stop checks it), on Windows as a
// view that stays.
size_t MappedViewCount()
{
    size_t views = 0;
    const BYTE* address = nullptr;
    const void* lastBase = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if ((region.Type == MEM_MAPPED || region.Type == MEM_IMAGE) && region.AllocationBase != lastBase) {
            ++views;
            lastBase = region.AllocationBase;
        }
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return views;
}

// The process's handle count. Wine difference: GetProcessHandleCount answers 0
// there, but a new handle takes the lowest free slot of the handle table, so
// the value of a fresh handle rises with every handle left open.
size_t HandleCount()
{
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles) return handles;
    const HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<UINT_PTR>(probe) / 4;
}

// References on the loaded type library beside ours: the platform keeps one
// loaded library per file and hands it out again while anyone holds it, so a
// reference that registration kept shows in the count Release returns.
ULONG OtherTypeLibReferences()
{
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleA("vesker.DLL"), path, MAX_PATH);
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLib(path, &library))) return ~0u;
    return library->Release();
}

TEST_F(Registration, RepeatedRegistrationKeepsNoHandleMappingOrTypeLibrary)
{
    // The first round loads what the platform keeps loaded afterwards.
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
    const struct {
        const char* name;
        std::function<size_t()> count;
    } probes[] = {
        {"handles", HandleCount},
        {"mapped views", MappedViewCount},
        {"type library references", [] { return static_cast<size_t>(OtherTypeLibReferences()); }},
    };
    std::vector<size_t> before;
    for (const auto& probe : probes) before.push_back(probe.count());
    ASSERT_GT(before[0], 0u);
    ASSERT_GT(before[1], 0u);

    constexpr size_t kRounds = 100;
    for (size_t round = 0; round < kRounds; ++round) {
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK) << "round " << round;
        ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK) << "round " << round;
    }
    for (size_t i = 0; i < std::size(probes); ++i) {
        SCOPED_TRACE(probes[i].name);
        // A few may come and go with the platform's own caches; one per round may not.
        EXPECT_LE(probes[i].count(), before[i] + 4);
    }
}

} // namespace
