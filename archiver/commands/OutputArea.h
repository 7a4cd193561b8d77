// The caller's output area. Text is appended as it comes; what does not fit is
// cut at size - 1 bytes so the zero terminator always fits. A null area or a
// size of 0 takes nothing. Never writes at or past `size`.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lha {

class OutputArea {
public:
    OutputArea(char* area, uint32_t size) : area_(area), size_(area ? size : 0) { Terminate(); }

    void Put(const char* text, size_t length);
    void Put(const char* text);
    // printf-style; the whole text however long (then cut like any other).
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    void Terminate();

    char* area_;
    uint32_t size_;
    uint32_t used_ = 0;
};

} // namespace lha
