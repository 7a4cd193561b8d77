#include "sfx/ConsoleView.h"

#include <windows.h>

#include <vector>

namespace sfx {

void WriteText(const std::string& text, bool toError)
{
    const HANDLE out = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    const std::string line = text + "\r\n";
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
        const int length = MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::vector<wchar_t> wide(length > 0 ? length : 1);
        MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(), length);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void ConsoleView::Line(const std::string& text, int) { WriteText(text); }

} // namespace sfx
