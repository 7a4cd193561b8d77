#include "archiver/progress/ProgressWindow.h"

#include "archiver/files/AnsiText.h"

#include <commctrl.h>

namespace lha {

namespace {

const UINT_PTR kRefreshTimer = 1;
const UINT kRefreshMs = 100;
const char kCancelText[] = "Cancel";
const char kCancellingText[] = "Cancelling...";
const char kTitleSeparator[] = " - ";

// The layout in pixels at the message font's line height `line`.
const int kMargin = 12;
const int kClientWidth = 460;
const int kBarHeight = 18;
const int kButtonWidth = 88;
const int kButtonExtra = 10;  // a button's height over the line's

const DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
const DWORD kWindowExStyle = WS_EX_DLGMODALFRAME;
const DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

using UniqueFont = UniqueResource<HFONT, DeleteObject>;

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// A service's window station (no WSF_VISIBLE) shows nothing to anyone: no
// window is made there. A station that cannot be asked counts as invisible.
bool StationIsVisible()
{
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The message font of the system, or the stock GUI font (never deleted)
// when it cannot be made.
HFONT MessageFont(UniqueFont& owned)
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        owned.reset(CreateFontIndirectA(&metrics.lfMessageFont));
    return owned ? owned.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int LineHeight(HFONT font)
{
    const int kFallback = 16;
    HDC screen = GetDC(nullptr);
    if (!screen) return kFallback;
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA metrics;
    const int height = GetTextMetricsA(screen, &metrics) ? metrics.tmHeight : kFallback;
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return height;
}

// Centred over the owner, or over the work area when there is none.
POINT Placement(HWND owner, int width, int height)
{
    RECT around;
    if (!owner || !GetWindowRect(owner, &around)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &around, 0);
    return POINT{around.left + (around.right - around.left - width) / 2,
                 around.top + (around.bottom - around.top - height) / 2};
}

HWND MakeChild(HWND parent, const char* className, const char* text, DWORD style, int id, const RECT& box, HFONT font)
{
    HWND child = CreateWindowExA(0, className, text, style, box.left, box.top, box.right - box.left,
                                 box.bottom - box.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ThisModule(), nullptr);
    if (child) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// Waits for `thread` to end, answering the messages other threads send to
// this one meanwhile (no posted message is taken): the window's thread may
// send to the owner, a window of this thread, as it goes.
void WaitAnsweringSentMessages(HANDLE thread)
{
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

// The window's controls, made and used on the window's thread only.
struct ProgressWindow::View {
    ProgressWindow* progress = nullptr;
    HWND window = nullptr;
    HWND verb = nullptr;
    HWND item = nullptr;
    HWND bar = nullptr;
    HWND cancel = nullptr;
    UniqueFont font;
    unsigned shownSerial = 0;
};

ProgressWindow::ProgressWindow(OwnerGuard& owner, const char* verb, const std::string& archive)
    : owner_(owner), verb_(verb), archive_(archive), start_(GetTickCount())
{
}

ProgressWindow::~ProgressWindow()
{
    owner_.Restore();
    if (!thread_) return;
    SetEvent(finished_.get());
    WaitAnsweringSentMessages(thread_.get());
}

void ProgressWindow::Advance(uint64_t bytes)
{
    done_ += bytes;
    StartWhenDue();
}

void ProgressWindow::StartWhenDue()
{
    if (started_.load(std::memory_order_relaxed) || GetTickCount() - start_ < kDelayMs) return;
    if (started_.exchange(true)) return;
    finished_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!finished_) return;
    // A small stack: the thread holds a window and a few strings.
    const DWORD kStack = 256 * 1024;
    thread_.reset(CreateThread(nullptr, kStack, Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

void ProgressWindow::Item(const std::string& name)
{
    AcquireSRWLockExclusive(&itemLock_);
    item_ = name;
    ReleaseSRWLockExclusive(&itemLock_);
    ++itemSerial_;
    StartWhenDue();
}

DWORD WINAPI ProgressWindow::Run(void* self)
{
    static_cast<ProgressWindow*>(self)->ShowUntilFinished();
    return 0;
}

void ProgressWindow::ShowUntilFinished()
{
    if (WaitForSingleObject(finished_.get(), 0) != WAIT_TIMEOUT) return;
    if (!StationIsVisible()) return;
    View view;
    view.progress = this;
    if (!Create(view)) return;
    Refresh(view);
    SetTimer(view.window, kRefreshTimer, kRefreshMs, nullptr);
    // Shown without activation: the caller's thread is busy with the run, and
    // another program's window keeps the focus. A click activates it.
    ShowWindow(view.window, SW_SHOWNOACTIVATE);
    PumpUntilFinished(view.window);
    DestroyWindow(view.window);
    // Fails while another run's window still uses the class; that run's
    // thread unregisters it then.
    UnregisterClassA(kClassName, ThisModule());
}

bool ProgressWindow::Create(View& view)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    const HFONT font = MessageFont(view.font);
    const int line = LineHeight(font);
    const int buttonHeight = line + kButtonExtra;
    const int labelWidth = kClientWidth - 2 * kMargin;
    const int clientHeight = kMargin + 3 * (line + kMargin / 2) + kBarHeight + kMargin + buttonHeight + kMargin;
    RECT frame{0, 0, kClientWidth, clientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const POINT at = Placement(owner_.Window(), width, height);
    const std::string title = std::string(verb_) + kTitleSeparator + archive_.substr(FolderPart(archive_).size());
    view.window = CreateWindowExA(kWindowExStyle, kClassName, title.c_str(), kWindowStyle, at.x, at.y, width, height,
                                  owner_.Window(), nullptr, ThisModule(), &view);
    if (!view.window) return false;

    int top = kMargin;
    const auto nextLine = [&](int rowHeight) {
        const RECT box{kMargin, top, kMargin + labelWidth, top + rowHeight};
        top += rowHeight + kMargin / 2;
        return box;
    };
    view.verb = MakeChild(view.window, "STATIC", verb_, kLabelStyle | SS_ENDELLIPSIS, 0, nextLine(line), font);
    MakeChild(view.window, "STATIC", archive_.c_str(), kLabelStyle | SS_PATHELLIPSIS, 0, nextLine(line), font);
    view.item = MakeChild(view.window, "STATIC", "", kLabelStyle | SS_PATHELLIPSIS, 0, nextLine(line), font);
    view.bar = MakeChild(view.window, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, nextLine(kBarHeight),
                         font);
    top += kMargin / 2;
    const RECT buttonBox{kClientWidth - kMargin - kButtonWidth, top, kClientWidth - kMargin, top + buttonHeight};
    view.cancel = MakeChild(view.window, "BUTTON", kCancelText, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                            IDCANCEL, buttonBox, font);
    SendMessageA(view.bar, PBM_SETRANGE32, 0, kBarRange);
    return true;
}

// Until the run ends: the window's messages, and the keys of a dialog (Esc
// cancels). The wait wakes for either.
void ProgressWindow::PumpUntilFinished(HWND window)
{
    HANDLE finished = finished_.get();
    while (MsgWaitForMultipleObjects(1, &finished, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (IsDialogMessageA(window, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void ProgressWindow::Refresh(View& view)
{
    const uint64_t total = total_, done = done_;
    const double share =
        total == 0 ? 0.0 : done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    SendMessageA(view.bar, PBM_SETPOS, static_cast<WPARAM>(share * kBarRange), 0);
    const unsigned serial = itemSerial_;
    if (serial == view.shownSerial) return;
    view.shownSerial = serial;
    AcquireSRWLockShared(&itemLock_);
    const std::string item = item_;
    ReleaseSRWLockShared(&itemLock_);
    // The static control draws the name shortened with "..." where it does
    // not fit; the text is converted from the ANSI code page whole.
    SetWindowTextA(view.item, item.c_str());
}

void ProgressWindow::Cancel(View& view)
{
    cancelled_ = true;
    EnableWindow(view.cancel, FALSE);
    SetWindowTextA(view.verb, kCancellingText);
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    View* view = reinterpret_cast<View*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!view) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_TIMER:
        view->progress->Refresh(*view);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) break;
        view->progress->Cancel(*view);
        return 0;
    case WM_CLOSE:  // the caption's close button and Alt+F4 cancel too
        view->progress->Cancel(*view);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace lha
