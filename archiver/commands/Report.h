// What a command tells its caller: text into the output area, and the code
// of the run (the first error, else the first warning). With -jse the first
// warning ends the run as an error does; with -jsc the caller gets the count
// of members that failed instead of a warning.
#pragma once
#include "archiver/commands/OutputArea.h"
#include "archiver/commands/ReturnCode.h"

namespace lha {

class Report {
public:
    explicit Report(OutputArea& out) : out_(out) {}

    OutputArea& Out() { return out_; }
    void Raise(int code) { code_ = Worse(code_, code); }
    // Writes "<message>\n" and raises `code`; returns the code reached so far.
    int Fail(int code, const char* message);
    int Code() const { return code_; }

    // -jse: a warning stops the run.
    void StopOnWarning(bool stop) { stopOnWarning_ = stop; }
    // Whether the run must end now: a warning with -jse (the per-member
    // errors that let the run go on are not asked about here).
    bool Stopping() const { return stopOnWarning_ && code_ != kSuccess; }

    // -jsc: a member that did not go right.
    void CountFailure() { ++failures_; }
    unsigned Failures() const { return failures_; }

private:
    OutputArea& out_;
    int code_ = kSuccess;
    bool stopOnWarning_ = false;
    unsigned failures_ = 0;
};

} // namespace lha
