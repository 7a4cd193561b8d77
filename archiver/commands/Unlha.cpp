// The command entry of UNLHA32.dll (ordinal 1, and by the name Unlha). No
// exception crosses it: running out of memory gives kOutOfMemory, anything
// else unexpected a file error. It keeps no state between calls, so calls on
// different archives may run on several threads at once. `window` is accepted
// and never used.
#include "archiver/commands/CommandLine.h"
#include "archiver/commands/Commands.h"
#include "archiver/commands/OutputArea.h"
#include "archiver/commands/Report.h"

#include <windows.h>

#include <new>

namespace lha {

namespace {

int RunCommand(const char* text, OutputArea& out)
{
    Report report(out);
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(text, line, error)) return report.Fail(kBadCommandLine, error.c_str());
    switch (line.command) {
    case 0:
        out.Put(line.echoText.data(), line.echoText.size());
        return kSuccess;
    case 'l': case 'v': return ListArchive(line, report);
    case 'x': case 'e': case 't': return ExtractArchive(line, report);
    case 'p': return PrintMembers(line, report);
    case 'a': case 'u': case 'f': return AddToArchive(line, report);
    case 'm': return MoveToArchive(line, report);
    case 'd': return DeleteFromArchive(line, report);
    }
    return report.Fail(kBadCommandLine, "bad command line");
}

} // namespace

} // namespace lha

extern "C" int WINAPI Unlha(HWND, LPCSTR commandLine, LPSTR output, DWORD outputSize)
{
    lha::OutputArea out(output, outputSize);
    try {
        return lha::RunCommand(commandLine ? commandLine : "", out);
    } catch (const std::bad_alloc&) {
        out.Put("out of memory\n");
        return lha::kOutOfMemory;
    } catch (...) {
        out.Put("unexpected failure\n");
        return lha::kCannotWrite;
    }
}
