#include "archiver/OutputArea.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace lha {

void OutputArea::Put(const char* text, size_t length)
{
    if (size_ == 0) return;
    size_t room = size_ - 1 - used_;
    if (length > room) length = room;
    memcpy(area_ + used_, text, length);
    used_ += static_cast<uint32_t>(length);
    Terminate();
}

void OutputArea::Put(const char* text) { Put(text, strlen(text)); }

void OutputArea::Printf(const char* format, ...)
{
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    Put(line, static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1);
}

void OutputArea::Terminate()
{
    if (size_ != 0) area_[used_] = 0;
}

} // namespace lha
