#include "common/AnsiCopy.h"
#include "common/PlatformOwners.h"
#include "common/HResult.h"
#include "common/ModuleHeap.h"

namespace {

// Longest command line whose buffer size (2 * L + 2) still fits an int.
constexpr UINT kLongestCommandLine = (0x7FFFFFFF - 2) / 2;

// Bytes the buffer needs for `length` units and the terminator of `text`.
HRESULT MeasureConversion(const WCHAR* text, UINT length, UINT codePage, int* bytes)
{
    *bytes = 2 * static_cast<int>(length) + 2;
    if (!text) return S_OK;
    const int needed = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length) + 1, nullptr, 0,
                                           nullptr, nullptr);
    if (needed <= 0) return HResultFromLastError();
    if (needed > *bytes) *bytes = needed;
    return S_OK;
}

} // namespace

HRESULT AnsiCopy::Assign(BSTR commandLine, UINT codePage)
{
    // The private copy ends at the first NUL, and so does the command line.
    UniqueBstr copy(SysAllocString(commandLine));
    if (commandLine && !copy.get()) return E_OUTOFMEMORY;
    const UINT length = SysStringLen(copy.get());
    if (length > kLongestCommandLine) return E_OUTOFMEMORY;

    int bytes = 0;
    HRESULT hr = MeasureConversion(copy.get(), length, codePage, &bytes);
    if (FAILED(hr)) return hr;
    UniqueModuleBlock<char> buffer(static_cast<char*>(ModuleAlloc(static_cast<size_t>(bytes))));
    char* text = buffer.get();
    if (!text) return E_OUTOFMEMORY;
    text[0] = 0;
    if (copy.get() && !WideCharToMultiByte(codePage, 0, copy.get(), static_cast<int>(length) + 1, text, bytes,
                                           nullptr, nullptr)) {
        return HResultFromLastError();
    }
    text_.reset(buffer.release());
    return S_OK;
}
