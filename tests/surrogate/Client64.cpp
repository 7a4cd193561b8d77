// unlha-client64.exe: a 64-bit early-bound client of vesker's class.
//   unlha-client64.exe <text>
// Creates the object out of process (CLSCTX_LOCAL_SERVER), as a 64-bit program
// must, and drives IUnLha through its table with `text` as the echo's text.
// Prints "created <HRESULT in hex>", then, when created, "proxy <0|1>" and one
// "failed <check>" line per check that did not hold. Exits with 0 only when the
// object was created and every check held; 2 on a bad command line.
#include "tests/integration/UnLhaDrive.h"

#include <objbase.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: unlha-client64.exe <text>\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IUnLha* unlha = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_UnLha, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnLha,
                                             reinterpret_cast<void**>(&unlha));
    std::printf("created %08lX\n", static_cast<unsigned long>(created));
    int status = 1;
    if (SUCCEEDED(created)) {
        std::printf("proxy %d\n", IsProxy(unlha) ? 1 : 0);
        const std::vector<std::string> failures = DriveUnLha(unlha, argv[1]);
        for (const std::string& failure : failures) std::printf("failed %s\n", failure.c_str());
        unlha->Release();
        status = failures.empty() ? 0 : 1;
    }
    CoUninitialize();
    std::fflush(stdout);
    return status;
}
