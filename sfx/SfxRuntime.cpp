// The stub runs without C++ exceptions: the runtime's exception machinery
// (unwinder, thread support, the demangler) is larger than the whole
// extractor, and the image must stay well under 64 KiB. Every place where the
// runtime would throw ends the program instead, with the code for running out
// of memory (the only way these can happen here).
#include "archiver/commands/ReturnCode.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void OutOfMemory() { ExitProcess(lha::kOutOfMemory); }

} // namespace

void* operator new(size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) OutOfMemory();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

namespace std {
void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_length_error(const char*) { OutOfMemory(); }
void __throw_logic_error(const char*) { OutOfMemory(); }
void __throw_out_of_range(const char*) { OutOfMemory(); }
void __throw_out_of_range_fmt(const char*, ...) { OutOfMemory(); }
void __throw_invalid_argument(const char*) { OutOfMemory(); }
} // namespace std

// The C++ headers route snprintf to the MinGW formatter, which with its
// floating-point support is a third of the stub's size; the system's C
// runtime (msvcrt.dll) formats the same integers and text. It may leave a cut
// text without its terminating zero, so one is put in.
extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments)
{
    const int length = _vsnprintf(buffer, size, format, arguments);
    if (size > 0) buffer[size - 1] = '\0';
    return length;
}

// The runtime library's own copy of std::string's members is built with
// exceptions and would bring the machinery back; this copy is built without.
template class std::__cxx11::basic_string<char>;
