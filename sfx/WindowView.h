// The window kind's progress: a small window with the member being extracted
// and a bar over the archive's packed bytes; the messages of members that
// failed are kept for the final message. Messages are handled between
// members (the work runs on this thread, and one member is short work).
#pragma once
#include "common/UniqueResource.h"
#include "sfx/Extraction.h"

#include <windows.h>

namespace sfx {

class WindowView : public ExtractionView {
public:
    explicit WindowView(const std::string& title);

    void Line(const std::string& text, int code) override;
    void Progress(const std::string& name, uint64_t done, uint64_t total) override;

    // The final message: where the files went, or what failed, with `code`.
    void Finish(int code, const std::string& destination);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);

    std::string title_;
    UniqueResource<HWND, DestroyWindow> window_;
    std::string name_;
    unsigned permille_ = 0;
    unsigned lines_ = 0;
    std::string failures_;
};

} // namespace sfx
