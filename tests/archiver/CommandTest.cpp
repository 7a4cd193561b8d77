// The command entry of our UNLHA32.dll, called at ordinal 1 from a scratch
// folder: command lines, the output area, return codes, path safety, the
// no-loss rules of extraction and of a/u/d, round trips and level 0/1 headers.
#include "archiver/CommandTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace commandtest;

namespace {

const uint32_t kOld = 1000000000;   // 2001-09-09
const uint32_t kNew = 1100000000;   // 2004-11-09

bool IsCodePage932() { return GetACP() == 932; }

// "{a}" becomes the archive path, "{d}" the destination folder (with its
// trailing backslash), "{s}" the scratch folder.
std::string Expand(std::string text, const std::string& scratch)
{
    const std::pair<std::string, std::string> keys[] = {
        {"{a}", scratch + "arc.lzh"}, {"{d}", scratch + "out\\"}, {"{s}", scratch}};
    for (const auto& key : keys)
        for (size_t at; (at = text.find(key.first)) != std::string::npos;) text.replace(at, key.first.size(), key.second);
    return text;
}

class Command : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(Entry(), nullptr) << "build/bin/archiver/UNLHA32.dll or its ordinal 1";
        scratch_ = MakeScratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { RemoveTree(scratch_); }

    std::string Path(const std::string& relative) const { return scratch_ + relative; }
    std::string Archive() const { return Path("arc.lzh"); }
    std::string Out() const { return Path("out\\"); }
    Result RunExpanded(const std::string& line) const { return commandtest::Run(Expand(line, scratch_)); }
    void WriteArchive(const std::vector<HandMember>& members) const { WriteFileBytes(Archive(), HandArchive(members)); }

    std::string scratch_;
};

// Three stored members: two in the top folder, one in sub\.
const std::vector<HandMember> kThreeMembers = {
    {"a.txt", "alpha\n"}, {"b.dat", "bravo bravo\n"}, {"sub\\c.txt", "charlie\n"}};

// ---- command line: words, quotes, switches, destination, names ----

struct LineCase {
    const char* name;
    const char* line;
    int code;
    std::vector<std::string> present;   // under the scratch folder afterwards
    std::vector<std::string> absent;
};

const LineCase kLineCases[] = {
    {"all members into the destination", "x {a} {d}", kSuccess, {"out\\a.txt", "out\\b.dat", "out\\sub\\c.txt"}, {}},
    {"one name", "x {a} {d} b.dat", kSuccess, {"out\\b.dat"}, {"out\\a.txt", "out\\sub\\c.txt"}},
    {"wildcard on file names in folders", "x {a} {d} *.txt", kSuccess, {"out\\a.txt", "out\\sub\\c.txt"}, {"out\\b.dat"}},
    {"question mark", "x {a} {d} ?.dat", kSuccess, {"out\\b.dat"}, {"out\\a.txt"}},
    {"folder name selects its members", "x {a} {d} sub", kSuccess, {"out\\sub\\c.txt"}, {"out\\a.txt"}},
    {"name in either case", "x {a} {d} A.TXT", kSuccess, {"out\\a.txt"}, {"out\\b.dat"}},
    {"e drops folders", "e {a} {d} sub\\c.txt", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"switch after the archive", "x {a} {d} -o a.txt", kSuccess, {"out\\a.txt"}, {"out\\b.dat"}},
    {"switches combined", "x -or {a} {d} a.txt", kSuccess, {"out\\a.txt"}, {}},
    {"quoted destination with a space", "x {a} \"{s}my out\\\" a.txt", kSuccess, {"my out\\a.txt"}, {"out\\"}},
    {"quoted -o is a name, not a switch", "x {a} {d} \"-o\"", kNothingMatched, {}, {"out\\a.txt"}},
    {"name that matches nothing", "x {a} {d} zzz", kNothingMatched, {}, {"out\\a.txt"}},
    {"t writes nothing", "t {a}", kSuccess, {}, {"out\\", "a.txt"}},
    {"unknown command", "q {a}", kBadCommandLine, {}, {"out\\"}},
    {"unknown switch", "x -k {a} {d}", kBadCommandLine, {}, {"out\\"}},
    {"no archive", "x -o", kBadCommandLine, {}, {}},
    {"unclosed quote", "x \"{a} {d}", kBadCommandLine, {}, {"out\\"}},
    {"empty command line", "", kBadCommandLine, {}, {}},
    {"d needs names", "d {a}", kBadCommandLine, {}, {}},
    {"a needs names", "a {a}", kBadCommandLine, {}, {}},
};

TEST_F(Command, LineTable)
{
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.name);
        WriteArchive(kThreeMembers);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        for (const std::string& path : row.present) EXPECT_TRUE(Exists(Path(path))) << path;
        for (const std::string& path : row.absent) EXPECT_FALSE(Exists(Path(path))) << path;
        RemoveTree(Out());
        RemoveTree(Path("my out\\"));
    }
}

TEST_F(Command, EchoWritesItsTextBack)
{
    Result result = commandtest::Run("echo  two  spaces ");
    EXPECT_EQ(kSuccess, result.code);
    EXPECT_EQ(" two  spaces ", result.text);
}

// Under code page 932 the bytes 0x95 0x5C are one character; its trail byte
// is not a backslash, so a word ending in it is a name, not a folder.
TEST_F(Command, DoubleByteTrailBackslashIsNoFolder)
{
    if (!IsCodePage932()) GTEST_SKIP() << "needs code page 932 (0x95 0x5C is one character there)";
    const std::string hyou = "\x95\x5C";
    WriteArchive({{hyou, "one\n"}, {"x.txt", "two\n"}});
    // No destination: were the name taken for one, every member would go there.
    CreateDirectoryA(Out().c_str(), nullptr);
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(Out().c_str());
    Result result = RunExpanded("x {a} " + hyou);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(kSuccess, result.code) << result.text;
    EXPECT_EQ("one\n", ReadFileText(Out() + hyou));
    EXPECT_FALSE(Exists(Out() + "x.txt"));
}

// ---- the output area ----

struct AreaCase {
    const char* name;
    DWORD size;
    bool nullArea;
    std::string written;  // bytes up to and with the terminator
};

const AreaCase kAreaCases[] = {
    {"roomy", 64, false, std::string("0123456789\0", 11)},
    {"exact fit", 11, false, std::string("0123456789\0", 11)},
    {"one short: cut at size - 1", 10, false, std::string("012345678\0", 10)},
    {"size 1: terminator only", 1, false, std::string("\0", 1)},
    {"size 0: nothing", 0, false, ""},
    {"null area, size 0", 0, true, ""},
};

TEST_F(Command, OutputAreaTable)
{
    const size_t guard = 16;
    for (const AreaCase& row : kAreaCases) {
        SCOPED_TRACE(row.name);
        std::vector<char> area(row.size + guard, '\x7F');
        int code = Entry()(nullptr, "echo 0123456789", row.nullArea ? nullptr : area.data(), row.size);
        EXPECT_EQ(kSuccess, code);
        EXPECT_EQ(row.written, std::string(area.data(), row.written.size()));
        for (size_t i = row.written.size(); i < area.size(); ++i) ASSERT_EQ('\x7F', area[i]) << "byte " << i;
    }
}

// A listing longer than the area: the area holds its start, terminated.
TEST_F(Command, ListingCutAtAreaEnd)
{
    WriteArchive(kThreeMembers);
    Result whole = RunExpanded("l {a}");
    ASSERT_EQ(kSuccess, whole.code);
    ASSERT_GT(whole.text.size(), 200u);
    EXPECT_EQ(std::string::npos, whole.text.find('\r'));
    std::vector<char> area(101, '\x7F');
    EXPECT_EQ(kSuccess, Entry()(nullptr, ("l " + Archive()).c_str(), area.data(), 100));
    EXPECT_EQ(whole.text.substr(0, 99), std::string(area.data(), 99));
    EXPECT_EQ('\0', area[99]);
    EXPECT_EQ('\x7F', area[100]);
}

TEST_F(Command, ListShowsEveryField)
{
    WriteArchive(kThreeMembers);
    Result result = RunExpanded("l {a}");
    ASSERT_EQ(kSuccess, result.code) << result.text;
    // b.dat: 12 bytes stored, its CRC, 100 %.
    char crc[8];
    snprintf(crc, sizeof crc, "%04X", Crc16(reinterpret_cast<const uint8_t*>("bravo bravo\n"), 12));
    EXPECT_NE(std::string::npos, result.text.find("\n        12         12  100.0% -lh0- 2001-02-0")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find(std::string(crc) + " b.dat\n"));
    EXPECT_NE(std::string::npos, result.text.find("sub\\c.txt\n"));
    EXPECT_NE(std::string::npos, result.text.find("        26         26  100.0% 3 members\n"));
}

// A stored name may hold any byte: a zero must not cut the caller's text short
// and a line end must not start a false line of the listing.
TEST_F(Command, ListShowsControlBytesOfNamesAsQuestionMarks)
{
    WriteArchive({{std::string("zero\0byte.txt", 13), "1\n"}, {"line\nend.txt", "2\n"}, {"last.txt", "3\n"}});
    Result result = RunExpanded("l {a}");
    ASSERT_EQ(kSuccess, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find(" zero?byte.txt\n")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find(" line?end.txt\n")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find(" last.txt\n")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("3 members\n")) << result.text;
}

// ---- return codes of each failure class, and which one wins ----

struct CodeCase {
    const char* name;
    std::vector<HandMember> members;  // empty: the archive file holds `raw`
    std::string raw;
    const char* line;
    int code;
    const char* says;
};

const CodeCase kCodeCases[] = {
    {"archive not found", {}, "", "l {s}missing.lzh", kArchiveNotFound, "archive not found"},
    {"not an archive", {}, "this is plain text, not an archive at all\n", "l {a}", kBrokenArchive, "not an archive"},
    {"empty file", {}, std::string(), "t {a}", kBrokenArchive, "not an archive"},
    {"truncated header", {}, std::string("\x30\x00-lh0-\x05", 9), "l {a}", kBrokenArchive, "not an archive"},
    {"CRC error", {{"a.txt", "alpha\n", 2, "-lh0-", 1}}, "", "t {a}", kCrcError, "a.txt: CRC error"},
    {"unsupported method", {{"a.txt", "alpha\n", 2, "-lh1-"}}, "", "x {a} {d}", kUnsupportedMethod, "unsupported method"},
    {"unsafe name", {{"..\\up.txt", "x"}}, "", "x {a} {d}", kUnsafeName, "refused"},
    {"file cannot be written", {{"a.txt", "alpha\n"}}, "", "x {a} {a}\\", kFileError, "cannot make"},
    {"file to add is missing", {}, "", "a {s}new.lzh {s}nothing.txt", kFileError, "cannot find"},
    {"CRC error outranks unsafe name", {{"..\\up.txt", "x"}, {"a.txt", "alpha\n", 2, "-lh0-", 1}}, "", "x {a} {d}",
     kCrcError, "refused"},
    {"broken header after a good member", {{"a.txt", "alpha\n"}, {"b.txt", "bravo\n", 2, "-lh0-", 0, 1}}, "",
     "x {a} {d}", kBrokenArchive, "a.txt: extracted"},
};

TEST_F(Command, CodeTable)
{
    for (const CodeCase& row : kCodeCases) {
        SCOPED_TRACE(row.name);
        if (row.members.empty())
            WriteFileText(Archive(), row.raw);
        else
            WriteArchive(row.members);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_NE(std::string::npos, result.text.find(row.says)) << result.text;
        RemoveTree(Out());
    }
}

// ---- path safety: each refused kind, the others still extract ----

struct UnsafeCase {
    const char* name;
    std::string member;
    std::string escape;  // where it would land, relative to the destination
};

const UnsafeCase kUnsafeCases[] = {
    {"dot-dot", "..\\evil1.txt", "..\\evil1.txt"},
    {"dot-dot inside", "sub\\..\\..\\evil2.txt", "..\\evil2.txt"},
    {"dot-dot with slashes", "sub/../../evil3.txt", "..\\evil3.txt"},
    {"leading backslash", "\\vesker-evil4.txt", "\\vesker-evil4.txt"},
    {"leading slash", "/vesker-evil5.txt", "\\vesker-evil5.txt"},
    {"drive letter", "C:\\vesker-evil6.txt", "C:\\vesker-evil6.txt"},
    {"drive-relative", "C:vesker-evil7.txt", "C:vesker-evil7.txt"},
    {"alternate stream", "good.txt:hidden", "good.txt"},
    {"dots and blanks", ".. \\evil8.txt", "..\\evil8.txt"},
    {"device CON", "CON", ""},
    {"device with extension, lower case", "nul.txt", ""},
    {"device in a folder", "sub\\Aux.dat", ""},
    {"COM9", "com9", ""},
    {"LPT1 with extension", "LPT1.log", ""},
    {"COM0 with extension", "com0.txt", ""},
    {"LPT0", "LPT0", ""},
    {"device with trailing blank", "prn .txt", ""},
    {"wildcard character", "a*b.txt", ""},
    {"file member without a name", "sub\\", "sub\\"},
};

TEST_F(Command, UnsafeNameTable)
{
    std::set<std::string> before = Tree(scratch_);
    for (const UnsafeCase& row : kUnsafeCases) {
        SCOPED_TRACE(row.name);
        WriteArchive({{"first.txt", "1\n"}, {row.member, "evil\n"}, {"last.txt", "2\n"}});
        Result result = RunExpanded("x {a} {d}");
        EXPECT_EQ(kUnsafeName, result.code) << result.text;
        std::string shown = row.member;
        for (char& c : shown) c = c == '/' ? '\\' : c;
        EXPECT_NE(std::string::npos, result.text.find(shown + ": refused")) << result.text;
        EXPECT_EQ("1\n", ReadFileText(Out() + "first.txt"));
        EXPECT_EQ("2\n", ReadFileText(Out() + "last.txt"));
        std::set<std::string> inside = Tree(Out());
        EXPECT_EQ((std::set<std::string>{"first.txt", "last.txt"}), inside);
        if (!row.escape.empty()) {
            bool rooted = row.escape[0] == '\\' || row.escape[1] == ':';
            EXPECT_FALSE(Exists(rooted ? row.escape : Out() + row.escape)) << row.escape;
        }
        RemoveTree(Out());
        DeleteFileA(Archive().c_str());
        EXPECT_EQ(before, Tree(scratch_)) << "something appeared beside the destination";
    }
}

// ---- extraction never loses a file ----

TEST_F(Command, ExistingFilesAreKeptUnlessOverwriting)
{
    WriteArchive(kThreeMembers);
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    WriteFileText(Out() + "a.txt", "mine\n");
    Result kept = RunExpanded("x {a} {d}");
    EXPECT_EQ(kMembersSkipped, kept.code);
    EXPECT_NE(std::string::npos, kept.text.find("a.txt: skipped")) << kept.text;
    EXPECT_EQ("mine\n", ReadFileText(Out() + "a.txt"));
    Result replaced = RunExpanded("x -o {a} {d}");
    EXPECT_EQ(kSuccess, replaced.code) << replaced.text;
    EXPECT_EQ("alpha\n", ReadFileText(Out() + "a.txt"));
}

// The same name twice, in a folder the run itself makes: the second copy finds
// the first in place and keeps it unless overwriting.
TEST_F(Command, SecondCopyOfANameKeepsTheFirstUnlessOverwriting)
{
    WriteArchive({{"sub\\twice.txt", "first\n"}, {"sub\\twice.txt", "second\n"}});
    Result kept = RunExpanded("x {a} {d}");
    EXPECT_EQ(kMembersSkipped, kept.code) << kept.text;
    EXPECT_EQ("first\n", ReadFileText(Out() + "sub\\twice.txt"));
    EXPECT_EQ((std::set<std::string>{"sub\\", "sub\\twice.txt"}), Tree(Out())) << "no temporary file left";
    RemoveTree(Out());
    Result replaced = RunExpanded("x -o {a} {d}");
    EXPECT_EQ(kSuccess, replaced.code) << replaced.text;
    EXPECT_EQ("second\n", ReadFileText(Out() + "sub\\twice.txt"));
}

TEST_F(Command, CrcErrorLeavesNoPartialFile)
{
    WriteArchive({{"good.txt", "good\n"}, {"bad.txt", std::string(5000, 'b'), 2, "-lh0-", 1}});
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kCrcError, result.code);
    EXPECT_EQ((std::set<std::string>{"good.txt"}), Tree(Out())) << "no partial or temporary file";
    WriteFileText(Out() + "bad.txt", "previous\n");
    EXPECT_EQ(kCrcError, RunExpanded("x -o {a} {d} bad.txt").code);
    EXPECT_EQ("previous\n", ReadFileText(Out() + "bad.txt")) << "a bad member replaces nothing";
}

TEST_F(Command, ExtractionSetsTheTimestamp)
{
    WriteArchive({{"timed.txt", "t\n"}});
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA((Out() + "timed.txt").c_str(), GetFileExInfoStandard, &data));
    uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(981194400ULL, (ticks - 116444736000000000ULL) / 10000000ULL);
}

// ---- a, u and d: a failure leaves the archive byte for byte ----

struct KeepCase {
    const char* name;
    const char* line;
    int code;
    bool broken;  // the archive's last member is cut short
    bool locked;  // another handle holds new.txt without sharing
};

const KeepCase kKeepCases[] = {
    {"a with a missing file", "a {a} {s}missing.txt", kFileError, false, false},
    {"d of nothing that matches", "d {a} zzz", kNothingMatched, false, false},
    {"a of a file that cannot be read", "a {a} {s} b.dat new.txt", kFileError, false, true},
    {"u into a broken archive", "u {a} {s} new.txt", kBrokenArchive, true, false},
    {"d in a broken archive", "d {a} a.txt", kBrokenArchive, true, false},
};

TEST_F(Command, FailedUpdateKeepsArchiveTable)
{
    WriteFileText(Path("new.txt"), "new\n");
    for (const KeepCase& row : kKeepCases) {
        SCOPED_TRACE(row.name);
        Bytes original = HandArchive(kThreeMembers);
        if (row.broken) original.resize(original.size() - 10);
        WriteFileBytes(Archive(), original);
        WriteFileText(Path("b.dat"), "replacement\n");
        HANDLE lock = row.locked ? CreateFileA(Path("new.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
        Result result = RunExpanded(row.line);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_NE(std::string::npos, result.text.find("unchanged")) << result.text;
        EXPECT_EQ(original, ReadFileBytes(Archive()));
        EXPECT_EQ((std::set<std::string>{"arc.lzh", "b.dat", "new.txt"}), Tree(scratch_)) << "no temporary file left";
    }
}

TEST_F(Command, AddReplacesAndDeleteRemoves)
{
    WriteArchive(kThreeMembers);
    WriteFileText(Path("a.txt"), "new alpha\n");
    Result added = RunExpanded("a {a} {s} a.txt");
    ASSERT_EQ(kSuccess, added.code) << added.text;
    EXPECT_NE(std::string::npos, added.text.find("a.txt: replaced")) << added.text;
    // A wildcard that also matches the archive itself never adds it.
    Result all = RunExpanded("a {a} {s} *.*");
    ASSERT_EQ(kSuccess, all.code) << all.text;
    EXPECT_EQ(std::string::npos, all.text.find("arc.lzh")) << all.text;
    Result deleted = RunExpanded("d {a} sub b.dat");
    ASSERT_EQ(kSuccess, deleted.code) << deleted.text;
    EXPECT_NE(std::string::npos, deleted.text.find("2 deleted"));
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ((std::set<std::string>{"a.txt"}), Tree(Out()));
    EXPECT_EQ("new alpha\n", ReadFileText(Out() + "a.txt"));
}

// Names are one name whatever the case of their ASCII letters: a file named
// twice is added once, and it replaces a member that differs only in case.
TEST_F(Command, AddTakesNamesWithoutRegardToCase)
{
    WriteArchive({{"A.TXT", "old\n"}, {"b.dat", "bravo\n"}});
    WriteFileText(Path("a.txt"), "new\n");
    Result added = RunExpanded("a {a} {s} a.txt A.TXT");
    ASSERT_EQ(kSuccess, added.code) << added.text;
    EXPECT_NE(std::string::npos, added.text.find("a.txt: replaced")) << added.text;
    EXPECT_NE(std::string::npos, added.text.find("1 added")) << added.text;
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ((std::set<std::string>{"a.txt", "b.dat"}), Tree(Out()));
    EXPECT_EQ("new\n", ReadFileText(Out() + "a.txt"));
}

TEST_F(Command, UpdateTakesOnlyNewerFiles)
{
    CreateDirectoryA(Path("src").c_str(), nullptr);
    const char* names[] = {"same.txt", "newer.txt", "older.txt"};
    for (const char* name : names) {
        WriteFileText(Path("src\\") + name, std::string("first ") + name);
        SetWriteTime(Path("src\\") + name, kOld);
    }
    ASSERT_EQ(kSuccess, RunExpanded("a {a} {s}src\\ *").code);
    for (const char* name : names) WriteFileText(Path("src\\") + name, std::string("second ") + name);
    SetWriteTime(Path("src\\same.txt"), kOld);
    SetWriteTime(Path("src\\newer.txt"), kNew);
    SetWriteTime(Path("src\\older.txt"), kOld - 100);
    WriteFileText(Path("src\\fresh.txt"), "fresh");
    Result result = RunExpanded("u {a} {s}src\\ *");
    ASSERT_EQ(kSuccess, result.code) << result.text;
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ("first same.txt", ReadFileText(Out() + "same.txt"));
    EXPECT_EQ("second newer.txt", ReadFileText(Out() + "newer.txt"));
    EXPECT_EQ("first older.txt", ReadFileText(Out() + "older.txt"));
    EXPECT_EQ("fresh", ReadFileText(Out() + "fresh.txt"));
}

// ---- round trip a -> x, files and folders, double-byte names ----

struct TripCase {
    const char* name;
    std::string path;   // relative, in the system code page
    std::string data;
    bool needs932;
};

std::string Pattern(size_t size, unsigned seed)
{
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        text.push_back(static_cast<char>(i % 7 == 0 ? (seed >> 16) : 'a' + i % 13));
    }
    return text;
}

std::string Noise(size_t size, unsigned seed)
{
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        text.push_back(static_cast<char>(seed >> 16));
    }
    return text;
}

// Makes the folders above `path`, splitting only at single-byte backslashes.
void MakeParents(const std::string& path)
{
    for (size_t at = 0; at < path.size(); ++at) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[at])) && at + 1 < path.size()) {
            ++at;
            continue;
        }
        if (path[at] == '\\' && at > 2) CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
}

const TripCase kTripCases[] = {
    {"empty file", "empty.txt", "", false},
    {"compressible", "text.txt", std::string(20000, 'z') + "end", false},
    {"mixed bytes", "sub\\deep\\mixed.bin", Pattern(70000, 7), false},
    {"incompressible", "sub\\noise.bin", Noise(3000, 3), false},
    {"name with a space", "with space\\a b.txt", "spaced", false},
    {"trail byte 0x5C in a file name", "\x95\x5C.txt", "hyou", true},
    {"trail byte 0x5C in a folder name", "\x83\x5C\\\x94\x5C\x97\xCD.dat", "so nouryoku", true},
};

TEST_F(Command, RoundTripTable)
{
    CreateDirectoryA(Path("src").c_str(), nullptr);
    std::vector<const TripCase*> used;
    for (const TripCase& row : kTripCases) {
        if (row.needs932 && !IsCodePage932()) {
            std::printf("skipped row '%s': needs code page 932 for its double-byte name\n", row.name);
            continue;
        }
        std::string path = Path("src\\") + row.path;
        MakeParents(path);
        WriteFileText(path, row.data);
        used.push_back(&row);
    }
    Result added = RunExpanded("a -r {a} {s}src\\ *");
    ASSERT_EQ(kSuccess, added.code) << added.text;
    Result extracted = RunExpanded("x {a} {d}");
    ASSERT_EQ(kSuccess, extracted.code) << extracted.text;
    for (const TripCase* row : used) {
        SCOPED_TRACE(row->name);
        EXPECT_EQ(row->data, ReadFileText(Out() + row->path));
    }
    EXPECT_EQ(Tree(Path("src\\")), Tree(Out()));
    EXPECT_EQ(kSuccess, RunExpanded("t {a}").code);
}

// ---- headers of every level, hand-built ----

struct LevelCase {
    const char* name;
    HandMember member;
    int code;
};

const LevelCase kLevelCases[] = {
    {"level 0", {"zero.txt", "level zero\n", 0}, kSuccess},
    {"level 0 with a folder in the name", {"dir\\zero.txt", "level zero in dir\n", 0}, kSuccess},
    {"level 1", {"one.txt", "level one\n", 1}, kSuccess},
    {"level 1 with a folder header", {"dir\\sub\\one.txt", "level one in dir\n", 1}, kSuccess},
    {"level 2 with a folder header", {"dir\\two.txt", "level two\n", 2}, kSuccess},
    {"level 3 with a folder header", {"dir\\three.txt", "level three\n", 3}, kSuccess},
    {"level 3 bad header CRC", {"three.txt", "x", 3, "-lh0-", 0, 1}, kBrokenArchive},
    {"level 0 bad checksum", {"zero.txt", "x", 0, "-lh0-", 0, 1}, kBrokenArchive},
    {"level 1 bad checksum", {"one.txt", "x", 1, "-lh0-", 0, 1}, kBrokenArchive},
    {"level 2 bad header CRC", {"two.txt", "x", 2, "-lh0-", 0, 1}, kBrokenArchive},
    {"level 1 bad data CRC", {"one.txt", "x", 1, "-lh0-", 1}, kCrcError},
};

TEST_F(Command, HeaderLevelTable)
{
    for (const LevelCase& row : kLevelCases) {
        SCOPED_TRACE(row.name);
        WriteArchive({row.member, {"after.txt", "after\n"}});
        Result result = RunExpanded("x {a} {d}");
        EXPECT_EQ(row.code, result.code) << result.text;
        if (row.code == kSuccess) {
            EXPECT_EQ(row.member.data, ReadFileText(Out() + row.member.path));
            EXPECT_EQ("after\n", ReadFileText(Out() + "after.txt"));
            Result listed = RunExpanded("l {a}");
            EXPECT_NE(std::string::npos, listed.text.find(" " + row.member.path + "\n")) << listed.text;
        }
        RemoveTree(Out());
    }
}

// ---- several threads at once, each on its own archive ----

TEST_F(Command, ThreadsOnDifferentArchives)
{
    const int threads = 4;
    const int rounds = 5;
    std::vector<int> failures(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, t, &failures] {
            std::string base = Path("t" + std::to_string(t) + "\\");
            CreateDirectoryA(base.c_str(), nullptr);
            std::string data = Pattern(20000 + t * 1000, t);
            WriteFileText(base + "f.bin", data);
            for (int r = 0; r < rounds; ++r) {
                std::string arc = base + "a" + std::to_string(r) + ".lzh";
                std::string out = base + "o" + std::to_string(r) + "\\";
                bool ok = commandtest::Run("a " + arc + " " + base + " f.bin").code == kSuccess &&
                          commandtest::Run("t " + arc).code == kSuccess && commandtest::Run("x " + arc + " " + out).code == kSuccess &&
                          ReadFileText(out + "f.bin") == data && commandtest::Run("d " + arc + " f.bin").code == kSuccess &&
                          commandtest::Run("l " + arc).text.find("0 members") != std::string::npos;
                if (!ok) ++failures[t];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(0, failures[t]) << "thread " << t;
}

} // namespace
