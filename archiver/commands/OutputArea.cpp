#include "archiver/commands/OutputArea.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

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
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    if (static_cast<size_t>(length) < sizeof line) return Put(line, static_cast<size_t>(length));
    // A long name: format again into a buffer of the measured size.
    std::string longLine(static_cast<size_t>(length) + 1, '\0');
    va_start(arguments, format);
    vsnprintf(&longLine[0], longLine.size(), format, arguments);
    va_end(arguments);
    Put(longLine.data(), static_cast<size_t>(length));
}

void OutputArea::Terminate()
{
    if (size_ != 0) area_[used_] = 0;
}

} // namespace lha
