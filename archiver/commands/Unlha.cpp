// The command entry of UNLHA32.dll (ordinal 1, and by the name Unlha). No
// exception crosses it: running out of memory gives kOutOfMemory, anything
// else unexpected kCannotWrite. It keeps no state between calls, so calls on
// different archives may run on several threads at once.
//
// `window`, when it is a window, is disabled for the whole run and enabled
// again at its end (OwnerGuard). The commands that work through an archive's
// data show the progress window (owned by `window`) once the run has lasted
// half a second, unless -n; its Cancel ends the run with kUserCancel.
#include "archiver/commands/CommandLine.h"
#include "archiver/commands/Commands.h"
#include "archiver/commands/OutputArea.h"
#include "archiver/commands/Report.h"
#include "archiver/progress/OwnerGuard.h"
#include "archiver/progress/ProgressVerb.h"
#include "archiver/progress/ProgressWindow.h"

#include <windows.h>

#include <memory>
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
    struct FailureCode {
        ParseFailure failure;
        int code;
    };
    static const FailureCode kFailureCodes[] = {
        {ParseFailure::ResponseFile, kResponseRead},
        {ParseFailure::NoNames, kNotFileName},
    };
    for (const FailureCode& row : kFailureCodes)
        if (row.failure == failure) return row.code;
    return kBadCommandLine;
}

// -jsc: the count of members that failed, unless an error ended the run.
int ReturnValue(const CommandRow& row, const CommandLine& line, const Report& report)
{
    if (report.Cancelled()) return kUserCancel;
    if (!row.countsFailures || !line.countFailures) return report.Code();
    if (IsError(report.Code()) && report.Failures() == 0) return report.Code();
    return static_cast<int>(report.Failures());
}

// The window of a command that shows one, unless -n (-n1, -n2) turns it off.
std::unique_ptr<ProgressWindow> OpenProgress(const CommandLine& line, OwnerGuard& owner)
{
    const char* verb = ProgressVerb(line.command);
    if (!verb || line.noProgress != 0) return nullptr;
    return std::unique_ptr<ProgressWindow>(new ProgressWindow(owner, verb, line.archive));
}

int RunCommand(const char* text, OutputArea& out, OwnerGuard& owner)
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
    const std::unique_ptr<ProgressWindow> progress = OpenProgress(line, owner);
    report.Watch(progress.get());
    for (const CommandRow& row : kCommandRows) {
        if (row.command != line.command) continue;
        row.run(line, report);
        return ReturnValue(row, line, report);
    }
    return report.Fail(kBadCommandLine, "bad command line: unknown command");
}

} // namespace

} // namespace lha

extern "C" int WINAPI Unlha(HWND window, LPCSTR commandLine, LPSTR output, DWORD outputSize)
{
    lha::OutputArea out(output, outputSize);
    lha::OwnerGuard owner(window);
    try {
        return lha::RunCommand(commandLine ? commandLine : "", out, owner);
    } catch (const std::bad_alloc&) {
        out.Put("out of memory\n");
        return lha::kOutOfMemory;
    } catch (...) {
        out.Put("unexpected failure\n");
        return lha::kCannotWrite;
    }
}
