// archiver-batch: runs archiver command lines straight through the command
// entry of the UNLHA32.dll beside it, for the host-side tests.
//   archiver-batch.exe <commands file> <results file>
// The commands file holds one command line per line in UTF-8; each is turned
// into the system ANSI code page, as a client of the library would pass it.
// The results file gets, per command, "<return code> <byte count>\n", the text
// the library wrote (ANSI turned into UTF-8) and "\n".
// Exit status 0 when every command ran; 1, with a message on stderr, when the
// library or a file could not be opened.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef int(WINAPI* CommandEntry)(HWND, LPCSTR, LPSTR, DWORD);
const DWORD kOutputSize = 65536;

std::wstring Convert(const std::string& text, UINT codePage)
{
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Convert(const std::wstring& text, UINT codePage)
{
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(length, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

std::wstring LibraryBesideProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"UNLHA32.dll";
}

int Fail(const char* message)
{
    std::fprintf(stderr, "archiver-batch: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return Fail("usage: archiver-batch <commands file> <results file>");
    HMODULE library = LoadLibraryW(LibraryBesideProgram().c_str());
    if (!library) return Fail("cannot load the UNLHA32.dll beside the program");
    auto entry = reinterpret_cast<CommandEntry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
    if (!entry) return Fail("UNLHA32.dll has no ordinal 1");
    std::ifstream commands(argv[1], std::ios::binary);
    std::ofstream results(argv[2], std::ios::binary);
    if (!commands || !results) return Fail("cannot open the commands or the results file");

    std::vector<char> output(kOutputSize);
    std::string line;
    while (std::getline(commands, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string ansi = Convert(Convert(line, CP_UTF8), CP_ACP);
        output[0] = '\0';
        const int code = entry(nullptr, ansi.c_str(), output.data(), kOutputSize);
        const std::string text = Convert(Convert(std::string(output.data(), strnlen(output.data(), kOutputSize)), CP_ACP), CP_UTF8);
        results << code << ' ' << text.size() << '\n' << text << '\n';
    }
    FreeLibrary(library);
    return results ? 0 : Fail("cannot write the results file");
}
