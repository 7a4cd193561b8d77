// vesker-bench: how much DoIt costs above the floor of the work it cannot
// avoid (the archiver call itself plus one MultiByteToWideChar over the whole
// output), for outputs of 1, 16 and 64 KB: ASCII without line ends, ASCII
// lines, and hiragana lines (double-byte under 932, single high bytes under
// 1252); and whether 100,000 DoIt calls leave more blocks on the module heap
// than one. Prints one line per case, "ratio <size> <kind> <value>"; then, for
// the output conversion alone against one MultiByteToWideChar of the output,
// "convert <size> <kind> <way> <value>" for each way that gives the right text
// (piece by piece always; as whole text when no byte is a lead byte), the way
// DoIt takes under this code page first; then the heap line. Exits non-zero
// when a result is wrong or the heap grew.
#include "client/BstrText.h"
#include "common/InterfaceHolder.h"
#include "component/ArchiverEntry.h"
#include "component/ResultStringBuilder.h"
#include "common/ModuleHeap.h"
#include "server/ObjectMap.h"
#include "server/ServerModule.h"
#include "stand-in/StandInControl.h"
#include "tests/server/ModuleHeapBlockCount.h"
#include "vesker.h"

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const long HeapCalls = 100000;
const double MinimumSeconds = 0.2; // per case and side: enough samples for a stable best
const int MinimumRepetitions = 5;
// A timed batch spans thousands of ticks of the performance counter (10 MHz
// under Wine), so a call shorter than a tick is still timed to the percent.
const double MinimumBatchSeconds = 0.002;

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double BatchSeconds(Work& work, long calls)
{
    double begin = Now();
    for (long call = 0; call < calls; ++call) work();
    return Now() - begin;
}

// Best time per call of repeated batches: the batch least disturbed by
// everything else. The batch doubles until it lasts MinimumBatchSeconds.
template <typename Work>
double BestSeconds(Work work)
{
    long calls = 1;
    while (BatchSeconds(work, calls) < MinimumBatchSeconds) calls *= 2;
    double best = 1e30, started = Now();
    for (int run = 0; run < MinimumRepetitions || Now() - started < MinimumSeconds; ++run) {
        double took = BatchSeconds(work, calls) / static_cast<double>(calls);
        if (took < best) best = took;
    }
    return best;
}

std::string HexCommand(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string line = "hex";
    line.reserve(3 + bytes.size() * 3);
    for (unsigned char b : bytes) {
        line += ' ';
        line += digits[b >> 4];
        line += digits[b & 15];
    }
    return line;
}

// Lines of 71 ASCII letters ended by LF.
std::string AsciiLinesCommand(size_t size)
{
    const size_t lettersPerLine = 71;
    std::vector<unsigned char> bytes;
    while (bytes.size() < size) {
        size_t column = bytes.size() % (lettersPerLine + 1);
        bytes.push_back(column == lettersPerLine ? '\n' : static_cast<unsigned char>('a' + column % 26));
    }
    return HexCommand(bytes);
}

// Hiragana (lead 0x82, trail 0x9F..0xF1) lines of 40 characters ended by LF;
// an odd size ends with one ASCII byte.
std::string DoubleByteCommand(size_t size)
{
    const size_t charactersPerLine = 40;
    std::vector<unsigned char> bytes;
    size_t column = 0;
    unsigned char trail = 0x9F;
    while (bytes.size() < size) {
        size_t left = size - bytes.size();
        if (left == 1) {
            bytes.push_back('a');
        } else if (column == charactersPerLine) {
            bytes.push_back('\n');
            column = 0;
        } else {
            bytes.push_back(0x82);
            bytes.push_back(trail);
            trail = trail == 0xF1 ? 0x9F : trail + 1;
            ++column;
        }
    }
    return HexCommand(bytes);
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct Case {
    const char* size;
    const char* kind;
    std::string commandLine;
};

// The full area holds 65,535 bytes of text and its terminator.
std::vector<Case> Cases()
{
    struct Size {
        const char* name;
        size_t bytes;
    };
    const Size sizes[] = {{"1KB", 1024}, {"16KB", 16384}, {"64KB", kOutputAreaSize - 1}};
    std::vector<Case> cases;
    for (const Size& size : sizes) {
        cases.push_back({size.name, "ascii", "fill " + std::to_string(size.bytes)});
        cases.push_back({size.name, "lines", AsciiLinesCommand(size.bytes)});
        cases.push_back({size.name, "dbcs", DoubleByteCommand(size.bytes)});
    }
    return cases;
}

class Bench {
public:
    Bench(IUnLha* command, StandInCommandEntry entry)
        : command_(command), entry_(entry), area_(kOutputAreaSize), wide_(kOutputAreaSize + 1) {}

    // The floor: the archiver call and one conversion of its whole output.
    int Floor(const std::string& commandLine)
    {
        entry_(nullptr, commandLine.c_str(), area_.data(), kOutputAreaSize);
        return Convert();
    }

    int Convert()
    {
        return MultiByteToWideChar(CP_ACP, 0, area_.data(), -1, wide_.data(), static_cast<int>(wide_.size()));
    }

    bool HasLeadBytes() const
    {
        for (size_t at = 0; at < area_.size() && area_[at]; ++at) {
            if (IsDBCSLeadByte(static_cast<BYTE>(area_[at]))) return true;
        }
        return false;
    }

    // DoIt gives the floor's text with each LF turned into CR LF.
    bool Check(const std::string& commandLine, BSTR line)
    {
        Floor(commandLine);
        std::wstring expected;
        for (const wchar_t* c = wide_.data(); *c; ++c) {
            if (*c == L'\n') expected += L'\r';
            expected += *c;
        }
        if (FAILED(command_->DoIt(line))) return false;
        if (FAILED(command_->get_ResultString(checkedText_.put()))) return false;
        return BstrText(checkedText_.get()) == expected;
    }

    // The output conversion alone, each way that gives `expected` for the
    // output now in the area, against one MultiByteToWideChar of it.
    bool MeasureConversion(const Case& c, const std::wstring& expected)
    {
        struct Way {
            const char* name;
            HRESULT (*build)(const char*, size_t, BSTR*);
            bool applies;
        };
        bool wholeFirst = SystemCodePageConvertsAsWholeText();
        Way pieces = {"pieces", BuildResultStringPieceByPiece, true};
        Way whole = {"whole", BuildResultStringAsWholeText, !HasLeadBytes()};
        const Way ways[] = {wholeFirst ? whole : pieces, wholeFirst ? pieces : whole};
        double conversion = BestSeconds([&] { Convert(); });
        for (const Way& way : ways) {
            if (!way.applies) continue;
            UniqueBstr text;
            if (FAILED(way.build(area_.data(), kOutputAreaSize, text.put())) || BstrText(text.get()) != expected) {
                fprintf(stderr, "vesker-bench: the %s way gave a wrong text for %s %s\n", way.name, c.size, c.kind);
                return false;
            }
            double took = BestSeconds([&] {
                BSTR built = nullptr;
                way.build(area_.data(), kOutputAreaSize, &built);
                SysFreeString(built);
            });
            printf("convert %s %s %s %.2f\n", c.size, c.kind, way.name, took / conversion);
            fflush(stdout);
        }
        return true;
    }

    bool Measure(const Case& c)
    {
        UniqueBstr line = MakeBstr(Widen(c.commandLine));
        if (!Check(c.commandLine, line.get())) {
            fprintf(stderr, "vesker-bench: DoIt gave a wrong ResultString for %s %s\n", c.size, c.kind);
            return false;
        }
        double floor = BestSeconds([&] { Floor(c.commandLine); });
        double doIt = BestSeconds([&] { command_->DoIt(line.get()); });
        printf("ratio %s %s %.2f\n", c.size, c.kind, doIt / floor);
        fflush(stdout);
        return MeasureConversion(c, BstrText(checkedText_.get()));
    }

private:
    IUnLha* command_;
    StandInCommandEntry entry_;
    std::vector<char> area_;
    std::vector<wchar_t> wide_;
    UniqueBstr checkedText_; // DoIt's text of the latest checked case
};

// The blocks a first call leaves are the ones every call leaves.
bool HeapStaysFlat(IUnLha* command)
{
    UniqueBstr line = MakeBstr(L"hex 61 0a 82 a0 62");
    command->DoIt(line.get());
    size_t first = ModuleHeapBlockCount();
    for (long i = 1; i < HeapCalls; ++i) command->DoIt(line.get());
    size_t last = ModuleHeapBlockCount();
    printf("heap blocks after first call: %lu, after %ld calls: %lu\n", static_cast<unsigned long>(first), HeapCalls,
        static_cast<unsigned long>(last));
    return last <= first;
}

class ModuleSession {
public:
    ModuleSession() : started_(false)
    {
        g_serverModule.size = kServerModuleSize;
        started_ = SUCCEEDED(ModuleStartup(&g_serverModule, g_objectMap, GetModuleHandleW(nullptr)));
    }
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;
    ~ModuleSession()
    {
        if (started_) ModuleShutdown(&g_serverModule);
    }
    bool Started() const { return started_; }

private:
    bool started_;
};

int Fail(const char* what, HRESULT hr)
{
    fprintf(stderr, "vesker-bench: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The objects go before the module shuts down.
int RunBench()
{
    auto entry = reinterpret_cast<StandInCommandEntry>(GetProcAddress(GetModuleHandleW(L"UNLHA32.dll"), MAKEINTRESOURCEA(1)));
    if (!entry) return Fail("finding the archiver's ordinal 1", E_FAIL);
    InterfaceHolder<IClassFactory> factory;
    HRESULT hr = LookupClassObject(&g_serverModule, CLSID_UnLha, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return Fail("LookupClassObject", hr);
    InterfaceHolder<IUnLha> command;
    hr = factory->CreateInstance(nullptr, IID_IUnLha, command.put_void());
    if (FAILED(hr)) return Fail("CreateInstance", hr);

    Bench bench(command.get(), entry);
    bool ok = true;
    for (const Case& c : Cases()) ok = bench.Measure(c) && ok;
    ok = HeapStaysFlat(command.get()) && ok;
    return ok ? 0 : 1;
}

} // namespace

int main()
{
    ModuleSession module;
    if (!module.Started()) return Fail("ModuleStartup", E_FAIL);
    return RunBench();
}
