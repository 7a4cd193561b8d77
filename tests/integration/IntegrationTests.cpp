// The component as its users meet it: registered with regsvr32, created
// through the registry by an early-bound C++ client and by script hosts.
// Runs in a Wine prefix of its own, made fresh for each run, so the registry
// holds nothing of the component before the first test.
#include "ProcessRunner.h"
#include "RegistrySnapshot.h"
#include "UnLhaDrive.h"
#include "UnLhaRegistryNames.h"
#include "tests/registration/RegistrationTestSupport.h"
#include "vesker.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace {

const wchar_t kVersionedProgId[] = L"UnLha.Command.1";
const wchar_t kProgId[] = L"UnLha.Command";

// The keys that registration writes, each a subtree of HKEY_CLASSES_ROOT.
const wchar_t* const kRegisteredTrees[] = {kVersionedProgId, kProgId, kClassKey};

// HKEY_CLASSES_ROOT-relative path -> values, as registration must leave them.
RegistrySnapshot ExpectedEntries(const std::wstring& modulePath)
{
    const std::wstring cls = kClassKey;
    return RegistrySnapshot{
        {kVersionedProgId, {{L"", Text(L"UnLha Class")}}},
        {std::wstring(kVersionedProgId) + L"\\CLSID", {{L"", Text(kClassIdText)}}},
        {kProgId, {{L"", Text(L"UnLha Class")}}},
        {std::wstring(kProgId) + L"\\CurVer", {{L"", Text(kVersionedProgId)}}},
        {cls, {{L"", Text(L"UnLha Class")}}},
        {cls + L"\\ProgID", {{L"", Text(kVersionedProgId)}}},
        {cls + L"\\VersionIndependentProgID", {{L"", Text(kProgId)}}},
        {cls + L"\\Programmable", {}},
        {cls + L"\\InprocServer32", {{L"", Text(modulePath)}, {L"ThreadingModel", Text(L"Apartment")}}},
    };
}

// The registration's subtrees, with paths relative to HKEY_CLASSES_ROOT.
RegistrySnapshot RegisteredEntries()
{
    RegistrySnapshot entries;
    for (const wchar_t* tree : kRegisteredTrees) {
        for (auto& [path, values] : TakeSnapshot(HKEY_CLASSES_ROOT, tree)) {
            entries[path.empty() ? std::wstring(tree) : std::wstring(tree) + L"\\" + path] = values;
        }
    }
    return entries;
}

ProcessResult Regsvr32(const std::wstring& modulePath, bool unregister = false)
{
    return RunProcess(L"regsvr32 /s " + std::wstring(unregister ? L"/u " : L"") + Quoted(modulePath));
}

void ExpectTypeLibRegisteredFrom(const std::wstring& modulePath)
{
    const std::wstring version = std::wstring(kTypeLibKey) + L"\\1.0";
    const std::wstring folder = modulePath.substr(0, modulePath.find_last_of(L'\\') + 1);
    EXPECT_EQ(TextValue(Narrow(modulePath)), ReadValue(HKEY_CLASSES_ROOT, Narrow(version + L"\\0\\win32"), ""));
    EXPECT_EQ(TextValue(Narrow(folder)), ReadValue(HKEY_CLASSES_ROOT, Narrow(version + L"\\HELPDIR"), ""));
}

void ExpectNotRegistered()
{
    for (const wchar_t* tree : kRegisteredTrees) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Narrow(tree))) << Narrow(tree);
}

void RegisterFromBin()
{
    const ProcessResult result = Regsvr32(BinModule());
    ASSERT_TRUE(result.started);
    ASSERT_EQ(0u, result.exitCode) << result.output;
}

TEST(Regsvr32, RegisterThenUnregisterLeavesClassesRootAsItWas)
{
    ExpectNotRegistered();
    const RegistrySnapshot before = TakeSnapshot(HKEY_CLASSES_ROOT, L"");
    ASSERT_FALSE(before.empty());

    RegisterFromBin();
    EXPECT_EQ("", DescribeDifferences(ExpectedEntries(BinModule()), RegisteredEntries()));
    ExpectTypeLibRegisteredFrom(BinModule());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "unregister" : "unregister again");
        const ProcessResult result = Regsvr32(BinModule(), true);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(0u, result.exitCode) << result.output;
        ExpectNotRegistered();
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));

    // Only the type library registration stays; nothing else moved.
    const RegistrySnapshot after = TakeSnapshot(HKEY_CLASSES_ROOT, L"");
    EXPECT_EQ("", DescribeDifferences(before, after, {kTypeLibKey, kInterfaceKey}));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Narrow(std::wstring(kTypeLibKey) + L"\\1.0\\0\\win32")))
        << "the type library stays registered";
}

TEST(Regsvr32, RegisteringAgainRebuildsTheClassKeyAndKeepsOthersEntries)
{
    RegisterFromBin();
    const RegistrySnapshot once = RegisteredEntries();
    RegisterFromBin();
    EXPECT_EQ("", DescribeDifferences(once, RegisteredEntries())) << "registering twice equals registering once";

    // What other software may have left: under the class key it goes, under
    // the ProgID keys it stays.
    struct Leftover {
        const char* name;
        std::wstring key;
        bool survives;
    } const leftovers[] = {
        {"stale subkey of the class key", std::wstring(kClassKey) + L"\\Stale", false},
        {"stale subkey below InprocServer32", std::wstring(kClassKey) + L"\\InprocServer32\\Stale", false},
        {"extra subkey of the versioned ProgID", std::wstring(kVersionedProgId) + L"\\Extra", true},
        {"extra subkey of the ProgID", std::wstring(kProgId) + L"\\Extra", true},
    };
    for (const Leftover& leftover : leftovers) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, leftover.key.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExW(key, L"Left", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
        RegCloseKey(key);
    }
    RegisterFromBin();
    for (const Leftover& leftover : leftovers) {
        SCOPED_TRACE(leftover.name);
        EXPECT_EQ(leftover.survives, KeyExists(HKEY_CLASSES_ROOT, Narrow(leftover.key)));
        if (leftover.survives) DeleteTree(HKEY_CLASSES_ROOT, Narrow(leftover.key));
    }
    EXPECT_EQ("", DescribeDifferences(once, RegisteredEntries()));
}

// Windows' CLSIDFromProgID: the ProgID's CLSID subkey, or else the class of
// the ProgID that its CurVer names.
std::wstring ClassOfProgId(const std::wstring& progId, int depth = 0)
{
    const auto classId = ReadValue(HKEY_CLASSES_ROOT, Narrow(progId + L"\\CLSID"), "");
    if (classId) return Widen(classId->data.c_str());
    const auto current = ReadValue(HKEY_CLASSES_ROOT, Narrow(progId + L"\\CurVer"), "");
    if (!current || depth > 4) return std::wstring();
    return ClassOfProgId(Widen(current->data.c_str()), depth + 1);
}

TEST(ProgIds, BothLeadToTheClass)
{
    RegisterFromBin();
    // Wine 8's CLSIDFromProgID does not follow CurVer; Windows does. So the
    // version-independent name is resolved here the way Windows resolves it.
    EXPECT_EQ(kClassIdText, ClassOfProgId(kProgId));
    CLSID classId;
    ASSERT_EQ(S_OK, CLSIDFromProgID(kVersionedProgId, &classId));
    EXPECT_TRUE(IsEqualCLSID(CLSID_UnLha, classId));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_UnLha, &progId));
    EXPECT_STREQ(kVersionedProgId, progId);
    CoTaskMemFree(progId);
}

struct ClientOutcome {
    HRESULT created;
    bool proxy;
    std::vector<std::string> failures;
};

struct EarlyBoundRun {
    DWORD model;
    ClientOutcome outcome;
};

// Creates the object through the registry in an apartment of `model` on a
// thread of its own, and drives every member through the interface table.
DWORD WINAPI DriveEarlyBound(void* parameter)
{
    EarlyBoundRun* run = static_cast<EarlyBoundRun*>(parameter);
    ClientOutcome* outcome = &run->outcome;
    CoInitializeEx(nullptr, run->model);
    IUnLha* unlha = nullptr;
    outcome->created = CoCreateInstance(CLSID_UnLha, nullptr, CLSCTX_INPROC_SERVER, IID_IUnLha,
                                        reinterpret_cast<void**>(&unlha));
    if (SUCCEEDED(outcome->created)) {
        outcome->proxy = IsProxy(unlha);
        outcome->failures = DriveUnLha(unlha, RoundTripText());
        unlha->Release();
    }
    CoUninitialize();
    return 0;
}

TEST(EarlyBoundClient, CreatesThroughTheRegistryFromEitherApartment)
{
    RegisterFromBin();
    struct ApartmentCase {
        const char* name;
        DWORD model;
        bool proxy; // an Apartment object reaches a multithreaded client through a proxy
    } const cases[] = {
        {"single-threaded apartment", COINIT_APARTMENTTHREADED, false},
        {"multithreaded apartment", COINIT_MULTITHREADED, true},
    };
    for (const ApartmentCase& c : cases) {
        SCOPED_TRACE(c.name);
        EarlyBoundRun run = {c.model, {E_UNEXPECTED, false, {}}};
        HANDLE thread = CreateThread(nullptr, 0, DriveEarlyBound, &run, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 120000));
        CloseHandle(thread);
        ASSERT_EQ(HexResult(S_OK), HexResult(run.outcome.created));
        EXPECT_EQ(c.proxy, run.outcome.proxy);
        for (const std::string& failure : run.outcome.failures) ADD_FAILURE() << failure;
    }
}

bool WriteFileText(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// Runs a check script in the console script host; it prints the sentinel as
// its last line only when every check held.
ProcessResult RunCheckScript(const std::wstring& script)
{
    return RunProcess(L"cscript //nologo " + Quoted(BinFolder() + script) + L" " + Quoted(RoundTripText()));
}

void ExpectScriptPassed(const ProcessResult& result)
{
    ASSERT_TRUE(result.started);
    EXPECT_EQ(0u, result.exitCode) << result.output;
    // Wine's cscript exits 0 and prints nothing when a script stops on an
    // uncaught error, so the sentinel is what proves the script ran to its end.
    EXPECT_NE(std::string::npos, result.output.find(kScriptSentinel)) << result.output;
}

TEST(ScriptHosts, LateBoundScriptsDriveTheObject)
{
    RegisterFromBin();
    for (const wchar_t* script : {L"UnLhaCheck.vbs", L"UnLhaCheck.js"}) {
        SCOPED_TRACE(Narrow(script));
        ExpectScriptPassed(RunCheckScript(script));
    }
}

// Installed in folders with awkward names, the component registers its exact
// path and script hosts create it from there.
TEST(UnusualFolders, RegisterTheExactPathAndWork)
{
    struct FolderCase {
        const char* name;
        std::wstring folder;
    } const cases[] = {
        {"single quote", L"Archiver's Kit"},
        {"percent signs", L"100%MODULE%"},
        {"double-byte characters and a quote", L"\u8868\u793a's \u30c4\u30fc\u30eb"},
    };
    ScratchFolder scratch;
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!FitsSystemCodePage(c.folder)) continue; // an ANSI module cannot live there
        const std::wstring folder = scratch.MakeFolder(c.folder);
        const std::wstring module = ScratchFolder::CopyInto(BinModule(), folder, L"vesker.DLL");
        ASSERT_FALSE(module.empty());
        ASSERT_FALSE(ScratchFolder::CopyInto(BinFolder() + L"UNLHA32.dll", folder, L"UNLHA32.dll").empty());

        const ProcessResult registered = Regsvr32(module);
        ASSERT_EQ(0u, registered.exitCode) << registered.output;
        EXPECT_EQ(TextValue(Narrow(module)), ReadValue(HKEY_CLASSES_ROOT, Narrow(std::wstring(kClassKey) + L"\\InprocServer32"), ""));
        EXPECT_EQ("", DescribeDifferences(ExpectedEntries(module), RegisteredEntries()));
        ExpectTypeLibRegisteredFrom(module);
        ExpectScriptPassed(RunCheckScript(L"UnLhaCheck.js"));

        EXPECT_EQ(0u, Regsvr32(module, true).exitCode);
        ExpectNotRegistered();
    }
}

// The component on real traffic: our archiver (build/bin/archiver) behind it.
TEST(ArchiverTraffic, ScriptCreatesListsAndExtractsAnArchive)
{
    const std::wstring module = BinFolder() + L"archiver\\vesker.DLL";
    const ProcessResult registered = Regsvr32(module);
    ASSERT_TRUE(registered.started);
    ASSERT_EQ(0u, registered.exitCode) << registered.output;

    // Names beyond ASCII in the system code page: Japanese under 932 (trail
    // bytes 0x5C among them), accented Latin under 1252.
    struct SourceFile {
        const wchar_t* name932;
        const wchar_t* name1252;
        const char* content;
    } const files[] = {
        {L"plain.txt", L"plain.txt", "plain ASCII\r\n"},
        {L"\u8868\u793a.txt", L"caf\u00e9.txt", "trail byte 0x5C\r\n"},
        {L"\u30bd\u30d5\u30c8\u80fd\u529b.txt", L"na\u00efve r\u00e9sum\u00e9.txt", "more of them\r\n"},
        {L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8.txt", L"\u00c5ngstr\u00f6m.txt", "and this\r\n"},
    };
    ScratchFolder scratch;
    const std::wstring source = scratch.MakeFolder(L"source");
    for (const SourceFile& file : files) {
        const std::wstring path = source + L"\\" + (GetACP() == 932 ? file.name932 : file.name1252);
        ASSERT_TRUE(WriteFileText(path, file.content)) << Narrow(path);
    }
    // Long ASCII names make few members fill the 65,536-byte area.
    const std::wstring many = scratch.MakeFolder(L"many");
    const int kManyMembers = 500;
    for (int i = 0; i < kManyMembers; ++i) {
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

} // namespace
