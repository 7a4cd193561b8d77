#include "GuardedMemory.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace {

void* ReserveWithGuard(size_t usable, char** start)
{
    const size_t page = 4096;
    const size_t pages = (usable + page - 1) / page;
    void* block = VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!block) throw std::runtime_error("VirtualAlloc failed");
    char* guard = static_cast<char*>(block) + pages * page;
    DWORD old = 0;
    if (!VirtualProtect(guard, page, PAGE_NOACCESS, &old)) {
        VirtualFree(block, 0, MEM_RELEASE);
        throw std::runtime_error("VirtualProtect failed");
    }
    *start = guard - usable;
    return block;
}

}  // namespace

GuardedText::GuardedText(const std::string& text)
{
    block_ = ReserveWithGuard(text.size() + 1, &text_);
    memcpy(text_, text.c_str(), text.size() + 1);
}

GuardedText::~GuardedText()
{
    VirtualFree(block_, 0, MEM_RELEASE);
}

GuardedBuffer::GuardedBuffer(size_t size)
{
    block_ = ReserveWithGuard(size, &data_);
}

GuardedBuffer::~GuardedBuffer()
{
    VirtualFree(block_, 0, MEM_RELEASE);
}
