// vesker-run: runs one archiver command line through a UnLha object of the
// vesker.DLL beside this program and prints what the object reports:
//   ErrorCode: <n>
//   ResultString: <text>
// Exit status 0 once the command ran; 1, with a message on stderr, when the
// component could not be loaded, created or called.
#include "client/ArchiverCommandLine.h"
#include "client/BstrText.h"
#include "common/InterfaceHolder.h"
#include "common/PlatformOwners.h"
#include "vesker.h"

#include <windows.h>

#include <string>

namespace {

const wchar_t ComponentFile[] = L"vesker.DLL";

// A console gets UTF-16 text as it is; a pipe or file (the Linux terminal when
// run under Wine) gets UTF-8 bytes, so Japanese text survives either way.
void WriteText(HANDLE handle, const std::wstring& text)
{
    DWORD mode, done;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
}

std::wstring Hex(HRESULT code)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

int Fail(const std::wstring& message)
{
    WriteText(GetStdHandle(STD_ERROR_HANDLE), L"vesker-run: " + message + L"\n");
    return 1;
}

std::wstring ComponentPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return ComponentFile;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + ComponentFile;
}

class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Runs the command and prints the results. The objects are released before
// the library goes.
int RunCommand(HMODULE component, const std::wstring& commandLine)
{
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(GetProcAddress(component, "DllGetClassObject"));
    if (!getClassObject) return Fail(L"vesker.DLL exports no DllGetClassObject");
    InterfaceHolder<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_UnLha, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return Fail(L"DllGetClassObject failed: " + Hex(hr));
    InterfaceHolder<IUnLha> command;
    hr = factory->CreateInstance(nullptr, IID_IUnLha, command.put_void());
    if (FAILED(hr)) return Fail(L"creating the UnLha object failed: " + Hex(hr));
    hr = command->put_hwnd(0);
    if (FAILED(hr)) return Fail(L"setting hwnd failed: " + Hex(hr));

    UniqueBstr line = MakeBstr(commandLine);
    hr = command->DoIt(line.get());
    if (FAILED(hr)) return Fail(L"DoIt failed: " + Hex(hr));
    LONG errorCode = 0;
    hr = command->get_ErrorCode(&errorCode);
    if (FAILED(hr)) return Fail(L"reading ErrorCode failed: " + Hex(hr));
    UniqueBstr result;
    hr = command->get_ResultString(result.put());
    if (FAILED(hr)) return Fail(L"reading ResultString failed: " + Hex(hr));

    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    WriteText(out, L"ErrorCode: " + std::to_wstring(errorCode) + L"\n");
    WriteText(out, L"ResultString: " + BstrText(result.get()) + L"\n");
    return 0;
}

} // namespace

int main()
{
    std::wstring commandLine = ArchiverCommandLine(GetCommandLineW());
    ComApartment apartment;
    if (FAILED(apartment.Result())) return Fail(L"CoInitializeEx failed: " + Hex(apartment.Result()));
    std::wstring path = ComponentPath();
    UniqueLibrary component(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!component) {
        DWORD error = GetLastError();
        return Fail(L"cannot load " + path + L": error " + std::to_wstring(error));
    }
    return RunCommand(component.get(), commandLine);
}
