// A command line in ANSI form for the archiver library, held on the module heap.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "common/ModuleHeap.h"

class AnsiCopy {
public:
    AnsiCopy() = default;
    AnsiCopy(const AnsiCopy&) = delete;
    AnsiCopy& operator=(const AnsiCopy&) = delete;

    // Converts `commandLine` up to its first NUL character into `codePage`; a
    // null command line gives the empty text. The buffer has room for at least
    // two bytes per UTF-16 unit plus two, and for the whole conversion, so the
    // text always arrives complete and zero-terminated. E_OUTOFMEMORY when the
    // heap has no room; otherwise the conversion's own failure. A failure
    // leaves the copy as it was.
    HRESULT Assign(BSTR commandLine, UINT codePage);

    const char* Text() const { return text_.get(); }

private:
    UniqueModuleBlock<char> text_;
};
