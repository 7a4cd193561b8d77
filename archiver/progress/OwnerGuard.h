// The window a run was given, disabled for as long as the run lasts, as a
// modal dialog disables its owner: the user cannot start a second command from
// it meanwhile. It is enabled again when the guard goes, on every path out of
// the run (or earlier, by Restore), and only when the guard disabled it: a
// window that was disabled already stays so, and a value that is not a window
// is left alone.
#pragma once
#include "common/UniqueResource.h"

#include <windows.h>

namespace lha {

class OwnerGuard {
public:
    explicit OwnerGuard(HWND window);

    // The owner for the run's windows: the window given, or null when the
    // value given was not a window.
    HWND Window() const { return window_; }
    // Enables the window again now, when the guard disabled it.
    void Restore() { disabled_.reset(); }

private:
    static void Enable(HWND window);

    HWND window_ = nullptr;
    UniqueResource<HWND, Enable> disabled_;
};

} // namespace lha
