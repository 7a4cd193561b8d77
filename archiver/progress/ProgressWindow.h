// The progress window of one run: what the command does, the archive, the
// member or file now worked on, a bar by bytes over the whole run, and Cancel.
//
// It lives on a thread of its own with its own message loop: the caller's
// thread (a script host's, an office application's single-threaded apartment)
// is never asked to pump messages. It appears at the first report (Item,
// Advance) after the run has lasted kDelayMs, so quick commands never flash a
// window and make no thread, event or timer (a batch of thousands of runs
// stays as fast); the commands report at every member and every read of
// their streams. Never in a window station
// the user cannot see (a service's); and it is shown without activation, so it
// never takes the focus from another program's window. When its thread or
// window cannot be made the run goes on without it: the counts are kept and
// Cancelled() stays false.
#pragma once
#include "archiver/format/ProgressMonitor.h"
#include "archiver/progress/OwnerGuard.h"
#include "common/PlatformOwners.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace lha {

class ProgressWindow : public ProgressMonitor {
public:
    static constexpr DWORD kDelayMs = 500;
    // The bar's positions: 0 to kBarRange over the run's total bytes.
    static constexpr int kBarRange = 1000;
    // The window's class, by which a client (or a test) can find it.
    static constexpr char kClassName[] = "UNLHA32.Progress";

    // `verb` says what the command does ("Extracting"); `archive` is the
    // archive's path. The window is owned by `owner`'s window when there is one.
    ProgressWindow(OwnerGuard& owner, const char* verb, const std::string& archive);
    // Enables the owner again first, as a modal dialog ends, so the system
    // gives the activation back to it rather than to another program; then
    // closes the window and waits for its thread.
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void Total(uint64_t bytes) override { total_ = bytes; }
    void Item(const std::string& name) override;
    void Advance(uint64_t bytes) override;
    bool Cancelled() const override { return cancelled_; }

private:
    struct View;

    static DWORD WINAPI Run(void* self);
    void StartWhenDue();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowUntilFinished();
    bool Create(View& view);
    void PumpUntilFinished(HWND window);
    void Refresh(View& view);
    void Cancel(View& view);

    OwnerGuard& owner_;
    const char* verb_;
    std::string archive_;
    std::atomic<uint64_t> total_{0};
    std::atomic<uint64_t> done_{0};
    std::atomic<bool> cancelled_{false};
    SRWLOCK itemLock_ = SRWLOCK_INIT;
    std::string item_;                  // under itemLock_
    std::atomic<unsigned> itemSerial_{0};
    const DWORD start_;                 // GetTickCount at the run's start
    std::atomic<bool> started_{false};  // the window's thread was asked for
    // Made by the report that starts the thread (on the run's thread or a
    // packing worker, all ended before the destructor reads them).
    UniqueHandle finished_;             // set when the run ends
    UniqueHandle thread_;
};

} // namespace lha
