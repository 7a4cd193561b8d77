// The command entry of UNLHA32.dll (ordinal 1, and by the name Unlha). No
// exception crosses it: running out of memory gives kOutOfMemory, anything
// else unexpected kCannotWrite. It keeps no state between calls, so calls on
// different archives may run on several threads at once.
#include "archiver/commands/CommandLine.h"
#include "archiver/commands/Commands.h"
#include "archiver/commands/OutputArea.h"
#include "archiver/commands/Report.h"

#include <windows.h>

#include <new>

namespace lha {

namespace {

using CommandFunction = int (*)(const CommandLine&, Report&);

struct CommandRow {
    char command;
    CommandFunction run;
    bool countsFailures;  // -jsc applies
};

const CommandRow kCommandRows[] = {
    {'l', ListArchive, false},
    {'v', ListArchive, false},
    {'t', ExtractArchive, true},
    {'x', ExtractArchive, true},
    {'e', ExtractArchive, true},
    {'p', PrintMembers, true},
    {'a', AddToArchive, false},
    {'u', AddToArchive, false},
    {'f', AddToArchive, false},
    {'m', MoveToArchive, false},
    {'d', DeleteFromArchive, false},
    {'s', MakeSelfExtracting, false},
};

int CodeOfParseFailure(ParseFailure failure)
{
    switch (failure) {
    case ParseFailure::ResponseFile: return kResponseRead;
    case ParseFailure::NoNames: return kNotFileName;
    default: return kBadCommandLine;
    }
}

// -jsc: the count of members that failed, unless an error ended the run.
int ReturnValue(const CommandRow& row, const CommandLine& line, const Report& report)
{
    if (!row.countsFailures || !line.countFailures) return report.Code();
    if (IsError(report.Code()) && report.Failures() == 0) return report.Code();
    return static_cast<int>(report.Failures());
}

int RunCommand(const char* text, OutputArea& out)
{
    Report report(out);
    CommandLine line;
    std::string error;
    ParseFailure failure = ParseCommandLine(text, line, error);
    if (failure != ParseFailure::None) return report.Fail(CodeOfParseFailure(failure), error.c_str());
    if (line.command == 0) {
        out.Put(line.echoText.data(), line.echoText.size());
        return kSuccess;
    }
    report.StopOnWarning(line.stopOnWarning);
    for (const CommandRow& row : kCommandRows) {
        if (row.command != line.command) continue;
        row.run(line, report);
        return ReturnValue(row, line, report);
    }
    return report.Fail(kBadCommandLine, "bad command line: unknown command");
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
