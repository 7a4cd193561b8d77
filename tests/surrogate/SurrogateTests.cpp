// vesker.DLL reaching 64-bit clients through the system's DLL surrogate, in a
// 64-bit (WoW64) Wine prefix made fresh for each run. This program is 32-bit:
// it is the in-process client, and it starts the 32-bit regsvr32, the 64-bit
// reg.exe and script host, and the 64-bit early-bound client unlha-client64.exe.
#include "SurrogateProcesses.h"
#include "common/PlatformOwners.h"
#include "tests/integration/ProcessRunner.h"
#include "tests/integration/RegistrySnapshot.h"
#include "tests/integration/UnLhaDrive.h"
#include "tests/integration/UnLhaRegistryNames.h"
#include "tests/registration/RegistrationTestSupport.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const wchar_t kAppIdKey[] = L"Software\\Classes\\AppID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const wchar_t kClassKey64[] = L"Software\\Classes\\CLSID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const char kCreatedTag[] = "created ";

// Wine: COM starts RpcSs on demand, and in a fresh WoW64 prefix the service
// control manager may give up on that start (ERROR_SERVICE_REQUEST_TIMEOUT)
// and end rpcss again, over and over for a minute or more. A surrogate started
// meanwhile registers its class where no client finds it, and its client then
// asks rpcss for the class for ever: the test's first activation hung. Such an
// rpcss says it runs, but the manager names no process for it. So the first
// activation waits until RpcSs runs in the manager's process; one that still
// does not complete in its time is ended, with its surrogates, and tried again
// a bounded number of times, each retry said and why. Windows runs RpcSs from
// boot on.
const DWORD kRpcSubsystemLimitMs = 180000;
const DWORD kActivationLimitMs = 45000;
const int kActivationAttempts = 4;

// The 32-bit system folder, and the 64-bit one as a 32-bit program names it.
std::wstring System32BitFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\";
}

std::wstring System64BitFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\Sysnative\\";
}

// The key in the 64-bit view, and everything beneath it; empty when missing.
RegistrySnapshot Snapshot64(const wchar_t* path)
{
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) return {};
    return TakeSnapshot(key.get(), L"");
}

// --- The installation steps -------------------------------------------------

void Run32BitRegsvr32(const wchar_t* options)
{
    const ProcessResult result =
        RunProcess(Quoted(System32BitFolder() + L"regsvr32.exe") + L" /s " + options + Quoted(BinModule()));
    ASSERT_TRUE(result.started);
    ASSERT_EQ(0u, result.exitCode) << result.output;
}

void Register()
{
    Run32BitRegsvr32(L"");
}

void Unregister()
{
    Run32BitRegsvr32(L"/u ");
}

void Import(const wchar_t* registryFile)
{
    const ProcessResult result =
        RunProcess(Quoted(System64BitFolder() + L"reg.exe") + L" import " + Quoted(BinFolder() + registryFile));
    ASSERT_TRUE(result.started);
    ASSERT_EQ(0u, result.exitCode) << result.output;
}

std::wstring Client64CommandLine()
{
    return Quoted(BinFolder() + L"unlha-client64.exe") + L" " + Quoted(RoundTripText());
}

const char* ServiceStateName(DWORD state)
{
    static const struct {
        DWORD state;
        const char* name;
    } kNames[] = {{SERVICE_RUNNING, "running"},
                  {SERVICE_STOPPED, "stopped"},
                  {SERVICE_START_PENDING, "starting"},
                  {SERVICE_STOP_PENDING, "stopping"}};
    for (const auto& row : kNames) {
        if (row.state == state) return row.name;
    }
    return "unknown";
}

// The first activation after the import, in one stretch: RpcSs running first,
// then the 64-bit client, retried as the comment at the top says.
void FirstActivation()
{
    for (int attempt = 1; attempt <= kActivationAttempts; ++attempt) {
        const DWORD waitStarted = GetTickCount();
        int starts = 0;
        const ServiceProcess before = WaitForRpcSubsystem(kRpcSubsystemLimitMs, &starts);
        std::printf("surrogate: RpcSs %s (process %lu) after %lu ms and %d start(s) asked\n",
                    ServiceStateName(before.state), static_cast<unsigned long>(before.processId),
                    static_cast<unsigned long>(GetTickCount() - waitStarted), starts);
        const DWORD activationStarted = GetTickCount();
        const ProcessResult result = RunProcess(Client64CommandLine(), kActivationLimitMs);
        if (result.exitCode == 0) {
            std::printf("surrogate: first activation completed in %lu ms (attempt %d)\n",
                        static_cast<unsigned long>(GetTickCount() - activationStarted), attempt);
            return;
        }
        const int ended = EndSurrogates();
        const ServiceProcess after = RpcSubsystem();
        // A change of process is shown only when both are known.
        const bool replaced = before.processId && after.processId && before.processId != after.processId;
        std::printf("surrogate: attempt %d of %d failed: the 64-bit client %s (exit code %lu); RpcSs now %s "
                    "(process %lu%s); ended %d surrogate(s)%s\n",
                    attempt, kActivationAttempts,
                    result.exitCode == WAIT_TIMEOUT ? "did not complete in its time" : "failed",
                    static_cast<unsigned long>(result.exitCode), ServiceStateName(after.state),
                    static_cast<unsigned long>(after.processId), replaced ? ", not the one before" : "", ended,
                    attempt < kActivationAttempts ? "; retrying" : "");
        std::fflush(stdout);
    }
}

void Enable()
{
    Import(L"Enable64BitClients.reg");
    FirstActivation();
}

void Disable()
{
    Import(L"Disable64BitClients.reg");
}

// --- What each step must leave ----------------------------------------------

void ExpectRegistry(const RegistrySnapshot& registeredClass, bool appIdValue, bool appIdKey)
{
    RegistrySnapshot expectedClass = registeredClass;
    if (appIdValue) expectedClass[L""][L"AppID"] = Text(kClassIdText);
    EXPECT_EQ("", DescribeDifferences(expectedClass, TakeSnapshot(HKEY_CLASSES_ROOT, kClassKey)))
        << "the 32-bit view's class key";

    const RegistrySnapshot expectedAppId = {{L"", {{L"DllSurrogate", Text(L"")}}}};
    EXPECT_EQ("", DescribeDifferences(appIdKey ? expectedAppId : RegistrySnapshot(), Snapshot64(kAppIdKey)))
        << "the AppID key";
    EXPECT_TRUE(Snapshot64(kClassKey64).empty()) << "the 64-bit view never gets a class key";
}

// The 32-bit client creates the object in its own process.
void ExpectInProcessClient(HRESULT expected)
{
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IUnLha* unlha = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_UnLha, nullptr, CLSCTX_INPROC_SERVER, IID_IUnLha,
                                             reinterpret_cast<void**>(&unlha));
    EXPECT_EQ(HexResult(expected), HexResult(created)) << "32-bit in-process client";
    if (SUCCEEDED(created)) {
        EXPECT_FALSE(IsProxy(unlha)) << "the 32-bit client gets the object itself";
        EXPECT_NE(nullptr, GetModuleHandleW(L"vesker.DLL")) << "vesker.DLL is loaded in the client";
        for (const std::string& failure : DriveUnLha(unlha, RoundTripText())) ADD_FAILURE() << "32-bit: " << failure;
        unlha->Release();
    }
    CoUninitialize();
}

// The HRESULT that unlha-client64.exe reports for its CoCreateInstance.
HRESULT CreationResult(const std::string& output)
{
    const size_t at = output.find(kCreatedTag);
    unsigned long value = E_UNEXPECTED;
    if (at == std::string::npos || std::sscanf(output.c_str() + at + sizeof kCreatedTag - 1, "%lx", &value) != 1) {
        return E_UNEXPECTED;
    }
    return static_cast<HRESULT>(value);
}

// Windows answers a class that 64-bit clients cannot reach with "class not
// registered". Wine 8 does too when no view has the class key, but says "key
// missing" when the 32-bit view has one without a way out of process.
bool IsClassNotRegistered(HRESULT hr)
{
    return hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_KEYMISSING;
}

void ExpectClient64(bool reaches)
{
    const ProcessResult result = RunProcess(Client64CommandLine());
    ASSERT_TRUE(result.started);
    const HRESULT created = CreationResult(result.output);
    if (reaches) {
        EXPECT_EQ(HexResult(S_OK), HexResult(created)) << result.output;
        EXPECT_NE(std::string::npos, result.output.find("proxy 1")) << result.output;
    } else {
        EXPECT_TRUE(IsClassNotRegistered(created)) << result.output;
    }
    EXPECT_EQ(reaches ? 0u : 1u, result.exitCode) << result.output;
}

bool StartedSurrogateSince(const std::vector<DWORD>& before)
{
    for (DWORD id : SurrogateProcessIds()) {
        if (std::find(before.begin(), before.end(), id) == before.end()) return true;
    }
    return false;
}

// Ends the surrogates when the test is done, whichever way.
struct SurrogateReaper {
    ~SurrogateReaper() { EndSurrogates(); }
};

void ExpectScripts64(bool pass)
{
    for (const wchar_t* script : {L"UnLhaCheck.vbs", L"UnLhaCheck.js"}) {
        SCOPED_TRACE(Narrow(script));
        const ProcessResult result = RunProcess(Quoted(System64BitFolder() + L"cscript.exe") + L" //nologo " +
                                                Quoted(BinFolder() + script) + L" " + Quoted(RoundTripText()));
        ASSERT_TRUE(result.started);
        // Wine's cscript exits 0 also when the script stops on an error, so
        // the sentinel, printed last, is what tells.
        EXPECT_EQ(pass, result.output.find(kScriptSentinel) != std::string::npos) << result.output;
    }
}

struct Step {
    const char* name;
    void (*take)();
    bool registered; // the 32-bit class is registered
    bool appIdValue; // its class key names the AppID
    bool appIdKey;   // the AppID key asks for the surrogate
};

TEST(Surrogate, EachInstallationStepGivesItsReach)
{
    SurrogateReaper reaper;
    ASSERT_TRUE(TakeSnapshot(HKEY_CLASSES_ROOT, kClassKey).empty()) << "the prefix must start unregistered";
    RegistrySnapshot classesBefore;
    RegistrySnapshot registeredClass;

    const Step steps[] = {
        {"not registered yet", [] {}, false, false, false},
        {"registered with the 32-bit regsvr32", Register, true, false, false},
        {"Enable64BitClients.reg imported", Enable, true, true, true},
        // regsvr32 rebuilds the class key, so the user guide says to import again.
        {"registered again", Register, true, false, true},
        {"Disable64BitClients.reg imported", Disable, true, false, false},
        {"unregistered with regsvr32 /u", Unregister, false, false, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.take();
        if (HasFatalFailure()) return;
        if (step.registered && registeredClass.empty()) registeredClass = TakeSnapshot(HKEY_CLASSES_ROOT, kClassKey);
        if (step.registered) ExpectRegistry(registeredClass, step.appIdValue, step.appIdKey);
        const bool reaches = step.registered && step.appIdValue && step.appIdKey;

        const std::vector<DWORD> surrogatesBefore = SurrogateProcessIds();
        ExpectInProcessClient(step.registered ? S_OK : REGDB_E_CLASSNOTREG);
        ExpectClient64(reaches);
        ExpectScripts64(reaches);
        EXPECT_EQ(reaches, StartedSurrogateSince(surrogatesBefore)) << "dllhost.exe serves the 64-bit clients";
        // The script host registers its own type library on its first run.
        if (classesBefore.empty()) classesBefore = TakeSnapshot(HKEY_CLASSES_ROOT, L"");
    }

    // Unregistered, the prefix's registry is as before, save the type library
    // registration that stays, and holds no AppID key.
    ASSERT_FALSE(classesBefore.empty());
    const std::wstring wow64 = L"Wow6432Node\\"; // how Wine 8 lists the 32-bit view's own keys
    EXPECT_EQ("", DescribeDifferences(classesBefore, TakeSnapshot(HKEY_CLASSES_ROOT, L""),
                                      {kTypeLibKey, kInterfaceKey, wow64 + kTypeLibKey, wow64 + kInterfaceKey}));
    EXPECT_TRUE(Snapshot64(kAppIdKey).empty());
    EXPECT_TRUE(Snapshot64(kClassKey64).empty());
}

} // namespace
