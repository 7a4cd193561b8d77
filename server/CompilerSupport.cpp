// The compiler may emit calls to these for block copies and clears; vesker.DLL
// links no C runtime, so it carries its own.
#include <stddef.h>
#include <windows.h>

extern "C" void* memset(void* dest, int value, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    while (count--) *d++ = static_cast<unsigned char>(value);
    return dest;
}

extern "C" void* memcpy(void* dest, const void* source, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count--) *d++ = *s++;
    return dest;
}

extern "C" void* memmove(void* dest, const void* source, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count--) *d++ = *s++;
    } else {
        d += count;
        s += count;
        while (count--) *--d = *--s;
    }
    return dest;
}

extern "C" int memcmp(const void* left, const void* right, size_t count)
{
    const unsigned char* l = static_cast<const unsigned char*>(left);
    const unsigned char* r = static_cast<const unsigned char*>(right);
    for (; count; --count, ++l, ++r) {
        if (*l != *r) return *l < *r ? -1 : 1;
    }
    return 0;
}

// The unfilled slots of an abstract base's interface table. An object passes
// through such a table only while it is built or torn down, and nothing calls
// a slot then; a call that does arrive is a fault worth stopping at.
extern "C" int __cxa_pure_virtual()
{
    DebugBreak();
    return 0;
}
