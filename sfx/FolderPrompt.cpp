#include "sfx/FolderPrompt.h"

#include <windows.h>

#include <vector>

namespace sfx {

namespace {

const char kClassName[] = "VeskerSfxPrompt";
const int kEditId = 100;
const int kWidth = 460, kHeight = 150;

struct PromptState {
    bool done = false;
    bool confirmed = false;
    HWND edit = nullptr;
    std::string folder;
};

void Finish(HWND window, PromptState& state, bool confirmed)
{
    if (confirmed) {
        const int length = GetWindowTextLengthA(state.edit);
        std::vector<char> text(length + 1);
        GetWindowTextA(state.edit, text.data(), length + 1);
        state.folder.assign(text.data());
        if (state.folder.empty()) return;  // nothing to extract into: the prompt stays
    }
    state.confirmed = confirmed;
    state.done = true;
    DestroyWindow(window);
}

LRESULT CALLBACK PromptProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PromptState* state = reinterpret_cast<PromptState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    if (state && message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        Finish(window, *state, LOWORD(wParam) == IDOK);
        return 0;
    }
    if (state && message == WM_CLOSE) {
        Finish(window, *state, false);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id)
{
    HWND child = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

} // namespace

bool AskFolder(const std::string& title, std::string& folder)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PromptProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    PromptState state;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME, kClassName, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  x, y, kWidth, kHeight, nullptr, nullptr, GetModuleHandleA(nullptr), &state);
    if (!window) return false;
    Child(window, "STATIC", "Extract the files into this folder:", 0, 12, 12, 420, 18, 0);
    state.edit = Child(window, "EDIT", folder.c_str(), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 12, 34, 426, 22, kEditId);
    Child(window, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 256, 72, 86, 26, IDOK);
    Child(window, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 352, 72, 86, 26, IDCANCEL);
    ShowWindow(window, SW_SHOWNORMAL);
    SetFocus(state.edit);
    MSG message;
    while (!state.done && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (state.confirmed) folder = state.folder;
    return state.confirmed;
}

} // namespace sfx
