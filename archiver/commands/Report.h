// What a command tells its caller: text into the output area, and the most
// serious return code raised on the way.
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

private:
    OutputArea& out_;
    int code_ = kSuccess;
};

} // namespace lha
