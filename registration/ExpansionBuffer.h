// The growing text that a script expansion writes, in COM task memory.
#pragma once
#include <windows.h>

struct ExpansionBuffer {
    ULONG length;   // bytes used
    ULONG capacity; // bytes allocated
    char* data;

    ExpansionBuffer() : length(0), capacity(0), data(nullptr) {}
    ~ExpansionBuffer();
    ExpansionBuffer(const ExpansionBuffer&) = delete;
    ExpansionBuffer& operator=(const ExpansionBuffer&) = delete;

    // Allocates room for twice `sourceLength` bytes (at least one, for the
    // terminator of an empty text).
    HRESULT Allocate(ULONG sourceLength);

    // Appends `size` bytes, doubling the room whenever it is full.
    HRESULT Append(const char* bytes, ULONG size);

    // Hands the text to the caller, who frees it with CoTaskMemFree.
    char* Detach();

private:
    HRESULT Grow();
};
