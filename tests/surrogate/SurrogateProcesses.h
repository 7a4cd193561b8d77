// The system's DLL surrogate processes (dllhost.exe) that COM started for
// out-of-process activations, and the RPC subsystem service (RpcSs) that every
// such activation goes through. They outlive their clients for a while, so the
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

// The state of RpcSs (SERVICE_RUNNING, SERVICE_STOPPED, ...) and the id of its
// process (0 when none runs); state 0 when the service control manager
// cannot be asked.
struct ServiceProcess {
    DWORD state;
    DWORD processId;
};
ServiceProcess RpcSubsystem();

// Waits until RpcSs runs in a process the service control manager started
// for it, starting it whenever it is stopped, for at most `limitMs`. Returns what it last saw; `starts` counts the starts it asked for.
ServiceProcess WaitForRpcSubsystem(DWORD limitMs, int* starts);
