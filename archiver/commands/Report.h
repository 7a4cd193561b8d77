// What a command tells its caller: text into the output area, and the code
// of the run (the first error, else the first warning). With -jse the first
// warning ends the run as an error does; with -jsc the caller gets the count
// of members that failed instead of a warning. A run with a progress window
// names its members and counts its bytes through the window's monitor, and a
// cancel from it ends the run with kUserCancel whatever was raised before.
#pragma once
#include "archiver/commands/OutputArea.h"
#include "archiver/commands/ReturnCode.h"
#include "archiver/format/ProgressMonitor.h"

#include <cstdint>
#include <string>

namespace lha {

class Report {
public:
    explicit Report(OutputArea& out) : out_(out) {}

    OutputArea& Out() { return out_; }
    void Raise(int code)
    {
        code_ = Worse(code_, code);
        if (code == kUserCancel) cancelled_ = true;
    }
    // Writes "<message>\n" and raises `code`; returns the code reached so far.
    int Fail(int code, const char* message);
    int Code() const { return code_; }
    // Whether the run stopped for a cancel (kUserCancel was raised).
    bool Cancelled() const { return cancelled_; }

    // -jse: a warning stops the run.
    void StopOnWarning(bool stop) { stopOnWarning_ = stop; }
    // Whether the run must end now: a warning with -jse (the per-member
    // errors that let the run go on are not asked about here).
    bool Stopping() const { return stopOnWarning_ && code_ != kSuccess; }

    // -jsc: a member that did not go right.
    void CountFailure() { ++failures_; }
    unsigned Failures() const { return failures_; }

    // The progress window's monitor, or null (-n, or no window for the command).
    void Watch(ProgressMonitor* monitor) { monitor_ = monitor; }
    ProgressMonitor* Monitor() const { return monitor_; }
    // The user asked the run to stop; the command stops at its next safe point.
    bool CancelAsked() const { return monitor_ && monitor_->Cancelled(); }
    // What the window shows: the bytes of the whole run, the member or file now worked on.
    void Total(uint64_t bytes)
    {
        if (monitor_) monitor_->Total(bytes);
    }
    void Item(const std::string& name)
    {
        if (monitor_) monitor_->Item(name);
    }

private:
    OutputArea& out_;
    int code_ = kSuccess;
    bool stopOnWarning_ = false;
    unsigned failures_ = 0;
    bool cancelled_ = false;
    ProgressMonitor* monitor_ = nullptr;
};

} // namespace lha
