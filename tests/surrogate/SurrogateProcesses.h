// The system's DLL surrogate processes (dllhost.exe) that COM started for
// out-of-process activations. They outlive their clients for a while, so the
// tests end them, by process id, between steps.
#pragma once
#include <windows.h>

#include <vector>

// Ids of the running dllhost.exe processes; empty when none runs or the
// process list cannot be read.
std::vector<DWORD> SurrogateProcessIds();

// Ends every running dllhost.exe and waits until each has gone; returns how
// many were ended. A process that cannot be opened or ended is not counted.
int EndSurrogates();
