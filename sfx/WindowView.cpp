#include "sfx/WindowView.h"

#include "archiver/commands/ReturnCode.h"

namespace sfx {

namespace {

const char kClassName[] = "VeskerSfxProgress";
const int kWidth = 420, kHeight = 110;
const unsigned kMaxShownFailures = 12;
const uint64_t kPermille = 1000;

std::string Hex(int code)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xF];
    return text;
}

} // namespace

WindowView::WindowView(const std::string& title) : title_(title)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_WAIT);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    // Without the window the run goes on; only the progress is not seen.
    window_.reset(CreateWindowExA(0, kClassName, title.c_str(), WS_POPUP | WS_CAPTION, x, y, kWidth, kHeight,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), this));
    if (window_) ShowWindow(window_.get(), SW_SHOWNORMAL);
}

void WindowView::Line(const std::string& text, int code)
{
    if (code == lha::kSuccess) return;
    if (++lines_ <= kMaxShownFailures) failures_ += text + "\n";
}

void WindowView::Progress(const std::string& name, uint64_t done, uint64_t total)
{
    name_ = name;
    permille_ = total ? static_cast<unsigned>(done * kPermille / total) : static_cast<unsigned>(kPermille);
    if (!window_) return;
    InvalidateRect(window_.get(), nullptr, TRUE);
    UpdateWindow(window_.get());
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void WindowView::Finish(int code, const std::string& destination)
{
    if (window_) ShowWindow(window_.get(), SW_HIDE);
    std::string text;
    UINT icon = MB_ICONINFORMATION;
    if (code == lha::kSuccess) {
        text = "The files were extracted into\n" + destination;
    } else {
        text = failures_;
        if (lines_ > kMaxShownFailures) text += "...\n";
        text += "\nNot every file was extracted (code " + Hex(code) + ").";
        icon = lha::IsError(code) ? MB_ICONERROR : MB_ICONWARNING;
    }
    MessageBoxA(nullptr, text.c_str(), title_.c_str(), MB_OK | icon | MB_SETFOREGROUND);
}

LRESULT CALLBACK WindowView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    WindowView* view = reinterpret_cast<WindowView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (view && message == WM_PAINT) {
        view->Paint(window);
        return 0;
    }
    // The run cannot be stopped half-way from here: closing waits for its end.
    if (message == WM_CLOSE) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

void WindowView::Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT text = {12, 12, kWidth - 24, 32};
    DrawTextA(dc, name_.c_str(), static_cast<int>(name_.size()), &text, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX);
    RECT bar = {12, 40, kWidth - 24, 58};
    FrameRect(dc, &bar, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&bar, -2, -2);
    bar.right = bar.left + static_cast<LONG>((bar.right - bar.left) * permille_ / kPermille);
    FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
    EndPaint(window, &paint);
}

} // namespace sfx
