// The control of the planted-DLL check: a program that leaves the DLL search
// as Windows sets it (the program's folder first) and loads the given system
// DLLs by name, as system code does for its helpers. Where it finds the
// planted copies, the check of the self-extractor can fail.
//   unrestricted-probe.exe <dll name>...
// Exit status: the number of names that could not be loaded.
#include <windows.h>

int main(int argc, char** argv)
{
    int missing = 0;
    for (int i = 1; i < argc; ++i)
        if (!LoadLibraryA(argv[i])) ++missing;
    return missing;
}
