// Runs another program of the prefix (regsvr32, cscript) and collects what it did.
#pragma once
#include <windows.h>

#include <string>

struct ProcessResult {
    bool started;
    DWORD exitCode;
    std::string output; // standard output and standard error, as written
};

// Runs `commandLine` with no window and waits at most `timeoutMs`; a program
// still running then is ended and reported with exit code WAIT_TIMEOUT.
ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 120000);

// `text` in double quotes, as one argument of a command line.
std::wstring Quoted(const std::wstring& text);
