// Damaged archives through l, t and x of our UNLHA32.dll (build/bin/archiver):
// at least 10,000 seeded mutations of a few small valid archives, two of them
// behind the stub of a self-extracting archive, and of archives with a zeroed
// header or data past the end marker. Every call
// must return (a hang meets the program's timeout) with a documented code,
// leave its output area terminated within its size and untouched beyond it,
// and nothing may appear outside the extraction folder. Mutations whose
// outcome is known (a flipped data bit, an unchanged archive) are checked
// against that simple model. And a, u, f, m and d leave every file they must
// refuse byte for byte as it was (files that are no archive, archives with
// data behind a damaged header). Command lines use no switch, so they read
// the same in every version of the command language.
#include "archiver/CommandTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using commandtest::Bytes;

// The return values of archiver/commands/ReturnCode.h that these runs expect
// by name; every call must return one of kDocumentedCodes.
const int kSuccess = 0;
const int kCrcError = 0x800C;
const int kFileOpen = 0x800D;
const int kHeaderCrc = 0x8016;
const int kBrokenHeader = 0x8017;
const int kNotArchive = 0x8019;
const int kEndOfFile = 0x802D;
const int kUnsafeName = 0x8041;
const int kDocumentedCodes[] = {kSuccess, 0x8005, 0x8006, 0x8008, 0x8009, kCrcError, kFileOpen, 0x800E, 0x8010,
                                0x8012, 0x8013, kHeaderCrc, kBrokenHeader, 0x8018, kNotArchive, 0x801C, 0x801E,
                                0x8020, 0x8023, 0x8025, 0x8027, 0x8028, 0x802A, 0x802B, 0x802C, kEndOfFile,
                                0x802E, 0x8031, kUnsafeName};
// Warnings skip a member; the first error of a run counts, else its first warning.
const int kLastWarning = 0x8011;
const int kMutationsPerThread = 5000;
const int kThreads = 2;
// Extracting is the costly call; existing files are skipped, so the
// destination is emptied only now and then.
const int kRunsBetweenCleanups = 2500;
const size_t kGuard = 32;
const uint8_t kPadding = 0x1A;  // CP/M's end of file, which PMarc pads archives with
const uint8_t kGuardByte = 0xCD;
const DWORD kAreaSizes[] = {0, 1, 2, 80, 65536};

bool IsDocumented(int code)
{
    return std::find(std::begin(kDocumentedCodes), std::end(kDocumentedCodes), code) != std::end(kDocumentedCodes);
}

bool IsError(int code) { return code > kLastWarning; }

int Worse(int sofar, int code)
{
    if (code == kSuccess || IsError(sofar)) return sofar;
    if (IsError(code) || sofar == kSuccess) return code;
    return sofar;
}

// Hand-built archives of stored members, one per name, at one header level.
Bytes HandBuiltArchive(int level, const std::vector<std::string>& names)
{
    std::vector<commandtest::HandMember> members;
    for (size_t i = 0; i < names.size(); ++i) {
        commandtest::HandMember member{names[i], "member " + std::to_string(i) + " of a hand-built archive\n"};
        member.level = level;
        members.push_back(member);
    }
    return commandtest::HandArchive(members);
}

// A level 2 member whose name and folder fields hold exactly `name` and `folder`.
commandtest::HandMember SplitFields(const std::string& folder, const std::string& name, const std::string& text)
{
    commandtest::HandMember member{name, text};
    member.storedFolder = folder;
    return member;
}

// ---- where each member's header and data lie, for aimed mutations ----

struct MemberSpan {
    size_t header;     // offset of the header
    size_t headerSize; // bytes up to the data (level 1: with its extended headers)
    size_t data;
    size_t dataSize;
    int level;
    bool stored;
};

uint32_t Read32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
uint16_t Read16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// ---- self-extracting archives: a program's bytes before the archive ----

// A stub as DECLHA's: the "LHA-SFX" mark, a false "-lhd-" candidate it passes
// over, then header-like text that fails to parse; the archive follows at
// kStubSize.
const size_t kStubSize = 300;
Bytes DeclhaStub()
{
    std::string stub = std::string("MZ\x90\0", 4) + " self-extractor LHA-SFX ..-lhd-.... then xx-lh5-0123456789 text";
    stub.resize(kStubSize, '.');
    return Bytes(stub.begin(), stub.end());
}

// A stub as the Amiga one: its mark, then a whole member of its own (help
// text) that the mark passes over; the archive follows at kStubSize.
Bytes AmigaStub()
{
    std::string stub = std::string("\0\0\x03\xF3", 4) + " LhASFX V1.2, stub";
    stub.resize(kStubSize - 60, '.');
    Bytes bytes(stub.begin(), stub.end());
    commandtest::HandMember help{"SFXUsage.txt", "usage text\n"};
    help.level = 1;
    Bytes member = commandtest::HandMemberBytes(help);
    bytes.insert(bytes.end(), member.begin(), member.end());
    bytes.resize(kStubSize, '.');
    return bytes;
}

Bytes Wrapped(const Bytes& stub, const Bytes& archive)
{
    Bytes file = stub;
    file.insert(file.end(), archive.begin(), archive.end());
    return file;
}

// Where the archive starts in a seed.
size_t ArchiveStartOf(const Bytes& seed)
{
    const Bytes stubs[] = {DeclhaStub(), AmigaStub()};
    for (const Bytes& stub : stubs)
        if (seed.size() > stub.size() && std::equal(stub.begin(), stub.end(), seed.begin())) return stub.size();
    return 0;
}

// Walks a valid archive (the seeds only), from its first header.
std::vector<MemberSpan> Members(const Bytes& archive)
{
    std::vector<MemberSpan> spans;
    size_t at = ArchiveStartOf(archive);
    while (at + 21 < archive.size() && archive[at] != 0) {
        MemberSpan span{at, 0, 0, 0, archive[at + 20], std::memcmp(&archive[at + 2], "-lh0-", 5) == 0};
        const uint32_t packed = Read32(archive, at + 7);
        if (span.level == 2) {
            span.headerSize = Read16(archive, at);
            span.dataSize = packed;
        } else {
            span.headerSize = archive[at] + 2u;
            size_t extended = 0;
            for (size_t next = Read16(archive, at + span.headerSize - 2); span.level == 1 && next != 0;) {
                const size_t here = at + span.headerSize + extended;
                extended += next;
                next = Read16(archive, here + next - 2);
            }
            span.headerSize += extended;
            span.dataSize = packed - extended;
        }
        span.data = at + span.headerSize;
        spans.push_back(span);
        at = span.data + span.dataSize;
    }
    return spans;
}

// `archive` with `count` bytes of `byte` after its end marker.
Bytes Padded(const Bytes& archive, uint8_t byte, size_t count)
{
    Bytes file = archive;
    file.insert(file.end(), count, byte);
    return file;
}

// `archive` with the header of its member `index` zeroed: it reads as an end
// marker with the members from there on behind it.
Bytes ZeroedHeader(const Bytes& archive, size_t index)
{
    Bytes file = archive;
    const MemberSpan span = Members(archive).at(index);
    std::fill(file.begin() + span.header, file.begin() + span.data, 0);
    return file;
}

// ---- the mutations ----

enum class Outcome { Any, SameAsSeed, DataCrcError, NotClean };

struct Mutation {
    const char* name;
    Outcome (*apply)(Bytes& archive, const std::vector<MemberSpan>& members, std::mt19937& random);
};

size_t Pick(std::mt19937& random, size_t count) { return count ? random() % count : 0; }

const MemberSpan& AnyMember(const std::vector<MemberSpan>& members, std::mt19937& random)
{
    return members[Pick(random, members.size())];
}

void PutAt32(Bytes& b, size_t at, uint32_t value)
{
    for (int i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = (value >> (8 * i)) & 0xFF;
}

void PutAt16(Bytes& b, size_t at, uint32_t value)
{
    for (int i = 0; i < 2 && at + i < b.size(); ++i) b[at + i] = (value >> (8 * i)) & 0xFF;
}

const uint32_t kHugeSizes[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x10000000, 0xFFFFFF00};

const Mutation kMutations[] = {
    {"flip any bit",
     [](Bytes& a, const std::vector<MemberSpan>&, std::mt19937& r) {
         a[Pick(r, a.size())] ^= 1 << Pick(r, 8);
         return Outcome::Any;
     }},
    {"random byte in a header",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         a[s.header + Pick(r, s.headerSize)] = static_cast<uint8_t>(r());
         return Outcome::Any;
     }},
    {"flip a bit of a member's data",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         if (s.dataSize == 0) return Outcome::SameAsSeed;
         a[s.data + Pick(r, s.dataSize)] ^= 1 << Pick(r, 8);
         // CRC-16 catches every single-bit error of stored data; a flipped
         // padding bit after the last code of a packed member changes nothing.
         return s.stored ? Outcome::DataCrcError : Outcome::Any;
     }},
    {"truncate",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const size_t lastDataEnd = m.back().data + m.back().dataSize;
         a.resize(Pick(r, a.size()));
         // Cut where a header starts, the archive reads as a shorter whole one.
         const bool atHeader = std::any_of(m.begin(), m.end(), [&](const MemberSpan& s) { return s.header == a.size(); });
         return a.size() < lastDataEnd && !atHeader ? Outcome::NotClean : Outcome::Any;
     }},
    {"huge packed size",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         PutAt32(a, AnyMember(m, r).header + 7, kHugeSizes[Pick(r, std::size(kHugeSizes))]);
         return Outcome::NotClean;
     }},
    {"huge original size",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         PutAt32(a, AnyMember(m, r).header + 11, kHugeSizes[Pick(r, std::size(kHugeSizes))]);
         return Outcome::Any;
     }},
    {"packed size leads back to the same header",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         // Offset arithmetic in 32 bits would come back to this very header.
         PutAt32(a, s.header + 7, static_cast<uint32_t>(0u - s.headerSize));
         return Outcome::NotClean;
     }},
    {"header size 0, 1 or past the end",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         const uint32_t sizes[] = {0, 1, 2, 21, 0xFF, 0xFFFF};
         const uint32_t size = sizes[Pick(r, std::size(sizes))];
         if (s.level == 2) PutAt16(a, s.header, size);
         else a[s.header] = static_cast<uint8_t>(size);
         return Outcome::Any;
     }},
    {"extended header size 0, 1, 2 or past the end",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         if (s.level == 0) return Outcome::SameAsSeed;
         const uint32_t sizes[] = {0, 1, 2, 3, 0xFFFF, static_cast<uint32_t>(s.headerSize)};
         const size_t first = s.level == 2 ? 24 : a[s.header]; // the first "next size" field
         PutAt16(a, s.header + first, sizes[Pick(r, std::size(sizes))]);
         return Outcome::Any;
     }},
    {"a member doubled",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const MemberSpan& s = AnyMember(m, r);
         const Bytes copy(a.begin() + s.header, a.begin() + s.data + s.dataSize);
         a.insert(a.begin() + s.header, copy.begin(), copy.end());
         return Outcome::Any;
     }},
    {"method changed",
     [](Bytes& a, const std::vector<MemberSpan>& m, std::mt19937& r) {
         const char* methods[] = {"-lh1-", "-lh4-", "-lh6-", "-lh7-", "-lhd-", "-lzs-", "-lh9-", "xxxxx"};
         std::memcpy(&a[AnyMember(m, r).header + 2], methods[Pick(r, std::size(methods))], 5);
         return Outcome::Any;
     }},
};

// ---- files and folders ----

std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

// Every path below `folder` (wide, so any name the library made is seen).
void Walk(const std::wstring& folder, const std::wstring& relative, std::set<std::wstring>& paths)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        paths.insert(relative + name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(folder, relative + name + L"\\", paths);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void RemoveTree(const std::wstring& folder)
{
    std::set<std::wstring> paths;
    Walk(folder, L"", paths);
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) {
        const std::wstring full = folder + *path;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(full.c_str())) RemoveDirectoryW(full.c_str());
    }
}

// ---- the run ----

class DamagedArchives : public ::testing::Test {
protected:
    void SetUp() override
    {
        entry_ = commandtest::Entry();
        ASSERT_NE(nullptr, entry_) << "build/bin/archiver/UNLHA32.dll or its ordinal 1";
        char folder[MAX_PATH];
        startFolder_.assign(folder, GetCurrentDirectoryA(MAX_PATH, folder));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        parent_ = std::string(temp) + "vesker-damage-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(parent_.c_str(), nullptr);
        CreateDirectoryA((parent_ + "source").c_str(), nullptr);
        // Relative names that escape land in the snapshot, not somewhere unseen.
        SetCurrentDirectoryA(parent_.c_str());
    }

    void TearDown() override
    {
        SetCurrentDirectoryA(startFolder_.c_str());
        RemoveTree(Widen(parent_));
        RemoveDirectoryA(parent_.c_str());
    }

public:
    // Runs one command line into an area of `areaSize` bytes with guard bytes
    // after it; what broke the rules goes into `failures` (the run's threads
    // cannot report to the test framework directly).
    int Call(const std::string& commandLine, DWORD areaSize, std::vector<std::string>& failures,
             std::string* text = nullptr)
    {
        std::vector<char> area(areaSize + kGuard, static_cast<char>(kGuardByte));
        const int code = entry_(nullptr, commandLine.c_str(), area.data(), areaSize);
        const bool guardIntact = std::all_of(area.begin() + areaSize, area.end(),
                                             [](char c) { return static_cast<uint8_t>(c) == kGuardByte; });
        const bool terminated = areaSize == 0 || std::memchr(area.data(), 0, areaSize) != nullptr;
        if (!guardIntact || !terminated || !IsDocumented(code)) {
            failures.push_back(commandLine + " (area " + std::to_string(areaSize) + "): code " +
                               std::to_string(code) + (guardIntact ? "" : ", wrote past the area") +
                               (terminated ? "" : ", no terminator"));
        }
        if (text && terminated) *text = area.data();
        return code;
    }

    const std::string& Parent() const { return parent_; }

protected:
    int Run(const std::string& commandLine, std::string* text)
    {
        std::vector<std::string> failures;
        const int code = Call(commandLine, 65536, failures, text);
        for (const std::string& failure : failures) ADD_FAILURE() << failure;
        return code;
    }

    // The valid archives the mutations start from: two made by the library
    // (level 2, stored and -lh5- members), hand-built level 0, 1 and 2
    // archives, and hand-built ones whose names try to leave the destination.
    std::vector<Bytes> Seeds()
    {
        std::vector<Bytes> seeds;
        std::string text;
        for (int line = 0; line < 60; ++line) text += "line " + std::to_string(line % 7) + " of a packed member\n";
        Bytes noise(300);
        std::mt19937 random(8);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
        EXPECT_TRUE(commandtest::WriteFileBytes(parent_ + "source\\packed.txt", Bytes(text.begin(), text.end())));
        EXPECT_TRUE(commandtest::WriteFileBytes(parent_ + "source\\noise.bin", noise));
        EXPECT_TRUE(commandtest::WriteFileBytes(parent_ + "source\\small.txt", Bytes{'s', 'm', 'a', 'l', 'l'}));
        const std::string made = parent_ + "made.lzh";
        std::string output;
        // Three members: -lh5- (the text), stored (the noise, which does not pack) and a small one.
        EXPECT_EQ(kSuccess, Run("a " + made + " " + parent_ + "source\\ *", &output)) << output;
        const Bytes archive = commandtest::ReadFileBytes(made);
        DeleteFileA(made.c_str());
        seeds.push_back(ExpectReadable(archive));
        seeds.push_back(ExpectReadable(Wrapped(DeclhaStub(), archive)));
        // Zero and 0x1A padding after the end marker is no data.
        seeds.push_back(ExpectReadable(Padded(archive, kPadding, 39)));
        seeds.push_back(ExpectReadable(Padded(Padded(archive, 0, 200), kPadding, 56)));
        // Members behind a zeroed header or other bytes after the end marker:
        // the members before them are read, and the run says the archive is broken.
        seeds.push_back(ExpectDamaged(ZeroedHeader(archive, 1), 1));
        seeds.push_back(ExpectDamaged(ZeroedHeader(archive, 2), 2));
        seeds.push_back(ExpectDamaged(Padded(Padded(archive, kPadding, 7), 'x', 1), 3));
        AddMethodSeeds(seeds);

        const std::string absolute = parent_ + "evil-absolute";
        for (int level : {0, 1, 2}) {
            seeds.push_back(ExpectReadable(HandBuiltArchive(level, {"one.txt", "folder\\two.txt"})));
            if (level == 0) seeds.push_back(ExpectReadable(Wrapped(AmigaStub(), seeds.back())));
            // Leading separators and drive prefixes are removed, so those
            // members land inside the destination; the rest are refused.
            seeds.push_back(ExpectRefused(HandBuiltArchive(level, {"..\\evil", "safe.txt", "folder\\..\\..\\evil-up", absolute,
                                                     "C:\\evil-drive", "\\evil-root", "/evil-slash", "C:evil-relative",
                                                     "\\\\evil-server\\share\\evil-unc", "\\..\\evil-lead-up",
                                                     "C:\\..\\evil-drive-up", "\\C:\\evil-second-drive", "CON",
                                                     "nul.txt", "stream.txt:evil"})));
        }
        // Level 2 keeps name and folder apart: a backslash inside the name, ".." as the folder.
        Bytes split;
        split = commandtest::HandArchive({SplitFields("", "..\\evil-name", "a"), SplitFields("..\\..", "evil-folder", "b"),
                                          SplitFields("ok", "..", "c"), SplitFields("", "safe.txt", "d")});
        seeds.push_back(ExpectRefused(split));
        return seeds;
    }

    // The archives of every method we read that write_method_seeds.py writes
    // from the format's definition, in the folder VESKER_METHOD_SEEDS names
    // (ctest sets it; run by hand without it, the run covers our own methods).
    void AddMethodSeeds(std::vector<Bytes>& seeds)
    {
        char folder[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("VESKER_METHOD_SEEDS", folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((std::string(folder) + "\\*.lzh").c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, search) << "no seeds in " << folder;
        size_t added = 0;
        do {
            seeds.push_back(ExpectReadable(commandtest::ReadFileBytes(std::string(folder) + "\\" + found.cFileName)));
            ++added;
        } while (FindNextFileA(search, &found));
        FindClose(search);
        std::printf("damaged archives: %zu seeds of other methods from %s\n", added, folder);
    }

    // A seed without bait names must list and test clean before it is damaged
    // (and a stub's own member is not listed).
    Bytes ExpectReadable(const Bytes& seed)
    {
        const std::string path = parent_ + "seed.lzh";
        EXPECT_TRUE(commandtest::WriteFileBytes(path, seed));
        std::string output;
        EXPECT_EQ(kSuccess, Run("l " + path, &output)) << output;
        EXPECT_EQ(std::string::npos, output.find("SFXUsage.txt")) << output;
        EXPECT_EQ(kSuccess, Run("t " + path, &output)) << output;
        DeleteFileA(path.c_str());
        return seed;
    }

    // A seed with data past its end marker lists, tests and extracts its
    // first `before` members, and each of l, t and x says the archive is broken.
    Bytes ExpectDamaged(const Bytes& seed, size_t before)
    {
        const std::string path = parent_ + "seed.lzh";
        const std::string destination = parent_ + "damaged\\";
        EXPECT_TRUE(commandtest::WriteFileBytes(path, seed));
        std::string output;
        EXPECT_EQ(kBrokenHeader, Run("l " + path, &output)) << output;
        EXPECT_EQ(kBrokenHeader, Run("t " + path, &output)) << output;
        EXPECT_EQ(kBrokenHeader, Run("x " + path + " " + destination, &output)) << output;
        std::set<std::wstring> extracted;
        Walk(Widen(destination), L"", extracted);
        EXPECT_EQ(before, extracted.size()) << output;
        DeleteFileA(path.c_str());
        RemoveTree(Widen(destination));
        RemoveDirectoryA(destination.c_str());
        return seed;
    }

    // A seed with bait names must reach the name checks: refused, with its
    // one safe member extracted.
    Bytes ExpectRefused(const Bytes& seed)
    {
        const std::string path = parent_ + "seed.lzh";
        const std::string destination = parent_ + "refused\\";
        EXPECT_TRUE(commandtest::WriteFileBytes(path, seed));
        std::string output;
        EXPECT_EQ(kUnsafeName, Run("x " + path + " " + destination, &output)) << output;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((destination + "safe.txt").c_str())) << output;
        DeleteFileA(path.c_str());
        RemoveTree(Widen(destination));
        RemoveDirectoryA(destination.c_str());
        return seed;
    }

    commandtest::CommandEntry entry_ = nullptr;
    std::string startFolder_;
    std::string parent_;
};

struct Worker {
    DamagedArchives* test;
    const std::vector<Bytes>* seeds;
    std::vector<std::vector<int>> seedCodes; // l and t of each unmutated seed
    int index;
    int runs;
    std::vector<std::string> failures;
};

// What l and t must answer where the mutation's outcome is known.
void CheckModel(Worker& w, Outcome outcome, const std::vector<int>& codes, const std::vector<int>& seedCodes,
                const std::string& what)
{
    auto fail = [&](const std::string& expectation) {
        w.failures.push_back(what + ": " + expectation + ", got l " + std::to_string(codes[0]) + " t " +
                             std::to_string(codes[1]));
    };
    if (outcome == Outcome::SameAsSeed && (codes[0] != seedCodes[0] || codes[1] != seedCodes[1])) fail("as the seed");
    // The damaged member comes before any fault of the seed's headers.
    if (outcome == Outcome::DataCrcError && (codes[0] != seedCodes[0] || codes[1] != Worse(kCrcError, seedCodes[1])))
        fail("l as the seed, t CRC error");
    if (outcome == Outcome::NotClean && codes[1] == kSuccess) fail("t not 0");
}

DWORD WINAPI Mutate(void* parameter);

TEST_F(DamagedArchives, TenThousandMutationsThroughListTestAndExtract)
{
    const std::wstring parent = Widen(parent_);
    std::set<std::wstring> before;
    Walk(parent, L"", before);
    const std::vector<Bytes> seeds = Seeds();
    for (const Bytes& seed : seeds) ASSERT_GT(seed.size(), 30u);

    // Where the bait names point beyond the parent: the drive's root (the
    // current folder is on C:), a server and, two levels up from a
    // destination, the temporary folder.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string outsideBait[] = {"C:\\evil-drive", "C:\\evil-root", "C:\\evil-slash", "C:\\evil-lead-up",
                                       "C:\\evil-drive-up", "C:\\evil-second-drive", "\\\\evil-server\\share\\evil-unc",
                                       std::string(temp) + "evil-folder"};

    std::vector<Worker> workers(kThreads);
    std::vector<HANDLE> threads;
    for (int i = 0; i < kThreads; ++i) {
        workers[i] = Worker{this, &seeds, {}, i, 0, {}};
        threads.push_back(CreateThread(nullptr, 0, Mutate, &workers[i], 0, nullptr));
        ASSERT_NE(nullptr, threads.back());
    }
    WaitForMultipleObjects(kThreads, threads.data(), TRUE, INFINITE);
    int runs = 0;
    for (int i = 0; i < kThreads; ++i) {
        CloseHandle(threads[i]);
        runs += workers[i].runs;
        for (size_t f = 0; f < workers[i].failures.size() && f < 20; ++f) ADD_FAILURE() << workers[i].failures[f];
        EXPECT_EQ(0u, workers[i].failures.size());
    }
    std::printf("damaged archives: %d mutations, each through l, t and x\n", runs);
    EXPECT_GE(runs, 10000);

    // Nothing but the sources of the seeds and the workers' own archives and
    // destinations is new under the parent.
    std::set<std::wstring> after;
    Walk(parent, L"", after);
    for (const std::wstring& path : after) {
        if (before.count(path) || path.rfind(L"work", 0) == 0 || path.rfind(L"source", 0) == 0) continue;
        ADD_FAILURE() << "appeared outside the destination: " << std::string(path.begin(), path.end());
    }
    for (const std::string& bait : outsideBait) EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(bait.c_str())) << bait;
}

DWORD WINAPI Mutate(void* parameter)
{
    Worker& w = *static_cast<Worker*>(parameter);
    DamagedArchives& test = *w.test;
    const std::string own = test.Parent() + "work" + std::to_string(w.index);
    const std::string archive = own + ".lzh";
    const std::string destination = own + "\\";
    CreateDirectoryA(own.c_str(), nullptr);
    const std::string x = "x " + archive + " " + destination;
    std::mt19937 random(1234 + w.index);

    for (const Bytes& seed : *w.seeds) {
        commandtest::WriteFileBytes(archive, seed);
        w.seedCodes.push_back({test.Call("l " + archive, 65536, w.failures), test.Call("t " + archive, 65536, w.failures)});
    }
    for (int run = 0; run < kMutationsPerThread; ++run, ++w.runs) {
        const size_t seedIndex = Pick(random, w.seeds->size());
        const Bytes& seed = (*w.seeds)[seedIndex];
        Bytes mutated = seed;
        const std::vector<MemberSpan> members = Members(seed);
        const Mutation& mutation = kMutations[Pick(random, std::size(kMutations))];
        Outcome outcome = mutation.apply(mutated, members, random);
        if (outcome == Outcome::Any && mutated == seed) outcome = Outcome::SameAsSeed;
        // Behind a stub, a first header that no longer parses is passed over
        // and a later member may start the archive, which then reads clean.
        if (outcome == Outcome::NotClean && ArchiveStartOf(seed) != 0) outcome = Outcome::Any;
        commandtest::WriteFileBytes(archive, mutated);
        const DWORD area = kAreaSizes[Pick(random, std::size(kAreaSizes))];
        const std::vector<int> codes = {test.Call("l " + archive, area, w.failures),
                                        test.Call("t " + archive, area, w.failures)};
        test.Call(x, area, w.failures);
        CheckModel(w, outcome, codes, w.seedCodes[seedIndex],
                   std::string(mutation.name) + " (seed " + std::to_string(seedIndex) + ", run " +
                       std::to_string(run) + ")");
        if (run % kRunsBetweenCleanups == 0) RemoveTree(Widen(destination));
    }
    RemoveTree(Widen(destination));
    return 0;
}

// ---- files that a, u, f, m and d must leave as they are ----

struct ChangeCase {
    const char* name;
    Bytes file;
    int code;  // of l, t and every changing command; kSuccess: an archive that a adds to
};

Bytes Joined(const Bytes& first, const Bytes& second)
{
    Bytes joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    return joined;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<ChangeCase> ChangeCases()
{
    const Bytes archive = HandBuiltArchive(2, {"one.txt", "two.txt", "three.txt"});
    const std::vector<MemberSpan> spans = Members(archive);
    commandtest::HandMember badCheck{"one.txt", "first\n"};
    badCheck.level = 1;
    badCheck.headerCheckDelta = 1;
    commandtest::HandMember badCrc{"two.txt", "second\n"};
    badCrc.headerCheckDelta = 1;
    // An MP4 file starts with the size of its first box, a zero byte first.
    const Bytes video = Joined(Bytes{0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0},
                               Text("isomiso2mp41 and then the frames"));
    return {
        {"starts with a zero byte, as a video does", video, kNotArchive},
        {"a text file", Text("notes that were never an archive\n"), kNotArchive},
        {"an empty file", Bytes(), kNotArchive},
        {"a later header zeroed", ZeroedHeader(archive, 1), kBrokenHeader},
        {"the last header zeroed", ZeroedHeader(archive, 2), kBrokenHeader},
        {"text after the end marker", Joined(archive, Text("trailing text")), kBrokenHeader},
        {"the first header's checksum wrong", commandtest::HandArchive({badCheck}), kHeaderCrc},
        {"a later header's CRC wrong", commandtest::HandArchive({{"one.txt", "first\n"}, badCrc}), kHeaderCrc},
        {"cut inside the last member's data", Bytes(archive.begin(), archive.begin() + spans[2].data + 2), kEndOfFile},
        {"cut inside a header", Bytes(archive.begin(), archive.begin() + spans[1].header + 10), kEndOfFile},
        {"the end marker alone", Bytes{0}, kSuccess},
        {"zeros and 0x1A padding", Bytes{0, 0, kPadding, kPadding, 0}, kSuccess},
        {"an archive with padding after its end marker", Padded(archive, kPadding, 40), kSuccess},
    };
}

TEST_F(DamagedArchives, FilesToRefuseStayAsTheyWere)
{
    // A folder of its own: the mutation run may leave names in the parent
    // that cannot be removed.
    const std::string folder = Parent() + "refusals\\";
    const std::string source = folder + "source\\";
    const std::string archive = folder + "target.lzh";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
    ASSERT_TRUE(commandtest::WriteFileBytes(source + "one.txt", Text("a newer one.txt\n")));
    const std::string changes[] = {"a " + archive + " " + source + " new.txt", "u " + archive + " " + source + " new.txt",
                                   "f " + archive + " " + source + " one.txt", "m " + archive + " " + source + " new.txt",
                                   "d " + archive + " one.txt"};
    std::string output;
    for (const ChangeCase& row : ChangeCases()) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(commandtest::WriteFileBytes(archive, row.file));
        ASSERT_TRUE(commandtest::WriteFileBytes(source + "new.txt", Text("a file to add\n")));
        EXPECT_EQ(row.code, Run("l " + archive, &output)) << output;
        EXPECT_EQ(row.code, Run("t " + archive, &output)) << output;
        if (row.code == kSuccess) {
            EXPECT_EQ(kSuccess, Run(changes[0], &output)) << output;
            EXPECT_NE(row.file, commandtest::ReadFileBytes(archive));
            EXPECT_EQ(kSuccess, Run("l " + archive + " new.txt", &output)) << output;
            continue;
        }
        for (const std::string& change : changes) {
            EXPECT_EQ(row.code, Run(change, &output)) << change << "\n" << output;
            EXPECT_EQ(row.file, commandtest::ReadFileBytes(archive)) << change;
        }
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((source + "new.txt").c_str())) << "m removed its source";
    }
    std::set<std::wstring> left;
    Walk(Widen(folder), L"", left);
    EXPECT_EQ((std::set<std::wstring>{L"source", L"source\\new.txt", L"source\\one.txt", L"target.lzh"}), left);
}

// ---- command lines: built from the language's words and mutated from the
// guide's examples, through the parser and the commands on a play tree ----

const int kCommandLines = 10000;
const int kLinesBetweenResets = 250;
// Stands for the play folder in the words below; a mutation may move or
// drop it but never split it.
const char kPlay = '\x01';
// The play folder is this deep below the parent: the few edits of a line
// cannot climb out of the parent with the '..' the words hold.
const char kPlayFolder[] = "p1\\p2\\p3\\";

const char* const kCommandWords[] = {"a", "u", "f", "m", "d", "e", "x", "l", "v", "t", "p", "s", "A", "X", "q", ""};
const char* const kSwitchWords[] = {
    "-x1", "-x0", "-r2", "-r1", "-r0", "-r9", "-p", "-c", "-m1", "-m2", "-m0", "-y", "-a1", "-a2", "-d", "-d1",
    "-w", "-w0", "-w\x01tmp\\", "-w\x01nowhere\\", "-t", "-z", "-z2", "-zjpg", "-z.", "-zt?t", "-o", "-o5", "-o7",
    "-h0", "-h1", "-h2", "-h3", "-n", "-n2", "-s", "-jm0", "-jm1", "-jm2", "-jm3", "-jm4", "-jm9", "-jbdocs\\old",
    "-jb..\\x", "-jbcon", "-jf0", "-jyo", "-jyc", "-jso1", "-jsc", "-jse", "-jsp23", "-gm1", "-gb-dash.txt",
    "-gw3", "-gr\x01x.exe", "-gx1", "--", "--1", "--2", "--0", "-+1", "-i", "-l", "-q", "-k", "/x1", "/r2",
    "-a1m1nx1jf0", "\"-w\x01my tmp\\\"", "-", "-jm", "-jmx", "-x99999999999"};
const char* const kArchiveWords[] = {"\x01" "arc.lzh", "\x01" "arc", "arc.lzh", "\x01" "src\\a.txt",
                                     "\x01" "sub\\arc.lzh", "\"\x01" "my arc.lzh\"", "\x01" "list.txt"};
const char* const kFolderWords[] = {"\x01" "out\\", "\x01" "src\\", "\x01" "out\\deep\\", ".\\", "\"\x01" "my out\\\"",
                                    "\x01" "src/", "\x01" "tmp\\"};
const char* const kNameWords[] = {"a.txt", "*.txt", "*", "sub\\*", "sub", "..\\b.txt", "zzz", "@\x01" "list.txt",
                                  "@\x01" "none.txt", "\"with space.txt\"", "sub\\..\\a.txt", "A.TXT", "?.txt",
                                  "sub\\c.txt", "\"\"", "@"};
// Lines in the style callers write.
const char* const kGuideLines[] = {
    "e -x1 -a1 -c1 -jf0 -jso1 -jsc \"-w\x01tmp\\\" \"\x01" "arc.lzh\" \".\\\"",
    "x -r2 -jf0 -jso1 \"\x01" "arc.lzh\" \"\x01" "out\\\"",
    "a -d1 -jso1 -jm2 \"\x01" "new.lzh\" \"\x01" "src\\\"  \"sub\\*\"",
    "e -a1m1nx1jf0 \x01" "arc.lzh \x01" "out\\ @\x01" "list.txt",
    "x -n1 -gm1 \"\x01" "arc.lzh\" \"\x01" "out\\\" \"sub\\c.txt\"",
    "m -r2 -x1 \x01" "arc.lzh \x01" "src\\ *",
    "u -jm4 -z -t \x01" "arc.lzh \x01" "src\\ a.txt \x01" "out\\ *",
    "d -d1 \x01" "arc.lzh sub",
};
// No ':', '\' or '/': an edit never makes a drive, a root or a folder of its own.
const char kInsertedCharacters[] = "abxz019-\"@ *?.+";

template <size_t N>
const char* AnyOf(const char* const (&words)[N], std::mt19937& random)
{
    return words[random() % N];
}

std::string BuiltLine(std::mt19937& random)
{
    std::string line = AnyOf(kCommandWords, random);
    const int words = static_cast<int>(random() % 8);
    for (int i = 0; i < words; ++i) {
        const unsigned kind = random() % 4;
        const char* word = kind == 0 ? AnyOf(kSwitchWords, random)
                           : kind == 1 ? AnyOf(kArchiveWords, random)
                           : kind == 2 ? AnyOf(kFolderWords, random)
                                       : AnyOf(kNameWords, random);
        line += std::string(" ") + word;
    }
    return line;
}

std::string MutatedLine(std::mt19937& random)
{
    std::string line = AnyOf(kGuideLines, random);
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits && !line.empty(); ++i) {
        const size_t at = random() % line.size();
        switch (random() % 3) {
        case 0: line.erase(at, 1); break;
        case 1: line.insert(at, 1, kInsertedCharacters[random() % (sizeof kInsertedCharacters - 1)]); break;
        default: line.insert(at, " " + std::string(AnyOf(kSwitchWords, random)) + " "); break;
        }
    }
    return line;
}

// Whether every path of `line` stays below the play folder: an edit may
// bring a backslash to the start of a word ("sub\*" losing "sub"), and a
// rooted name such as "\*" would reach the whole drive, which is what the
// command would be asked to do; such lines are made again. Words split as
// the parser splits them; with the '-' switch character a word starting with
// '/' is a rooted name too.
bool StaysInPlay(const std::string& line)
{
    std::vector<std::string> words(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ' ' && !quoted) words.emplace_back();
        else words.back() += c;
    }
    char switchCharacter = 0;
    for (size_t i = 1; i < words.size(); ++i) {
        std::string word = words[i];
        if (word.empty()) continue;
        if (switchCharacter == 0 && (word[0] == '-' || word[0] == '/')) switchCharacter = word[0];
        if (word[0] == '@') word.erase(0, 1);
        if (word.size() > 2 && (word[0] == '-' || word[0] == '/') && (word[1] == 'w' || word[1] == 'W')) word.erase(0, 2);
        if (!word.empty() && word[0] == '\\') return false;
        if (!word.empty() && word[0] == '/' && switchCharacter != '/') return false;
    }
    return !words.empty() && (words[0].empty() || (words[0][0] != '\\' && words[0][0] != '/'));
}

std::string WithPlayFolder(const std::string& line, const std::string& play)
{
    std::string expanded;
    for (char c : line) expanded += c == kPlay ? play : std::string(1, c);
    return expanded;
}

// -jsc returns the count of failed members instead of a code.
bool IsAnswer(int code, const std::string& line)
{
    std::string lower = line;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return IsDocumented(code) || (lower.find("jsc") != std::string::npos && code > 0 && code < 100);
}

void WriteText(const std::string& path, const std::string& text)
{
    EXPECT_TRUE(commandtest::WriteFileBytes(path, Bytes(text.begin(), text.end()))) << path;
}

// Names the words could leave behind, were they to land outside the play tree.
const char* const kEscapedNames[] = {"a.txt", "b.txt", "arc.lzh", "out", "src", "sub", "tmp", "with space.txt",
                                     "-dash.txt", "my out", "new.lzh", "zzz"};

// What `folder` holds: everything below it, or only its own entries (the
// temporary folder and the drive's root are large, and other tests write there).
void Entries(const std::string& folder, bool whole, std::set<std::wstring>& paths)
{
    if (whole) return Walk(Widen(folder), L"", paths);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((Widen(folder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do paths.insert(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
}

TEST_F(DamagedArchives, TenThousandCommandLines)
{
    const std::string play = parent_ + kPlayFolder;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::vector<std::string> watched = {std::string(temp), "C:\\", parent_};
    auto reset = [&] {
        RemoveTree(Widen(parent_ + "p1\\"));
        for (const char* folder : {"p1", "p1\\p2", "p1\\p2\\p3", "p1\\p2\\p3\\src", "p1\\p2\\p3\\src\\sub",
                                   "p1\\p2\\p3\\tmp", "p1\\p2\\p3\\cwd"})
            CreateDirectoryA((parent_ + folder).c_str(), nullptr);
        WriteText(play + "src\\a.txt", "alpha\n");
        WriteText(play + "src\\b.txt", std::string(3000, 'b'));
        WriteText(play + "src\\with space.txt", "space\n");
        WriteText(play + "src\\sub\\c.txt", "charlie\n");
        WriteText(play + "list.txt", "a.txt\r\n*.txt -x1 \"sub\\c.txt\"\n");
        std::string output;
        EXPECT_EQ(kSuccess, Run("a -r2 -x1 " + play + "arc.lzh " + play + "src\\", &output)) << output;
        SetCurrentDirectoryA((play + "cwd").c_str());
    };
    std::vector<std::set<std::wstring>> before(watched.size());
    for (size_t i = 0; i < watched.size(); ++i) Entries(watched[i], i == 2, before[i]);
    std::mt19937 random(20261209);
    int lines = 0;
    std::vector<std::string> failures;
    std::vector<char> area(65536);
    for (; lines < kCommandLines; ++lines) {
        if (lines % kLinesBetweenResets == 0) reset();
        std::string made;
        do made = random() % 2 ? BuiltLine(random) : MutatedLine(random);
        while (!StaysInPlay(made));
        const std::string line = WithPlayFolder(made, play);
        const int code = entry_(nullptr, line.c_str(), area.data(), static_cast<DWORD>(area.size()));
        if (!IsAnswer(code, line) && failures.size() < 20) failures.push_back(line + ": code " + std::to_string(code));
    }
    SetCurrentDirectoryA(parent_.c_str());
    std::printf("command lines: %d, built from the language's words and mutated from the guide's examples\n", lines);
    for (const std::string& failure : failures) ADD_FAILURE() << failure;
    // Nothing new beside the play tree: not in the parent, the temporary folder or the drive's root.
    for (size_t i = 0; i < watched.size(); ++i) {
        std::set<std::wstring> after;
        Entries(watched[i], i == 2, after);
        for (const std::wstring& path : after) {
            if (before[i].count(path) || path.rfind(L"p1", 0) == 0) continue;
            const std::string name(path.begin(), path.end());
            const bool ours = i == 2 || std::any_of(std::begin(kEscapedNames), std::end(kEscapedNames),
                                                    [&](const char* escaped) { return name == escaped; });
            if (ours) ADD_FAILURE() << "appeared outside the play tree: " << watched[i] << name;
        }
    }
}

} // namespace
