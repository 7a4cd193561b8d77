// archiver-bench.exe: times archiver command lines inside the process, one
// call of the command entry of the UNLHA32.dll beside it each:
//   archiver-bench.exe "<command line>" ["<command line>" ...]
// Prints per command "<return code> <seconds>" on a line of its own (the time
// of the call alone, by QueryPerformanceCounter). bench/archiver-bench runs it.
// Exit status 0 when every call returned 0; 1 otherwise or when the library
// cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef int(WINAPI* CommandEntry)(HWND, LPCSTR, LPSTR, DWORD);
const DWORD kOutputSize = 65536;

std::wstring LibraryBesideProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"UNLHA32.dll";
}

} // namespace

int main(int argc, char** argv)
{
    HMODULE library = LoadLibraryW(LibraryBesideProgram().c_str());
    if (!library) {
        std::fprintf(stderr, "archiver-bench: cannot load the UNLHA32.dll beside the program\n");
        return 1;
    }
    auto entry = reinterpret_cast<CommandEntry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
    if (!entry) return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<char> output(kOutputSize);
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        QueryPerformanceCounter(&start);
        const int code = entry(nullptr, argv[i], output.data(), kOutputSize);
        QueryPerformanceCounter(&end);
        std::printf("%d %.6f\n", code, double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
        if (code != 0) {
            std::fprintf(stderr, "archiver-bench: \"%s\" returned %d: %.500s\n", argv[i], code, output.data());
            status = 1;
        }
    }
    FreeLibrary(library);
    return status;
}
