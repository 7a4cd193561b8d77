// The Windows Installer package as administrators deploy it: msiexec installs,
// upgrades, repairs and removes it silently, in a Wine prefix made for the run.
// Installer.* runs in a 32-bit prefix, Clients64.* (the optional feature for
// 64-bit clients) in a 64-bit one; run-installer-tests.sh makes both and the
// packages. The packages lie in %VESKER_INSTALLER_DIR%: vesker.msi (the tree's
// version), vesker-rebuilt.msi (the same version built again) and
// vesker-lower.msi (a lower version). %VESKER_SOURCE_DIR% is the source tree.
#include "tests/integration/ProcessRunner.h"
#include "tests/integration/RegistrySnapshot.h"
#include "tests/integration/UnLhaRegistryNames.h"
#include "tests/registration/RegistrationTestSupport.h"
#include "tests/surrogate/SurrogateProcesses.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const wchar_t kAppIdKey[] = L"Software\\Classes\\AppID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const wchar_t kClasses[] = L"Software\\Classes";
// Windows Installer keeps its own records of the products under HKCR\Installer.
const wchar_t kInstallerRecords[] = L"Installer";
// Windows Installer's own records below HKLM\Software: each run adds the
// package it ran from to the product's source list, and the containers of its
// records stay once a product was installed.
const wchar_t* const kInstallerBookkeeping[] = {L"Classes\\Installer", L"Microsoft\\Windows\\CurrentVersion\\Installer"};
const char kEchoText[] = "installed";
const DWORD kMsiexecLimitMs = 300000;
// Repair as the REINSTALL properties ask for it, which Windows' msiexec /fomus
// sets: Wine 8's msiexec /f fails (1605 with a package path, 1 with the
// product code) where Windows repairs.
const wchar_t kRepair[] = L" REINSTALL=ALL REINSTALLMODE=omus";

// Wine: in a fresh WoW64 prefix the service control manager may give up on
// the start of RpcSs and end it again; a surrogate started meanwhile registers
// its class where no client finds it, and the first activation hangs (see
// tests/surrogate/SurrogateTests.cpp). So the first activation waits until
// RpcSs runs in the manager's process, and one that does not complete in its
// time is ended with its surrogates and tried again, a bounded number of
// times, each retry said. Windows runs RpcSs from boot on.
const DWORD kRpcSubsystemLimitMs = 180000;
const DWORD kActivationLimitMs = 45000;
const int kActivationAttempts = 4;

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring Package(const wchar_t* name)
{
    return Environment(L"VESKER_INSTALLER_DIR") + name;
}

const std::wstring& Current() { static const std::wstring path = Package(L"vesker.msi"); return path; }
const std::wstring& Rebuilt() { static const std::wstring path = Package(L"vesker-rebuilt.msi"); return path; }
const std::wstring& Lower() { static const std::wstring path = Package(L"vesker-lower.msi"); return path; }

// [ProgramFilesFolder]vesker\ as a 32-bit package sees it.
std::wstring InstallFolder()
{
    wchar_t folder[MAX_PATH];
    const DWORD length = ExpandEnvironmentStringsW(L"%ProgramFiles%\\vesker\\", folder, MAX_PATH);
    return std::wstring(folder, length ? length - 1 : 0);
}

// --- What a package says about itself -----------------------------------------

std::wstring QueryPackage(const std::wstring& package, const wchar_t* query)
{
    MSIHANDLE database = 0, view = 0, record = 0;
    std::wstring value;
    if (MsiOpenDatabaseW(package.c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY), &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewW(database, query, &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS &&
        MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        wchar_t text[512];
        DWORD length = 512;
        if (MsiRecordGetStringW(record, 1, text, &length) == ERROR_SUCCESS) value.assign(text, length);
    }
    for (MSIHANDLE handle : {record, view, database}) {
        if (handle) MsiCloseHandle(handle);
    }
    return value;
}

std::wstring PackageProperty(const std::wstring& package, const wchar_t* name)
{
    return QueryPackage(package, (L"SELECT `Value` FROM `Property` WHERE `Property`='" + std::wstring(name) + L"'").c_str());
}

// Versions of the installed products that share the package's upgrade code.
std::vector<std::string> InstalledVersions()
{
    static const std::wstring upgradeCode = PackageProperty(Current(), L"UpgradeCode");
    std::vector<std::string> versions;
    wchar_t product[39];
    for (DWORD index = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, index, product) == ERROR_SUCCESS; ++index) {
        wchar_t version[64];
        DWORD length = 64;
        MsiGetProductInfoW(product, L"VersionString", version, &length);
        versions.push_back(Narrow(std::wstring(version, length)));
    }
    return versions;
}

void ExpectInstalled(const std::wstring& package)
{
    const std::vector<std::string> expected = {Narrow(PackageProperty(package, L"ProductVersion"))};
    EXPECT_EQ(expected, InstalledVersions()) << "the installed-products list";
}

// --- msiexec --------------------------------------------------------------------

// The 32-bit msiexec on the 32-bit machine; the 64-bit one, as an
// administrator's prompt starts it, on the 64-bit machine.
std::wstring msiexecProgram = L"msiexec";

DWORD Msiexec(const std::wstring& arguments)
{
    const ProcessResult result = RunProcess(msiexecProgram + L" " + arguments + L" /qn", kMsiexecLimitMs);
    EXPECT_TRUE(result.started);
    return result.exitCode;
}

void ExpectMsiexec(DWORD expected, const std::wstring& arguments)
{
    EXPECT_EQ(expected, Msiexec(arguments)) << Narrow(arguments);
}

// --- Files --------------------------------------------------------------------------

std::string Contents(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : std::string("<missing>");
}

struct InstalledFile {
    const wchar_t* name;
    const wchar_t* variable; // where the original lies: a folder variable
    const wchar_t* relative;
};

const InstalledFile kInstalledFiles[] = {
    {L"vesker.DLL", L"VESKER_BIN_DIR", L"archiver\\vesker.DLL"},
    {L"UNLHA32.dll", L"VESKER_BIN_DIR", L"archiver\\UNLHA32.dll"},
    {L"UserGuide.md", L"VESKER_SOURCE_DIR", L"packaging\\UserGuide.md"},
    {L"RunCommand.vbs", L"VESKER_SOURCE_DIR", L"packaging\\RunCommand.vbs"},
    {L"vesker.idl", L"VESKER_SOURCE_DIR", L"resources\\vesker.idl"},
    {L"vesker.h", L"VESKER_BIN_DIR", L"..\\include\\vesker.h"},
    {L"vesker_i.c", L"VESKER_BIN_DIR", L"..\\include\\vesker_i.c"},
};

std::wstring Original(const InstalledFile& file)
{
    // VESKER_BIN_DIR is the Linux path scripts/wine-exec gives: Wine's drive Z:.
    std::wstring folder = Environment(file.variable);
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
    }
    if (!folder.empty() && folder[0] == L'\\') folder = L"Z:" + folder;
    return folder + L"\\" + file.relative;
}

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::vector<std::string> FolderContents(const std::wstring& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectInstalledFiles()
{
    std::vector<std::string> expected;
    for (const InstalledFile& file : kInstalledFiles) {
        expected.push_back(Narrow(file.name));
        const std::string original = Contents(Original(file));
        ASSERT_NE("<missing>", original) << Narrow(Original(file));
        EXPECT_TRUE(original == Contents(InstallFolder() + file.name)) << Narrow(file.name) << " differs";
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, FolderContents(InstallFolder()));
}

bool WriteFileText(const std::wstring& path, const std::string& text)
{
    std::ofstream file(path.c_str(), std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

// --- Registry ----------------------------------------------------------------------

// The keys and values of `after` that `before` lacks or holds otherwise.
RegistrySnapshot Added(const RegistrySnapshot& before, const RegistrySnapshot& after)
{
    RegistrySnapshot added;
    for (const auto& [path, values] : after) {
        if (path == kInstallerRecords || path.rfind(std::wstring(kInstallerRecords) + L"\\", 0) == 0) continue;
        const auto old = before.find(path);
        if (old == before.end()) {
            added[path] = values;
            continue;
        }
        for (const auto& [name, value] : values) {
            const auto oldValue = old->second.find(name);
            if (oldValue == old->second.end() || oldValue->second != value) added[path][name] = value;
        }
    }
    return added;
}

// HKLM\Software\Classes of the 64-bit view, less the keys of the 32-bit view
// that Wine 8 lists in it under Wow6432Node (the 32-bit snapshot has those).
RegistrySnapshot Classes64()
{
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClasses, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) return {};
    RegistrySnapshot snapshot = TakeSnapshot(key.get(), L"");
    for (auto entry = snapshot.begin(); entry != snapshot.end();) {
        const std::wstring upper = Upper(entry->first);
        const bool wow64 = upper == L"WOW6432NODE" || upper.rfind(L"WOW6432NODE\\", 0) == 0;
        entry = wow64 ? snapshot.erase(entry) : std::next(entry);
    }
    return snapshot;
}

// Wine: its network service fills in NetworkCards in the background, at any
// time after the prefix starts; no package touches it.
const wchar_t kWineNetworkCards[] = L"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";

std::set<std::wstring> Bookkeeping()
{
    std::set<std::wstring> ignored(std::begin(kInstallerBookkeeping), std::end(kInstallerBookkeeping));
    ignored.insert(kWineNetworkCards);
    return ignored;
}

// A product code as Windows Installer's records spell it in key names.
std::wstring PackedCode(const std::wstring& code)
{
    const std::wstring hex = code.substr(1, 8) + code.substr(10, 4) + code.substr(15, 4) + code.substr(20, 4) +
                             code.substr(25, 12);
    std::wstring packed(hex.rbegin() + 24, hex.rend());
    packed += std::wstring(hex.rbegin() + 20, hex.rbegin() + 24) + std::wstring(hex.rbegin() + 16, hex.rbegin() + 20);
    for (size_t i = 16; i < 32; i += 2) packed += std::wstring{hex[i + 1], hex[i]};
    return packed;
}

// Key paths of `snapshot` that name the product of `package`.
std::vector<std::string> KeysNaming(const RegistrySnapshot& snapshot, const std::wstring& package)
{
    std::vector<std::string> keys;
    const std::wstring code = PackageProperty(package, L"ProductCode");
    for (const std::wstring& name : {code, PackedCode(code)}) {
        for (const auto& entry : snapshot) {
            if (Upper(entry.first).find(Upper(name)) != std::wstring::npos) keys.push_back(Narrow(entry.first));
        }
    }
    return keys;
}

RegistrySnapshot Snapshot64(const wchar_t* path)
{
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) return {};
    return TakeSnapshot(key.get(), L"");
}

RegistrySnapshot Software() { return TakeSnapshot(HKEY_LOCAL_MACHINE, L"Software"); }
RegistrySnapshot Classes() { return TakeSnapshot(HKEY_LOCAL_MACHINE, kClasses); }

// --- Clients ------------------------------------------------------------------------

std::wstring RunCommandLine(const std::wstring& host, const std::string& commandLine)
{
    return Quoted(host) + L" //nologo " + Quoted(InstallFolder() + L"RunCommand.vbs") + L" " + Widen(commandLine);
}

std::wstring Cscript32() { return L"cscript.exe"; }

// The script host registers its own type library on its first run, so the
// snapshots are taken after one; the class cannot be created yet.
void WarmUpScriptHost(const std::wstring& host)
{
    InstalledFile script = {L"", L"VESKER_SOURCE_DIR", L"packaging\\RunCommand.vbs"};
    const ProcessResult result = RunProcess(Quoted(host) + L" //nologo " + Quoted(Original(script)));
    EXPECT_NE(0u, result.exitCode) << result.output;
}

// The 64-bit system folder as a 32-bit program names it.
std::wstring SystemFolder64()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\Sysnative\\";
}

std::wstring Cscript64() { return SystemFolder64() + L"cscript.exe"; }

// The installed sample script through the installed component: our archiver
// echoes its text back.
void ExpectEcho(const std::wstring& host, DWORD limitMs = 120000)
{
    const ProcessResult result = RunProcess(RunCommandLine(host, std::string("echo ") + kEchoText), limitMs);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(0u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("ErrorCode: 0")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(std::string("ResultString: ") + kEchoText)) << result.output;
}

// Files with Japanese names (trail bytes 0x5C among them) and enough members
// to overflow the output area, through tests/integration/ArchiverCheck.vbs.
void ExpectArchiverCheck()
{
    const wchar_t* const names[] = {L"plain.txt", L"\u8868\u793a.txt", L"\u30bd\u30d5\u30c8\u80fd\u529b.txt",
                                    L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8.txt"};
    ScratchFolder scratch;
    const std::wstring source = scratch.MakeFolder(L"source");
    for (const wchar_t* name : names) ASSERT_TRUE(WriteFileText(source + L"\\" + name, Narrow(name) + "\r\n"));
    const std::wstring many = scratch.MakeFolder(L"many");
    for (int i = 0; i < 500; ++i) {
        wchar_t name[16];
        swprintf(name, 16, L"%04d-", i);
        ASSERT_TRUE(WriteFileText(many + L"\\" + name + std::wstring(100, L'm') + L".txt", ""));
    }
    const ProcessResult result =
        RunProcess(L"cscript //nologo " + Quoted(BinFolder() + L"ArchiverCheck.vbs") + L" " + Quoted(scratch.Path()));
    ASSERT_TRUE(result.started);
    EXPECT_EQ(0u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("ArchiverCheck: passed")) << result.output;
}

struct Step {
    const char* name;
    void (*take)();
};

void RunSteps(const Step* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(steps[i].name);
        steps[i].take();
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// --- The 32-bit machine --------------------------------------------------------------

struct Machine32 {
    RegistrySnapshot softwareBefore; // before any package
    RegistrySnapshot classesBefore;
    RegistrySnapshot installedEntries; // what the package added below HKLM\Software\Classes
    RegistrySnapshot softwareInstalled;
} machine;

void StartsEmpty()
{
    ASSERT_FALSE(Current().empty()) << "VESKER_INSTALLER_DIR is not set";
    WarmUpScriptHost(Cscript32());
    EXPECT_TRUE(InstalledVersions().empty());
    EXPECT_TRUE(FolderContents(InstallFolder()).empty());
    machine.softwareBefore = Software();
    machine.classesBefore = Classes();
    ASSERT_TRUE(TakeSnapshot(HKEY_CLASSES_ROOT, kClassKey).empty()) << "the prefix must start unregistered";
}

void InstallsLowerVersion()
{
    ASSERT_NE(PackageProperty(Lower(), L"ProductVersion"), PackageProperty(Current(), L"ProductVersion"));
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Lower()));
    ExpectInstalled(Lower());
    ExpectInstalledFiles();
}

void UpgradesInPlace()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()));
    ExpectInstalled(Current());
    ExpectInstalledFiles();
    machine.installedEntries = Added(machine.classesBefore, Classes());
    machine.softwareInstalled = Software();
    EXPECT_EQ(TextValue(Narrow(InstallFolder() + L"vesker.DLL")),
              ReadValue(HKEY_CLASSES_ROOT, Narrow(std::wstring(kClassKey) + L"\\InprocServer32"), ""));
}

// Installed and registered exactly as after the upgrade.
void ExpectUnchanged()
{
    ExpectInstalled(Current());
    ExpectInstalledFiles();
    EXPECT_EQ("", DescribeDifferences(machine.softwareInstalled, Software(), Bookkeeping()));
}

void SamePackageAgain()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()));
    ExpectUnchanged();
}

void RebuiltSameVersion()
{
    ASSERT_EQ(PackageProperty(Rebuilt(), L"ProductCode"), PackageProperty(Current(), L"ProductCode"));
    // Windows answers another package of an installed product with 1638 and
    // leaves it be; Wine's msiexec runs it as maintenance of the product.
    const DWORD status = Msiexec(L"/i " + Quoted(Rebuilt()));
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_PRODUCT_VERSION) << status;
    ExpectUnchanged();
}

void LowerVersionRefused()
{
    EXPECT_NE(L"", QueryPackage(Lower(), L"SELECT `Description` FROM `LaunchCondition` "
                                         L"WHERE `Condition`='NOT WIX_DOWNGRADE_DETECTED'"))
        << "the refusal's message";
    ExpectMsiexec(ERROR_INSTALL_FAILURE, L"/i " + Quoted(Lower()));
    ExpectUnchanged();
}

void DrivesTheArchiver()
{
    ExpectEcho(Cscript32());
    if (GetACP() == 932) ExpectArchiverCheck();
}

void RepairsDeletedDll()
{
    ASSERT_TRUE(DeleteFileW((InstallFolder() + L"vesker.DLL").c_str()));
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()) + kRepair);
    ExpectUnchanged();
    ExpectEcho(Cscript32());
}

void RemovesEverything()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/x " + Quoted(Current()));
    EXPECT_TRUE(InstalledVersions().empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(InstallFolder().c_str())) << "the install folder stays";
    const RegistrySnapshot software = Software();
    EXPECT_EQ("", DescribeDifferences(machine.softwareBefore, software, Bookkeeping()));
    for (const std::wstring* package : {&Current(), &Lower()}) {
        EXPECT_EQ(std::vector<std::string>(), KeysNaming(software, *package)) << "records of " << Narrow(*package);
    }
}

// The package's entries against what DllRegisterServer of a copy at the
// installed path writes, entry for entry.
void EntriesAreDllRegisterServers()
{
    ASSERT_FALSE(machine.installedEntries.empty());
    ASSERT_TRUE(CreateDirectoryW(InstallFolder().c_str(), nullptr));
    for (const wchar_t* name : {L"vesker.DLL", L"UNLHA32.dll"}) {
        ASSERT_TRUE(CopyFileW((BinFolder() + L"archiver\\" + name).c_str(), (InstallFolder() + name).c_str(), TRUE));
    }
    const RegistrySnapshot before = Classes();
    const ProcessResult result = RunProcess(L"regsvr32 /s " + Quoted(InstallFolder() + L"vesker.DLL"));
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const RegistrySnapshot registered = Added(before, Classes());
    EXPECT_EQ("", DescribeDifferences(registered, machine.installedEntries)) << "the package against DllRegisterServer";
    size_t classKeys = 0, typeLibKeys = 0;
    for (const auto& entry : registered) {
        classKeys += Upper(entry.first) == Upper(kClassKey);
        typeLibKeys += Upper(entry.first) == Upper(std::wstring(kTypeLibKey) + L"\\1.0");
    }
    EXPECT_TRUE(classKeys == 1 && typeLibKeys == 1)
        << "registration wrote the class and the type library";
}

TEST(Installer, EachStepLeavesWhatItMust)
{
    const Step steps[] = {
        {"the prefix holds nothing of vesker", StartsEmpty},
        {"a lower version installs silently", InstallsLowerVersion},
        {"this version replaces it in place", UpgradesInPlace},
        {"the same package again changes nothing", SamePackageAgain},
        {"a rebuilt package of the same version changes nothing", RebuiltSameVersion},
        {"a lower version is refused with a message", LowerVersionRefused},
        {"the installed component drives our archiver", DrivesTheArchiver},
        {"repair brings back a deleted vesker.DLL", RepairsDeletedDll},
        {"removal leaves no file and the registry as before", RemovesEverything},
        {"the entries are those DllRegisterServer writes", EntriesAreDllRegisterServers},
    };
    RunSteps(steps, sizeof steps / sizeof steps[0]);
}

// --- The 64-bit machine --------------------------------------------------------------

struct Machine64 {
    RegistrySnapshot classes32Before; // the 32-bit view, where the package's HKCR lies
    RegistrySnapshot classes64Before;
    RegistrySnapshot classes32Installed;
    RegistrySnapshot classes64Installed;
} machine64;

// Ends the surrogates when the test is done, whichever way.
struct SurrogateReaper {
    ~SurrogateReaper() { EndSurrogates(); }
};

// With the feature, the 32-bit view's class key names the AppID and the AppID
// key, which the 64-bit host reads, asks for the surrogate.
// Windows shares HKLM\Software\Classes\AppID between the views; the AppID
// keys are checked in the 64-bit view, where the 64-bit host reads them.
void ExpectFeatureEntries(bool present)
{
    RegistrySnapshot expected32 = machine64.classes32Installed;
    if (present) expected32[kClassKey][L"AppID"] = Text(kClassIdText);
    // Wine 8 lists the 32-bit view's keys a second time under Wow6432Node.
    const std::set<std::wstring> apart = {kInstallerRecords, L"AppID", L"Wow6432Node"};
    EXPECT_EQ("", DescribeDifferences(expected32, Classes(), apart)) << "the 32-bit view";
    const RegistrySnapshot expectedAppId = {{L"", {{L"DllSurrogate", Text(L"")}}}};
    EXPECT_EQ("", DescribeDifferences(present ? expectedAppId : RegistrySnapshot(), Snapshot64(kAppIdKey)))
        << "the AppID key";
}

// As before the first install, save the containers Windows Installer keeps.
void ExpectClassesAsBefore()
{
    const RegistrySnapshot classes = Classes();
    EXPECT_EQ("", DescribeDifferences(machine64.classes32Before, classes, {kInstallerRecords})) << "the 32-bit view";
    EXPECT_EQ(std::vector<std::string>(), KeysNaming(classes, Current())) << "the product's records";
}

void StartsEmpty64()
{
    ASSERT_FALSE(Current().empty()) << "VESKER_INSTALLER_DIR is not set";
    msiexecProgram = Quoted(SystemFolder64() + L"msiexec.exe");
    WarmUpScriptHost(Cscript32());
    WarmUpScriptHost(Cscript64());
    machine64.classes32Before = Classes();
    machine64.classes64Before = Classes64();
    ASSERT_TRUE(TakeSnapshot(HKEY_CLASSES_ROOT, kClassKey).empty()) << "the prefix must start unregistered";
}

void InstallsWithoutFeature()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()));
    ExpectInstalled(Current());
    machine64.classes32Installed = Classes();
    machine64.classes64Installed = Classes64();
    EXPECT_FALSE(Added(machine64.classes32Before, machine64.classes32Installed).empty());
    EXPECT_TRUE(Snapshot64(kAppIdKey).empty()) << "without the feature, no AppID key";
}

void AddsFeature()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()) + L" ADDLOCAL=Clients64");
    ExpectFeatureEntries(true);
}

// Windows shares HKLM\Software\Classes\<ProgID> between the views, so the
// 64-bit host finds the ProgID the 32-bit package wrote. Wine 8 keeps the
// package's copy in the 32-bit view only; the test writes the ProgID's CLSID
// into the 64-bit view for this step and removes it again.
struct ProgIdIn64BitView {
    const std::wstring path = L"Software\\Classes\\UnLha.Command.1\\CLSID";
    bool written = false;
    ProgIdIn64BitView()
    {
        if (!Snapshot64(path.c_str()).empty()) return;
        UniqueKey key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                            key.put(), nullptr) != ERROR_SUCCESS) return;
        written = RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kClassIdText),
                                 sizeof kClassIdText) == ERROR_SUCCESS;
    }
    ~ProgIdIn64BitView()
    {
        if (!written) return;
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\UnLha.Command.1", KEY_WOW64_64KEY, 0);
    }
};

// The first activation from the 64-bit host, as the comment at the top says.
void FirstActivation64()
{
    for (int attempt = 1; attempt <= kActivationAttempts; ++attempt) {
        int starts = 0;
        const ServiceProcess rpcss = WaitForRpcSubsystem(kRpcSubsystemLimitMs, &starts);
        const ProcessResult result = RunProcess(RunCommandLine(Cscript64(), "echo warm"), kActivationLimitMs);
        if (result.exitCode == 0) return;
        const int ended = EndSurrogates();
        std::printf("installer: 64-bit activation attempt %d of %d failed (exit code %lu; RpcSs state %lu, process "
                    "%lu, %d start(s) asked); ended %d surrogate(s)%s\n",
                    attempt, kActivationAttempts, static_cast<unsigned long>(result.exitCode),
                    static_cast<unsigned long>(rpcss.state), static_cast<unsigned long>(rpcss.processId), starts,
                    ended, attempt < kActivationAttempts ? "; retrying" : "");
        std::fflush(stdout);
    }
}

void Reaches64BitHost()
{
    ProgIdIn64BitView progId;
    ExpectEcho(Cscript32());
    FirstActivation64();
    ExpectEcho(Cscript64());
    // The surrogate keeps vesker.DLL loaded for a while; the later steps
    // replace and remove it.
    EndSurrogates();
}

void RepairKeepsFeature()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()) + kRepair);
    ExpectFeatureEntries(true);
}

void RemovesFeature()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()) + L" REMOVE=Clients64");
    ExpectFeatureEntries(false);
    ExpectInstalled(Current());
    ExpectEcho(Cscript32());
}

void ReinstallsWithFeature()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/x " + Quoted(Current()));
    ExpectClassesAsBefore();
    ExpectMsiexec(ERROR_SUCCESS, L"/i " + Quoted(Current()) + L" ADDLOCAL=ALL");
    ExpectFeatureEntries(true);
}

void RemovesAll64()
{
    ExpectMsiexec(ERROR_SUCCESS, L"/x " + Quoted(Current()));
    EXPECT_TRUE(InstalledVersions().empty());
    ExpectClassesAsBefore();
    EXPECT_EQ("", DescribeDifferences(machine64.classes64Before, Classes64())) << "the 64-bit view";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(InstallFolder().c_str())) << "the install folder stays";
}

TEST(Clients64, TheFeatureOpensTheComponentToThe64BitHost)
{
    SurrogateReaper reaper;
    const Step steps[] = {
        {"the prefix holds nothing of vesker", StartsEmpty64},
        {"installed without the feature: nothing for 64-bit clients", InstallsWithoutFeature},
        {"ADDLOCAL=Clients64 adds the two entries", AddsFeature},
        {"the 64-bit script host reaches the object", Reaches64BitHost},
        {"repair keeps them", RepairKeepsFeature},
        {"REMOVE=Clients64 removes exactly them", RemovesFeature},
        {"ADDLOCAL=ALL on a fresh install writes them", ReinstallsWithFeature},
        {"removal leaves both views as before", RemovesAll64},
    };
    RunSteps(steps, sizeof steps / sizeof steps[0]);
}

} // namespace
