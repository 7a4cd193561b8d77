// Memory whose last byte is followed by an inaccessible page, so that a read
// or write one byte too far faults at once. Construction throws when the
// memory cannot be had.
#pragma once
#include <cstddef>
#include <string>

// A copy of a NUL-terminated text whose terminator is the last readable byte:
// reading past it faults.
class GuardedText {
public:
    explicit GuardedText(const std::string& text);
    ~GuardedText();
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    const char* Get() const { return text_; }
    char* Buffer() { return text_; }

private:
    void* block_ = nullptr;
    char* text_ = nullptr;
};

// A buffer of `size` bytes whose last byte is followed by an inaccessible page.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    char* Get() const { return data_; }

private:
    void* block_ = nullptr;
    char* data_ = nullptr;
};
