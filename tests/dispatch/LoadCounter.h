// Counts vesker.DLL's loads of its type library: its import of LoadRegTypeLib
// is redirected through a counting function for the holder's life. Only the
// module's own calls are counted; the test's calls go to the platform directly.
#pragma once
#include <windows.h>

class LoadCounter {
public:
    explicit LoadCounter(HMODULE module);
    LoadCounter(const LoadCounter&) = delete;
    LoadCounter& operator=(const LoadCounter&) = delete;
    ~LoadCounter();

    bool Installed() const { return slot_ != nullptr; }
    // Calls since the counter was made or last reset.
    LONG Loads() const;
    void Reset();
    // Each counted call waits this long before loading, so that calls racing
    // for the first load overlap.
    void SetDelay(DWORD milliseconds);

private:
    void** slot_ = nullptr;
};
