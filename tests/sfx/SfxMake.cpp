// sfx-make: makes a self-extracting program with the format's writer, for the
// host-side tests (the archiver's own command comes later).
//   sfx-make.exe <stub> <archive> <program> <kind 0|1> <ask 0|1> <keep folders 0|1> [default folder]
// Exit status 0 when the program was written; 1 with a message on stderr.
#include "archiver/format/SfxProgram.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

int main(int argc, char** argv)
{
    if (argc < 7 || argc > 8) {
        std::fprintf(stderr, "usage: sfx-make <stub> <archive> <program> <kind> <ask> <keep> [folder]\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> stub((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    lha::SfxSettings settings = {};
    settings.kind = static_cast<uint8_t>(std::atoi(argv[4]));
    settings.askFolder = static_cast<uint8_t>(std::atoi(argv[5]));
    settings.keepFolders = static_cast<uint8_t>(std::atoi(argv[6]));
    if (argc == 8) std::strncpy(settings.defaultFolder, argv[7], lha::kSfxFolderSize - 1);
    std::string error;
    if (stub.empty() || !lha::WriteSfxProgram(stub, settings, argv[2], argv[3], error)) {
        std::fprintf(stderr, "sfx-make: %s\n", stub.empty() ? "cannot read the stub" : error.c_str());
        return 1;
    }
    return 0;
}
