// The archiver command line a program was started with.
#pragma once
#include <string>

// The program's arguments, split by the platform's rules (so a quoted
// argument arrives without its quotes, as a Linux shell's word does through
// Wine) and joined by single spaces. Empty without arguments.
std::wstring ArchiverCommandLine(const wchar_t* programCommandLine);
