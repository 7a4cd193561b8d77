#include "registration/ExpansionBuffer.h"

#include <objbase.h>

namespace {

// No text is allowed to need more than this, so the doubling cannot overflow.
constexpr ULONG kLargestCapacity = 0x40000000;

} // namespace

ExpansionBuffer::~ExpansionBuffer()
{
    CoTaskMemFree(data);
}

HRESULT ExpansionBuffer::Allocate(ULONG sourceLength)
{
    if (sourceLength > kLargestCapacity / 2) return E_OUTOFMEMORY;
    const ULONG room = sourceLength ? sourceLength * 2 : 1;
    char* block = static_cast<char*>(CoTaskMemAlloc(room));
    if (!block) return E_OUTOFMEMORY;
    CoTaskMemFree(data);
    data = block;
    capacity = room;
    length = 0;
    return S_OK;
}

HRESULT ExpansionBuffer::Grow()
{
    const ULONG room = capacity ? capacity * 2 : 1;
    if (capacity >= kLargestCapacity) return E_OUTOFMEMORY;
    void* block = CoTaskMemRealloc(data, room);
    if (!block) return E_OUTOFMEMORY;
    data = static_cast<char*>(block);
    capacity = room;
    return S_OK;
}

HRESULT ExpansionBuffer::Append(const char* bytes, ULONG size)
{
    for (ULONG i = 0; i < size; ++i) {
        if (length == capacity) {
            HRESULT hr = Grow();
            if (FAILED(hr)) return hr;
        }
        data[length++] = bytes[i];
    }
    return S_OK;
}

char* ExpansionBuffer::Detach()
{
    char* text = data;
    data = nullptr;
    length = 0;
    capacity = 0;
    return text;
}
