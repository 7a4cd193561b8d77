#include "archiver/progress/OwnerGuard.h"

namespace lha {

OwnerGuard::OwnerGuard(HWND window)
{
    if (!window || !IsWindow(window)) return;
    window_ = window;
    if (!IsWindowEnabled(window)) return;
    // EnableWindow returns whether the window was disabled before: a window
    // disabled meanwhile by someone else is theirs to enable.
    if (!EnableWindow(window, FALSE)) disabled_.reset(window);
}

void OwnerGuard::Enable(HWND window) { EnableWindow(window, TRUE); }

} // namespace lha
