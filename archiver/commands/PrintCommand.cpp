// p (print): the content of the members the names select (all when none are
// given) into the output area, one after another, as they are: no names or
// separators between them, cut at the area's end like any text. The area is
// zero-terminated text, so a zero byte of content would end it for the
// caller: each shows as '?'. Every member is unpacked whole and its CRC
// checked, even past the area's end; a failure is reported after its content
// on a line of its own (a bad CRC: code 5). Folders print nothing.
#include "archiver/commands/Commands.h"
#include "archiver/format/MemberData.h"
#include "archiver/commands/Wildcard.h"

namespace lha {

namespace {

const char kZeroShownAs = '?';

// Counts and sums the CRC as a test does, and puts the bytes into the area.
class AreaSink : public FileSink {
public:
    explicit AreaSink(OutputArea& out) : FileSink(nullptr), out_(out) {}

    bool Write(const uint8_t* data, size_t size) override
    {
        if (!FileSink::Write(data, size)) return false;
        if (size > 0) lastByte_ = data[size - 1];
        char chunk[4096];
        while (size > 0) {
            size_t take = size < sizeof chunk ? size : sizeof chunk;
            for (size_t i = 0; i < take; ++i) chunk[i] = data[i] == 0 ? kZeroShownAs : static_cast<char>(data[i]);
            out_.Put(chunk, take);
            data += take;
            size -= take;
        }
        return true;
    }

    // Whether what was printed so far ends a line (nothing printed counts as ended).
    bool EndsLine() const { return Count() == 0 || lastByte_ == '\n'; }

private:
    OutputArea& out_;
    uint8_t lastByte_ = 0;
};

struct PrintFailure {
    UnpackResult result;
    const char* text;
    int code;
};

const PrintFailure kPrintFailures[] = {
    {UnpackResult::UnsupportedMethod, "unsupported method", kUnsupportedMethod},
    {UnpackResult::CrcError, "CRC error", kCrcError},
    {UnpackResult::ReadFailed, "cannot read the archive", kEndOfFile},
    {UnpackResult::WriteFailed, "cannot print", kFileOpen},
    {UnpackResult::Cancelled, "cancelled here", kUserCancel},
};

void PrintMember(const ArchiveReader& reader, const MemberHeader& header, Report& report)
{
    AreaSink sink(report.Out());
    UnpackResult result = UnpackMember(reader.File(), header, sink, report.Monitor());
    for (const PrintFailure& failure : kPrintFailures) {
        if (failure.result != result) continue;
        if (!sink.EndsLine()) report.Out().Put("\n");
        report.Out().Printf("%s: %s\n", header.path.c_str(), failure.text);
        report.Raise(failure.code);
        return;
    }
}

} // namespace

int PrintMembers(const CommandLine& line, Report& report)
{
    ArchiveReader reader;
    if (!OpenArchive(line.archive, reader, report)) return report.Code();
    unsigned selected = 0;
    MemberHeader header;
    std::string error;
    HeaderResult result = HeaderResult::End;
    CountSelectedBytes(line, report);
    while (!report.CancelAsked() && (result = reader.Next(header, error)) == HeaderResult::Member) {
        if (!SelectingGroup(line, header.path)) continue;
        ++selected;
        report.Item(header.path);
        PrintMember(reader, header, report);
    }
    if (report.CancelAsked())
        report.Fail(kUserCancel, kCancelledText);
    else
        ReportArchiveFault(result, error, report);
    if (selected == 0 && !line.AllNames().empty() && !report.Cancelled())
        report.Fail(kNothingMatched, "no member matches the names given");
    return report.Code();
}

} // namespace lha
