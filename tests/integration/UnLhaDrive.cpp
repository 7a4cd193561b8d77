#include "tests/integration/UnLhaDrive.h"

#include "client/BstrText.h"

namespace {

class Checks {
public:
    void Expect(bool holds, const char* what)
    {
        if (!holds) failures_.push_back(what);
    }
    std::vector<std::string> Take() { return std::move(failures_); }

private:
    std::vector<std::string> failures_;
};

HRESULT RunCommand(IUnLha* unlha, const std::wstring& commandLine)
{
    const UniqueBstr line = MakeBstr(commandLine);
    if (!line) return E_OUTOFMEMORY;
    return unlha->DoIt(line.get());
}

// The text of the latest command, or a marker no archiver writes when the call fails.
std::wstring ResultText(IUnLha* unlha)
{
    UniqueBstr text;
    if (FAILED(unlha->get_ResultString(text.put()))) return L"<get_ResultString failed>";
    return BstrText(text.get());
}

bool ErrorCodeIs(IUnLha* unlha, LONG expected)
{
    LONG code = expected + 1;
    return unlha->get_ErrorCode(&code) == S_OK && code == expected;
}

bool HwndIs(IUnLha* unlha, UINT expected)
{
    UINT hwnd = expected + 1;
    return unlha->get_hwnd(&hwnd) == S_OK && hwnd == expected;
}

} // namespace

std::wstring RoundTripText()
{
    return GetACP() == 932 ? L"\u65e5\u672c\u8a9e\u306e\u8868\u793a" : L"caf\u00e9\u00df";
}

std::vector<std::string> DriveUnLha(IUnLha* unlha, const std::wstring& text)
{
    Checks checks;
    checks.Expect(HwndIs(unlha, 0), "hwnd starts at 0");
    checks.Expect(unlha->put_hwnd(4660) == S_OK, "hwnd can be set");
    checks.Expect(HwndIs(unlha, 4660), "hwnd keeps its value");

    checks.Expect(RunCommand(unlha, L"echo " + text) == S_OK, "DoIt echo succeeds");
    checks.Expect(ErrorCodeIs(unlha, 0), "echo gives ErrorCode 0");
    checks.Expect(ResultText(unlha) == text, "echo gives the text back unchanged");

    checks.Expect(RunCommand(unlha, L"args") == S_OK, "DoIt args succeeds");
    checks.Expect(ResultText(unlha) == L"hwnd=4660 size=65536 cmdline=args", "the archiver receives hwnd");

    checks.Expect(RunCommand(unlha, L"exit -5 five") == S_OK, "DoIt exit succeeds");
    checks.Expect(ErrorCodeIs(unlha, -5), "a failing command gives its ErrorCode");
    checks.Expect(ResultText(unlha) == L"five", "a failing command gives its text");
    return checks.Take();
}

bool IsProxy(IUnLha* unlha)
{
    IUnknown* multiQi = nullptr;
    if (FAILED(unlha->QueryInterface(IID_IMultiQI, reinterpret_cast<void**>(&multiQi)))) return false;
    multiQi->Release();
    return true;
}
