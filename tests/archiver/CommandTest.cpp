// The command entry of our UNLHA32.dll, called at ordinal 1 from a scratch
// folder: command lines, the output area, return codes, path safety, the
// no-loss rules of extraction and of a/u/d, round trips and level 0/1 headers.
#include "archiver/CommandTestSupport.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <functional>
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
    {"-p: a folder name selects nothing", "x -p {a} {d} sub", kNothingMatched, {}, {"out\\sub\\c.txt"}},
    {"-p: the whole path selects", "x -p {a} {d} sub\\c.txt", kSuccess, {"out\\sub\\c.txt"}, {}},
    {"-p: a file name alone selects nothing in a folder", "x -p {a} {d} c.txt", kNothingMatched, {}, {"out\\sub\\"}},
    {"name in either case", "x {a} {d} A.TXT", kSuccess, {"out\\a.txt"}, {"out\\b.dat"}},
    {"e drops folders", "e {a} {d} sub\\c.txt", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"e -x1 keeps them", "e -x1 {a} {d} sub\\c.txt", kSuccess, {"out\\sub\\c.txt"}, {"out\\c.txt"}},
    {"x -x0 drops them", "x -x0 {a} {d} sub\\c.txt", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"switch after the names", "x {a} {d} sub\\c.txt -x0", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"the later of two switches counts", "e -x1 {a} {d} sub\\c.txt -x0", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"switches in one word", "e -a1m1nx1jf0 {a} {d} sub\\c.txt", kSuccess, {"out\\sub\\c.txt"}, {}},
    {"switches start with a slash", "e /x1 /m1 {a} {d} sub\\c.txt", kSuccess, {"out\\sub\\c.txt"}, {}},
    {"with '-', a slash in a name separates folders", "x {a} {d} -x1 sub/c.txt", kSuccess, {"out\\sub\\c.txt"}, {}},
    {"a quoted switch is a switch", "x \"-x0\" {a} {d} sub\\c.txt", kSuccess, {"out\\c.txt"}, {}},
    {"a quoted switch with a folder in it", "e \"-w{s}my out\\\" {a} {d} b.dat", kSuccess, {"out\\b.dat"}, {}},
    {"+ and - as values", "e -x+ {a} {d} sub\\c.txt -x-", kSuccess, {"out\\c.txt"}, {"out\\sub\\"}},
    {"quoted destination with a space", "x {a} \"{s}my out\\\" a.txt", kSuccess, {"my out\\a.txt"}, {"out\\"}},
    {"quoted and unquoted pieces join", "x {a} \"{s}my \"out\\ a.txt", kSuccess, {"my out\\a.txt"}, {"out\\"}},
    {"two base folders", "x {a} {s}one\\ a.txt {s}two\\ b.dat", kSuccess, {"one\\a.txt", "two\\b.dat"},
     {"one\\b.dat", "two\\a.txt", "out\\"}},
    {"a base folder alone takes the rest", "x {a} {s}one\\ a.txt {s}two\\", kSuccess,
     {"one\\a.txt", "two\\b.dat", "two\\sub\\c.txt"}, {"two\\a.txt"}},
    {"a missing base folder is made", "x {a} {s}new\\deeper\\", kSuccess, {"new\\deeper\\a.txt"}, {}},
    {"response file of names", "x {a} {d} @{s}names.txt", kSuccess, {"out\\a.txt", "out\\b.dat"}, {"out\\sub\\"}},
    {"response file with switches", "x {a} {d} @{s}switches.txt", kSuccess, {"out\\c.txt"}, {"out\\a.txt"}},
    {"response file holding the archive", "x @{s}whole.txt", kSuccess, {"out\\b.dat"}, {"out\\a.txt"}},
    {"response file missing", "x {a} {d} @{s}missing.txt", kResponseRead, {}, {"out\\"}},
    {"response file empty", "x {a} {d} @{s}empty.txt", kResponseRead, {}, {"out\\"}},
    {"response file not text", "x {a} {d} @{s}binary.txt", kResponseRead, {}, {"out\\"}},
    {"-- makes @ part of a name", "x {a} {d} -- @{s}names.txt", kNothingMatched, {}, {"out\\a.txt"}},
    {"--2 makes - part of a name", "x {a} {d} --2 -x0", kNothingMatched, {}, {"out\\a.txt"}},
    {"--0 ends --", "x {a} {d} -- --0 @{s}names.txt", kSuccess, {"out\\a.txt"}, {"out\\sub\\"}},
    {"-gb names a name", "x {a} {d} -gb-x0", kNothingMatched, {}, {"out\\a.txt"}},
    {"name that matches nothing", "x {a} {d} zzz", kNothingMatched, {}, {"out\\a.txt"}},
    {"t writes nothing", "t {a}", kSuccess, {}, {"out\\", "a.txt"}},
    {"no command lists", "{a}", kSuccess, {}, {"out\\", "a.txt"}},
    {".lzh is added to a name without one", "x {s}arc {d} a.txt", kSuccess, {"out\\a.txt"}, {}},
    {"unknown switch", "x -k {a} {d}", kBadCommandLine, {}, {"out\\"}},
    {"-r out of range", "x -r9 {a} {d}", kBadCommandLine, {}, {"out\\"}},
    {"-jm out of range", "a -jm7 {a} {s} a.txt", kBadCommandLine, {}, {}},
    {"-h out of range", "a -h3 {a} {s} a.txt", kBadCommandLine, {}, {}},
    {"-jb with ..", "a -jb..\\up {a} {s} names.txt", kBadCommandLine, {}, {}},
    {"-jb with a drive", "a -jbC:\\up {a} {s} names.txt", kBadCommandLine, {}, {}},
    {"-jb naming a device", "a -jbdocs\\con {a} {s} names.txt", kBadCommandLine, {}, {}},
    {"no archive", "x -x1", kBadCommandLine, {}, {}},
    {"unclosed quote", "x \"{a} {d}", kBadCommandLine, {}, {"out\\"}},
    {"empty command line", "", kBadCommandLine, {}, {}},
    {"d needs names", "d {a}", kNotFileName, {}, {}},
};

TEST_F(Command, LineTable)
{
    WriteFileText(Path("names.txt"), "a.txt\r\n\"b.dat\"\n");
    WriteFileText(Path("switches.txt"), "-x0\tsub\\c.txt\n");
    WriteFileText(Path("whole.txt"), Expand("{a} {d} b.dat\n", scratch_));
    WriteFileText(Path("empty.txt"), " \r\n");
    WriteFileBytes(Path("binary.txt"), Bytes{'a', 0, 'b'});
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.name);
        WriteArchive(kThreeMembers);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        for (const std::string& path : row.present) EXPECT_TRUE(Exists(Path(path))) << path;
        for (const std::string& path : row.absent) EXPECT_FALSE(Exists(Path(path))) << path;
        for (const char* folder : {"out\\", "my out\\", "one\\", "two\\", "new\\"}) RemoveTree(Path(folder));
    }
}

// A response file is read only up to its bound: a larger one is refused
// before any of it is taken, and a line of many words is taken whole.
TEST_F(Command, LongLinesAndHugeResponseFiles)
{
    WriteArchive(kThreeMembers);
    WriteFileText(Path("huge.txt"), std::string(1024 * 1024 + 1, 'a'));
    EXPECT_EQ(kResponseRead, RunExpanded("x {a} {d} @{s}huge.txt").code);
    std::string line = "x {a} {d}";
    for (int i = 0; i < 20000; ++i) line += " zz" + std::to_string(i);
    Result many = RunExpanded(line + " b.dat");
    EXPECT_EQ(kSuccess, many.code) << many.text.substr(0, 200);
    EXPECT_TRUE(Exists(Out() + "b.dat"));
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
    {"archive not found", {}, "", "l {s}missing.lzh", kArchiveOpen, "archive not found"},
    {"not an archive", {}, "this is plain text, not an archive at all\n", "l {a}", kNotArchive, "not an archive"},
    {"empty file", {}, std::string(), "t {a}", kNotArchive, "not an archive"},
    {"truncated header", {}, std::string("\x30\x00-lh0-\x05", 9), "l {a}", kEndOfFile, "ends early"},
    {"CRC error", {{"a.txt", "alpha\n", 2, "-lh0-", 1}}, "", "t {a}", kCrcError, "a.txt: CRC error"},
    {"unsupported method", {{"a.txt", "alpha\n", 2, "-lh2-"}}, "", "x {a} {d}", kUnsupportedMethod, "unsupported method"},
    {"unsafe name", {{"..\\up.txt", "x"}}, "", "x {a} {d}", kUnsafeName, "refused"},
    {"folder cannot be made", {{"a.txt", "alpha\n"}}, "", "x {a} {a}\\", kMakeDirectory, "cannot make"},
    {"file to add is missing", {}, "", "a {s}new.lzh {s}nothing.txt", kNothingMatched, "no file matches"},
    {"f on a missing archive", {}, "", "f {s}missing.lzh {s} arc.lzh", kArchiveOpen, "archive not found"},
    {"p of a missing archive", {}, "", "p {s}missing.lzh", kArchiveOpen, "archive not found"},
    {"s -gw3 -x1: the program beside the archive", {{"a.txt", "alpha\n"}}, "", "s -gw3 -x1 {a}", kSuccess,
     ".exe: self-extracting program written"},
    {"a -gw3: the program instead of the archive", {}, "", "a -gw3 {s}new.lzh {s} arc.lzh", kSuccess,
     "new.exe: self-extracting program written"},
    {"s of a file that is no archive", {}, "plain text, not an archive\n", "s -gw0 {a}", kNotArchive, "not an archive"},
    {"s of a missing archive", {}, "", "s -gw2 {s}missing.lzh {s}", kArchiveOpen, "archive not found"},
    {"the first error counts: unsafe name before CRC error", {{"..\\up.txt", "x"}, {"a.txt", "alpha\n", 2, "-lh0-", 1}},
     "", "x {a} {d}", kUnsafeName, "CRC error"},
    {"an error counts over an earlier warning", {{"a.txt", "alpha\n", 2, "-lh0-", 1}, {"..\\up.txt", "x"}}, "",
     "x {a} {d}", kUnsafeName, "refused"},
    {"-jsc: the count of failed members", {{"a.txt", "alpha\n", 2, "-lh0-", 1}, {"b.txt", "bravo\n", 2, "-lh0-", 1},
     {"c.txt", "charlie\n"}}, "", "t -jsc {a}", 2, "c.txt: OK"},
    {"-jsc: all went right", {{"a.txt", "alpha\n"}}, "", "x -jsc {a} {d}", 0, "extracted"},
    {"-jse: the first warning ends the run", {{"a.txt", "alpha\n", 2, "-lh0-", 1}, {"b.txt", "bravo\n"}}, "",
     "x -jse {a} {d}", kCrcError, "stopped"},
    {"broken header after a good member", {{"a.txt", "alpha\n"}, {"b.txt", "bravo\n", 2, "-lh0-", 0, 1}}, "",
     "x {a} {d}", kHeaderCrc, "a.txt: extracted"},
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
    int level = 2;       // slashes separate folders in level 0 and 1 names only
};

const UnsafeCase kUnsafeCases[] = {
    {"dot-dot", "..\\evil1.txt", "..\\evil1.txt"},
    {"dot-dot inside", "sub\\..\\..\\evil2.txt", "..\\evil2.txt"},
    {"dot-dot with slashes", "sub/../../evil3.txt", "..\\evil3.txt", 0},
    {"dot-dot between names", "a\\..\\b.txt", "b.txt"},
    {"dot-dot after a leading backslash", "\\..\\evil4.txt", "..\\evil4.txt"},
    {"dot-dot after a drive", "C:\\..\\evil5.txt", "..\\evil5.txt"},
    {"drive after a leading backslash", "\\C:\\vesker-evil6.txt", "C:\\vesker-evil6.txt"},
    {"second drive prefix", "C:C:\\vesker-evil7.txt", "C:\\vesker-evil7.txt"},
    {"device path", "\\\\.\\C:\\vesker-evil8.txt", "C:\\vesker-evil8.txt"},
    {"alternate stream", "good.txt:hidden", "good.txt"},
    {"stream after a drive", "C:\\a:b", "a"},
    {"device after a leading backslash", "\\CON", ""},
    {"dots and blanks", ".. \\evil9.txt", "..\\evil9.txt"},
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
        WriteArchive({{"first.txt", "1\n"}, {row.member, "evil\n", row.level}, {"last.txt", "2\n"}});
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

// ---- leading separators and drive prefixes: removed, the member extracts inside ----

struct StrippedCase {
    const char* name;
    HandMember member;
    const char* command;
    std::string shown;    // the member's name as the text gives it
    std::string written;  // where it lands, relative to the destination
    std::string removed;
    std::string escape;   // where it would have landed (rooted), or empty
};

// A level 2 member whose folder field starts with 0xFF, as MacLHA and LHMelt write them.
HandMember RootedFolder(const std::string& folder, const std::string& name)
{
    HandMember member{name, "kept\n"};
    member.storedFolder = folder;
    return member;
}

const StrippedCase kStrippedCases[] = {
    {"leading backslash", {"\\vesker-lead1\\b.txt", "kept\n"}, "x", "\\vesker-lead1\\b.txt", "vesker-lead1\\b.txt",
     "\\", "\\vesker-lead1\\b.txt"},
    {"leading slash", {"/vesker-lead2/b.txt", "kept\n", 0}, "x", "\\vesker-lead2\\b.txt", "vesker-lead2\\b.txt", "\\",
     "\\vesker-lead2\\b.txt"},
    {"leading slash in the folder field", RootedFolder("/vesker-lead6/sub", "b.txt"), "x", "\\vesker-lead6\\sub\\b.txt",
     "vesker-lead6\\sub\\b.txt", "\\", "\\vesker-lead6\\sub\\b.txt"},
    {"drive and backslash", {"C:\\vesker-lead3.txt", "kept\n"}, "x", "C:\\vesker-lead3.txt", "vesker-lead3.txt", "C:\\",
     "C:\\vesker-lead3.txt"},
    {"drive in lower case", {"c:\\sub\\d.txt", "kept\n"}, "x", "c:\\sub\\d.txt", "sub\\d.txt", "c:\\", ""},
    {"drive-relative", {"C:vesker-lead4.txt", "kept\n"}, "x", "C:vesker-lead4.txt", "vesker-lead4.txt", "C:", ""},
    {"server and share", {"\\\\server\\share\\x.txt", "kept\n"}, "x", "\\\\server\\share\\x.txt",
     "server\\share\\x.txt", "\\\\", ""},
    {"e: the file name only", {"\\vesker-lead5\\e.txt", "kept\n"}, "e", "\\vesker-lead5\\e.txt", "e.txt", "\\",
     "\\vesker-lead5\\e.txt"},
    {"e with a drive", {"C:\\sub\\f.txt", "kept\n"}, "e", "C:\\sub\\f.txt", "f.txt", "C:\\", ""},
    {"level 0 name", {"\\sub\\zero.txt", "kept\n", 0}, "x", "\\sub\\zero.txt", "sub\\zero.txt", "\\", ""},
    {"level 1 name with a drive", {"C:\\one.txt", "kept\n", 1}, "x", "C:\\one.txt", "one.txt", "C:\\", ""},
    {"folder field starting with 0xFF", RootedFolder("\\Untitled\\sub", "mac.txt"), "x", "\\Untitled\\sub\\mac.txt",
     "Untitled\\sub\\mac.txt", "\\", "\\Untitled\\sub\\mac.txt"},
};

// Every folder above `path` and `path` itself, as Tree gives them.
std::set<std::string> TreeOf(const std::string& path)
{
    std::set<std::string> tree{path};
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        tree.insert(path.substr(0, at + 1));
    return tree;
}

TEST_F(Command, LeadingPartsRemovedTable)
{
    std::set<std::string> before = Tree(scratch_);
    for (const StrippedCase& row : kStrippedCases) {
        SCOPED_TRACE(row.name);
        WriteArchive({row.member});
        Result result = RunExpanded(std::string(row.command) + " {a} {d}");
        EXPECT_EQ(kSuccess, result.code) << result.text;
        EXPECT_NE(std::string::npos,
                  result.text.find(row.shown + ": extracted as " + row.written + " (leading '" + row.removed + "' removed)"))
            << result.text;
        EXPECT_EQ("kept\n", ReadFileText(Out() + row.written));
        EXPECT_EQ(TreeOf(row.written), Tree(Out()));
        if (!row.escape.empty()) EXPECT_FALSE(Exists(row.escape)) << row.escape;
        EXPECT_EQ(kSuccess, RunExpanded("t {a}").code);
        RemoveTree(Out());
        DeleteFileA(Archive().c_str());
        EXPECT_EQ(before, Tree(scratch_)) << "something appeared beside the destination";
    }
}

// LHMelt writes rooted names and a folder's entry after the files in it: the
// folder is there by then, which is no failure, in this run or a later one.
TEST_F(Command, FolderEntryAfterItsFiles)
{
    WriteArchive({{"\\subdir\\sub2\\hello.txt", "hello\n", 0},
                  {"\\subdir\\sub2\\", "", 1, "-lhd-"},
                  {"\\subdir\\", "", 2, "-lhd-"}});
    for (const char* line : {"x {a} {d}", "x {a} {d}"}) {
        SCOPED_TRACE(line);
        Result result = RunExpanded(line);
        EXPECT_EQ(kSuccess, result.code) << result.text;
        EXPECT_NE(std::string::npos, result.text.find("\\subdir\\: folder as subdir\\ (leading '\\' removed)\n"))
            << result.text;
        EXPECT_EQ((std::set<std::string>{"subdir\\", "subdir\\sub2\\", "subdir\\sub2\\hello.txt"}), Tree(Out()));
    }
}

// ---- Unix symbolic links: reported, never created, nothing written under one ----

// A link as LHA for Unix stores it: -lhd-, link mode bits, "name|target".
HandMember UnixLink(const std::string& name, const std::string& target)
{
    HandMember member{name + "|" + target, "", 2, "-lhd-"};
    member.osId = 'U';
    member.unixMode = 0xA1FF;
    return member;
}

TEST_F(Command, LinksAreReportedAndNeverCreated)
{
    std::set<std::string> before = Tree(scratch_);
    WriteArchive({UnixLink("ln", "target.txt"),
                  // The hostile cases: a link, then a file meant to be written through it.
                  UnixLink("up", "../.."), {"up\\vesker-through1.txt", "evil\n"},
                  UnixLink("abs", "/tmp"), {"ABS\\deep\\vesker-through2.txt", "evil\n"},
                  UnixLink("sub\\in", "../.."), {"sub\\in\\vesker-through3.txt", "evil\n"},
                  // A link, then a real file of its name: the file, not the target.
                  UnixLink("foo.txt", "bar.txt"), {"foo.txt", "real\n"},
                  {"last.txt", "2\n"}});
    Result tested = RunExpanded("t {a}");
    EXPECT_EQ(kSuccess, tested.code) << tested.text;
    EXPECT_NE(std::string::npos, tested.text.find("ln: OK")) << tested.text;
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kUnsafeName, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("ln: symbolic link to target.txt: not created\n")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("foo.txt: symbolic link to bar.txt: not created\n")) << result.text;
    for (const char* refused : {"up\\vesker-through1.txt: refused", "ABS\\deep\\vesker-through2.txt: refused",
                                "sub\\in\\vesker-through3.txt: refused"})
        EXPECT_NE(std::string::npos, result.text.find(refused)) << result.text;
    EXPECT_EQ((std::set<std::string>{"foo.txt", "last.txt"}), Tree(Out()));
    EXPECT_EQ("real\n", ReadFileText(Out() + "foo.txt"));
    // e writes file names only, so no link lies on the way.
    RemoveTree(Out());
    Result flat = RunExpanded("e {a} {d}");
    EXPECT_EQ(kUnknownType, flat.code) << flat.text;
    EXPECT_EQ((std::set<std::string>{"foo.txt", "last.txt", "vesker-through1.txt", "vesker-through2.txt",
                                     "vesker-through3.txt"}),
              Tree(Out()));
    RemoveTree(Out());
    DeleteFileA(Archive().c_str());
    EXPECT_EQ(before, Tree(scratch_)) << "something appeared beside the destination";
}

// Runs a Unix program of Wine's host (Z: is its root) in `folder` and waits
// until `done` holds: Wine cannot wait for a Unix process.
bool RunUnixProgram(const char* program, std::string line, const std::string& folder, const std::function<bool()>& done)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // For a Unix process Wine gives no process handle and a stray value for
    // the thread's: closing that would close some other handle of ours.
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return false;
    if (process.hProcess) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int tries = 0; tries < 100; ++tries, Sleep(50))
        if (done()) return true;
    return false;
}

enum class FolderLink { None, Junction, UnixLink };

bool MakeUnixLink(const std::string& link, const std::string& target, bool folder);

// Makes `link` lead to the folder `target`: a junction, as Windows documents
// it (FSCTL_SET_REPARSE_POINT). Wine 8 refuses that call, but it reports a
// Unix symbolic link as a reparse point and can start /bin/ln, so under Wine
// the link is made that way.
FolderLink MakeFolderLink(const std::string& link, const std::string& target)
{
    if (!CreateDirectoryA(link.c_str(), nullptr)) return FolderLink::None;
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder != INVALID_HANDLE_VALUE) {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wide, MAX_PATH);
        const std::wstring substitute = std::wstring(L"\\??\\") + wide;
        const std::wstring print = wide;
        // The mount point reparse buffer: tag, data length, reserved, four
        // offsets and lengths, then both names, each with its terminator.
        std::vector<uint8_t> buffer(16 + (substitute.size() + print.size() + 2) * 2);
        auto put16 = [&buffer](size_t at, size_t value) {
            buffer[at] = static_cast<uint8_t>(value);
            buffer[at + 1] = static_cast<uint8_t>(value >> 8);
        };
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        memcpy(buffer.data(), &tag, 4);
        put16(4, buffer.size() - 8);
        put16(8, 0);
        put16(10, substitute.size() * 2);
        put16(12, (substitute.size() + 1) * 2);
        put16(14, print.size() * 2);
        memcpy(&buffer[16], substitute.c_str(), (substitute.size() + 1) * 2);
        memcpy(&buffer[16 + (substitute.size() + 1) * 2], print.c_str(), (print.size() + 1) * 2);
        DWORD returned;
        BOOL made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    nullptr, 0, &returned, nullptr);
        CloseHandle(folder);
        if (made) return FolderLink::Junction;
    }
    RemoveDirectoryA(link.c_str());
    return MakeUnixLink(link, target, true) ? FolderLink::UnixLink : FolderLink::None;
}

// A reparse point of any kind is at `path`.
bool IsLinked(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A symbolic link of Wine's host. Wine reports one that leads to a folder as
// a reparse point, and one that leads to a file as that file.
bool MakeUnixLink(const std::string& link, const std::string& target, bool folder)
{
    char unixTarget[MAX_PATH];
    typedef char*(CDECL * UnixName)(const WCHAR*);
    UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    wchar_t wideTarget[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wideTarget, MAX_PATH);
    char* name = unixName(wideTarget);
    if (!name) return false;
    snprintf(unixTarget, sizeof unixTarget, "%s", name);
    HeapFree(GetProcessHeap(), 0, name);
    const size_t cut = link.find_last_of('\\');
    return RunUnixProgram("Z:\\bin\\ln", "ln -s " + std::string(unixTarget) + " " + link.substr(cut + 1),
                          link.substr(0, cut), [&link, folder] { return folder ? IsLinked(link) : Exists(link); });
}

// Removes the link and never what it leads to. (Wine's RemoveDirectoryA
// removes the folder a Unix link leads to, so such a link goes by /bin/rm.)
bool RemoveFolderLink(const std::string& link, FolderLink kind)
{
    if (kind == FolderLink::Junction) return RemoveDirectoryA(link.c_str()) != FALSE;
    const size_t cut = link.find_last_of('\\');
    // A dangling link is not seen at all: ask for the folder it is in.
    auto gone = [&link, cut] {
        std::set<std::string> left = Tree(link.substr(0, cut + 1));
        return left.count(link.substr(cut + 1) + "\\") == 0 && left.count(link.substr(cut + 1)) == 0;
    };
    return RunUnixProgram("Z:\\bin\\rm", "rm " + link.substr(cut + 1), link.substr(0, cut), gone);
}

// A junction already in the destination is never written through: its
// members are refused, the others extract, and the folder it leads to stays empty.
TEST_F(Command, ExistingJunctionInTheDestinationIsNotFollowed)
{
    const std::string elsewhere = Path("elsewhere");
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    CreateDirectoryA(Out().c_str(), nullptr);
    CreateDirectoryA((Out() + "plain").c_str(), nullptr);
    const FolderLink kind = MakeFolderLink(Out() + "j", elsewhere);
    if (kind == FolderLink::None) GTEST_SKIP() << "cannot make a junction or a symbolic link here";
    WriteArchive({{"j\\x.txt", "evil\n"}, {"J\\deep\\y.txt", "evil\n"}, {"plain\\ok.txt", "1\n"}, {"top.txt", "2\n"}});
    Result result = RunExpanded("x {a} {d}");
    // Unlinked before any check can fail, so the scratch folder's removal never follows it.
    const bool linked = (GetFileAttributesA((Out() + "j").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    EXPECT_TRUE(RemoveFolderLink(Out() + "j", kind)) << "the link could not be removed";
    EXPECT_TRUE(linked);
    EXPECT_TRUE(Exists(elsewhere)) << "the link's removal took what it leads to";
    EXPECT_EQ(kUnsafeName, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("j\\x.txt: refused")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("J\\deep\\y.txt: refused")) << result.text;
    EXPECT_EQ(std::set<std::string>{}, Tree(elsewhere + "\\"));
    EXPECT_EQ("1\n", ReadFileText(Out() + "plain\\ok.txt"));
    EXPECT_EQ("2\n", ReadFileText(Out() + "top.txt"));
}

// A link in the place of a file is neither written through nor replaced
// while it stands (newer than the member); with -c the file replaces the
// link itself. A file symbolic link
// needs a privilege on Windows (the test is skipped without it); Wine 8's
// CreateSymbolicLinkA makes nothing, so there the link is a Unix one.
TEST_F(Command, LinkInThePlaceOfAFileIsNotWrittenThrough)
{
    const std::string victim = Path("victim.txt");
    WriteFileText(victim, "victim\n");
    CreateDirectoryA(Out().c_str(), nullptr);
    const std::string link = Out() + "a.txt";
    if (!(CreateSymbolicLinkA(link.c_str(), victim.c_str(), 0) && Exists(link)) && !MakeUnixLink(link, victim, false))
        GTEST_SKIP() << "cannot make a file symbolic link here";
    WriteArchive({{"a.txt", "member\n"}});
    Result kept = RunExpanded("x {a} {d}");
    EXPECT_EQ(kMoreFresh, kept.code) << kept.text;
    EXPECT_EQ("victim\n", ReadFileText(victim));
    Result replaced = RunExpanded("x -c {a} {d}");
    EXPECT_EQ(kSuccess, replaced.code) << replaced.text;
    EXPECT_EQ("member\n", ReadFileText(link));
    EXPECT_EQ("victim\n", ReadFileText(victim));
}

// ---- MacBinary headers of MacLHA members ----

const uint32_t kMacEpochOffset = 2082844800;  // 1904-01-01 to 1970-01-01

void PutBigEndian32(std::string& block, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

std::string PaddedTo128(std::string text)
{
    text.resize((text.size() + 127) / 128 * 128, '\0');
    return text;
}

// A MacBinary header for `name` with these forks, dated as the hand-built
// header, followed by the forks; `damage` then
// changes the 128 header bytes.
std::string MacBinaryData(const std::string& name, const std::string& dataFork, const std::string& resourceFork,
                          const std::function<void(std::string&)>& damage)
{
    std::string block(128, '\0');
    block[1] = static_cast<char>(name.size());
    block.replace(2, name.size(), name);
    block.replace(0x41, 8, "TEXTttxt");
    PutBigEndian32(block, 0x53, static_cast<uint32_t>(dataFork.size()));
    PutBigEndian32(block, 0x57, static_cast<uint32_t>(resourceFork.size()));
    PutBigEndian32(block, 0x5B, kHandUnixTime + kMacEpochOffset);  // created
    PutBigEndian32(block, 0x5F, kHandUnixTime + kMacEpochOffset);  // modified
    if (damage) damage(block);
    // MacLHA's size: the header and both forks, padded once at the end.
    return PaddedTo128(block + dataFork + resourceFork);
}

enum class MacOutput { DataFork, ResourceFork, Unchanged };

struct MacCase {
    const char* name;
    char osId;
    std::string file;          // the member's file name
    std::string dataFork;
    std::function<void(std::string&)> damage;
    MacOutput output;
};

const std::string kDataFork = "the data fork\n";
const std::string kResourceFork = "the resource fork";
const std::string kLongName = std::string(60, 'n') + ".txt";  // 64 characters, one too many

const MacCase kMacCases[] = {
    {"valid: the data fork", 'm', "mac.txt", kDataFork, nullptr, MacOutput::DataFork},
    {"empty data fork: the resource fork", 'm', "mac.txt", "", nullptr, MacOutput::ResourceFork},
    {"date 14 hours late", 'm', "mac.txt", kDataFork, [](std::string& b) { PutBigEndian32(b, 0x5F, kHandUnixTime + kMacEpochOffset + 50400); },
     MacOutput::DataFork},
    {"date 14 hours early", 'm', "mac.txt", kDataFork, [](std::string& b) { PutBigEndian32(b, 0x5F, kHandUnixTime + kMacEpochOffset - 50400); },
     MacOutput::DataFork},
    {"63-character name", 'm', std::string(59, 'n') + ".txt", kDataFork, nullptr, MacOutput::DataFork},
    {"OS id not 'm'", 'U', "mac.txt", kDataFork, nullptr, MacOutput::Unchanged},
    {"byte 0x00 not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x00] = 1; }, MacOutput::Unchanged},
    {"byte 0x4A not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x4A] = 1; }, MacOutput::Unchanged},
    {"byte 0x52 not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x52] = 1; }, MacOutput::Unchanged},
    {"comment length not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x64] = 1; }, MacOutput::Unchanged},
    {"byte 0x65 not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x65] = 1; }, MacOutput::Unchanged},
    {"byte 0x7F not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x7F] = 1; }, MacOutput::Unchanged},
    {"name longer than 63", 'm', kLongName, kDataFork,
     [](std::string& b) {
         b[1] = 64;
         b.replace(2, 64, kLongName);
     },
     MacOutput::Unchanged},
    {"name length differs", 'm', "mac.txt", kDataFork, [](std::string& b) { b[1] = 6; }, MacOutput::Unchanged},
    {"name differs in case", 'm', "mac.txt", kDataFork, [](std::string& b) { b[2] = 'M'; }, MacOutput::Unchanged},
    {"byte after the name not zero", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x40] = 1; }, MacOutput::Unchanged},
    {"forks shorter than the member", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x56] = b[0x5A] = 0; },
     MacOutput::Unchanged},
    {"forks longer than the member", 'm', "mac.txt", kDataFork, [](std::string& b) { b[0x59] = 1; }, MacOutput::Unchanged},
    {"date before 1970", 'm', "mac.txt", kDataFork, [](std::string& b) { PutBigEndian32(b, 0x5F, 1000); }, MacOutput::Unchanged},
    {"date a second past 14 hours", 'm', "mac.txt", kDataFork,
     [](std::string& b) { PutBigEndian32(b, 0x5F, kHandUnixTime + kMacEpochOffset + 50401); }, MacOutput::Unchanged},
};

TEST_F(Command, MacBinaryTable)
{
    for (const MacCase& row : kMacCases) {
        SCOPED_TRACE(row.name);
        HandMember member{row.file, MacBinaryData(row.file, row.dataFork, kResourceFork, row.damage)};
        member.osId = row.osId;
        WriteArchive({member});
        Result result = RunExpanded("x {a} {d}");
        EXPECT_EQ(kSuccess, result.code) << result.text;
        const std::string expected = row.output == MacOutput::DataFork       ? row.dataFork
                                     : row.output == MacOutput::ResourceFork ? kResourceFork
                                                                             : member.data;
        EXPECT_EQ(expected, ReadFileText(Out() + row.file));
        EXPECT_EQ(kSuccess, RunExpanded("t {a}").code);
        RemoveTree(Out());
    }
}

// The CRC is of the whole decoded data: a bad one is reported and writes no fork.
TEST_F(Command, MacBinaryMemberWithABadCrc)
{
    HandMember member{"mac.txt", MacBinaryData("mac.txt", kDataFork, kResourceFork, nullptr), 2, "-lh0-", 1};
    member.osId = 'm';
    WriteArchive({member, {"after.txt", "after\n"}});
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kCrcError, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("mac.txt: CRC error")) << result.text;
    EXPECT_EQ((std::set<std::string>{"after.txt"}), Tree(Out()));
    EXPECT_EQ(kCrcError, RunExpanded("t {a}").code);
}

// ---- extraction never loses a file ----

// A file in the way: a newer one stays unless -c; x, -m1, -y and -jyo replace
// an older one (not a read-only one); -m2 writes a free numbered name; else it
// stays.
struct InTheWayCase {
    const char* name;
    const char* line;
    uint32_t fileTime;   // of the file in the way (the member's is kHandUnixTime)
    bool readOnly;
    int code;
    const char* content;  // of out\a.txt afterwards
    std::set<std::string> tree;
};

const uint32_t kBeforeMember = kHandUnixTime - 1000;
const uint32_t kAfterMember = kHandUnixTime + 1000;
const std::set<std::string> kJustA = {"a.txt"};

const InTheWayCase kInTheWayCases[] = {
    {"e keeps it", "e {a} {d} a.txt", kBeforeMember, false, kAlreadyExists, "mine\n", kJustA},
    {"x replaces an older file", "x {a} {d} a.txt", kBeforeMember, false, kSuccess, "alpha\n", kJustA},
    {"-m1 replaces", "e -m1 {a} {d} a.txt", kBeforeMember, false, kSuccess, "alpha\n", kJustA},
    {"-y replaces", "e -y {a} {d} a.txt", kBeforeMember, false, kSuccess, "alpha\n", kJustA},
    {"-jyo replaces", "e -jyo {a} {d} a.txt", kBeforeMember, false, kSuccess, "alpha\n", kJustA},
    {"x -m0 keeps it", "x -m0 {a} {d} a.txt", kBeforeMember, false, kAlreadyExists, "mine\n", kJustA},
    {"a newer file stays", "x {a} {d} a.txt", kAfterMember, false, kMoreFresh, "mine\n", kJustA},
    {"-c replaces a newer file", "x -c {a} {d} a.txt", kAfterMember, false, kSuccess, "alpha\n", kJustA},
    {"a read-only file stays", "x {a} {d} a.txt", kBeforeMember, true, kReadOnly, "mine\n", kJustA},
    {"-m2 writes a.000", "e -m2 {a} {d} a.txt", kBeforeMember, false, kSuccess, "mine\n", {"a.txt", "a.000"}},
};

TEST_F(Command, InTheWayTable)
{
    WriteArchive(kThreeMembers);
    for (const InTheWayCase& row : kInTheWayCases) {
        SCOPED_TRACE(row.name);
        CreateDirectoryA(Out().c_str(), nullptr);
        WriteFileText(Out() + "a.txt", "mine\n");
        SetWriteTime(Out() + "a.txt", row.fileTime);
        if (row.readOnly) SetFileAttributesA((Out() + "a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_EQ(row.content, ReadFileText(Out() + "a.txt"));
        EXPECT_EQ(row.tree, Tree(Out())) << "no temporary file left";
        SetFileAttributesA((Out() + "a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(Out());
    }
}

// -m2 with .000 to .999 all taken: nothing is replaced, a warning is said.
TEST_F(Command, NumberedNamesRunOut)
{
    WriteArchive(kThreeMembers);
    CreateDirectoryA(Out().c_str(), nullptr);
    WriteFileText(Out() + "a.txt", "mine\n");
    SetWriteTime(Out() + "a.txt", kBeforeMember);
    char name[16];
    for (int i = 0; i <= 999; ++i) {
        snprintf(name, sizeof name, "a.%03d", i);
        WriteFileText(Out() + name, "taken\n");
    }
    Result result = RunExpanded("e -m2 {a} {d} a.txt");
    EXPECT_EQ(kAlreadyExists, result.code) << result.text;
    EXPECT_EQ("mine\n", ReadFileText(Out() + "a.txt"));
    EXPECT_EQ("taken\n", ReadFileText(Out() + "a.999"));
    EXPECT_EQ(1001u, Tree(Out()).size());
}

// The same name twice, in a folder the run itself makes: the second copy finds
// the first in place; e keeps it, x replaces it, -m2 numbers the second.
TEST_F(Command, SecondCopyOfANameInTheSameRun)
{
    WriteArchive({{"sub\\twice.txt", "first\n"}, {"sub\\twice.txt", "second\n"}});
    Result kept = RunExpanded("e -x1 {a} {d}");
    EXPECT_EQ(kAlreadyExists, kept.code) << kept.text;
    EXPECT_EQ("first\n", ReadFileText(Out() + "sub\\twice.txt"));
    EXPECT_EQ((std::set<std::string>{"sub\\", "sub\\twice.txt"}), Tree(Out())) << "no temporary file left";
    RemoveTree(Out());
    Result replaced = RunExpanded("x {a} {d}");
    EXPECT_EQ(kSuccess, replaced.code) << replaced.text;
    EXPECT_EQ("second\n", ReadFileText(Out() + "sub\\twice.txt"));
    RemoveTree(Out());
    Result numbered = RunExpanded("e -x1 -m2 {a} {d}");
    EXPECT_EQ(kSuccess, numbered.code) << numbered.text;
    EXPECT_EQ("second\n", ReadFileText(Out() + "sub\\twice.000"));
}

// Stored attributes come back only when asked (-a1); -s leaves out the
// lines of skipped members (the code still says so).
TEST_F(Command, AttributesAndQuietSkips)
{
    WriteFileText(Path("ro.txt"), "ro\n");
    SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(kSuccess, RunExpanded("a {a} {s} ro.txt").code);
    SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ(0u, GetFileAttributesA((Out() + "ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY) << "plain without -a";
    RemoveTree(Out());
    ASSERT_EQ(kSuccess, RunExpanded("x -a1 {a} {d}").code);
    EXPECT_NE(0u, GetFileAttributesA((Out() + "ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY) << "restored with -a1";
    SetFileAttributesA((Out() + "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetWriteTime(Out() + "ro.txt", 1);
    Result quiet = RunExpanded("e -s {a} {d} ro.txt");
    EXPECT_EQ(kAlreadyExists, quiet.code) << quiet.text;
    EXPECT_EQ(std::string::npos, quiet.text.find("ro.txt: skipped")) << quiet.text;
}

TEST_F(Command, CrcErrorLeavesNoPartialFile)
{
    WriteArchive({{"good.txt", "good\n"}, {"bad.txt", std::string(5000, 'b'), 2, "-lh0-", 1}});
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kCrcError, result.code);
    EXPECT_EQ((std::set<std::string>{"good.txt"}), Tree(Out())) << "no partial or temporary file";
    WriteFileText(Out() + "bad.txt", "previous\n");
    SetWriteTime(Out() + "bad.txt", kBeforeMember);
    EXPECT_EQ(kCrcError, RunExpanded("x {a} {d} bad.txt").code);
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
    bool selfExtracting = false;  // a program's bytes come before the archive
};

const KeepCase kKeepCases[] = {
    {"a with a missing file", "a {a} {s}missing.txt", kNothingMatched, false, false},
    {"d of nothing that matches", "d {a} zzz", kNothingMatched, false, false},
    {"a -jse of a file that cannot be read", "a -jse {a} {s} b.dat new.txt", kFileOpen, false, true},
    {"u into a broken archive", "u {a} {s} new.txt", kEndOfFile, true, false},
    {"d in a broken archive", "d {a} a.txt", kEndOfFile, true, false},
    {"a on a self-extracting archive", "a {a} {s} new.txt", kSelfExtracting, false, false, true},
    {"u on a self-extracting archive", "u {a} {s} new.txt", kSelfExtracting, false, false, true},
    {"d on a self-extracting archive", "d {a} a.txt", kSelfExtracting, false, false, true},
    {"a with a work folder that does not exist", "a -w{s}nowhere\\ {a} {s} new.txt", kTempOpen, false, false},
    {"a with a name whose .. leads above", "a -x1 {a} {s}sub\\ ..\\new.txt", kBadCommandLine, false, false},
};

TEST_F(Command, FailedUpdateKeepsArchiveTable)
{
    WriteFileText(Path("new.txt"), "new\n");
    for (const KeepCase& row : kKeepCases) {
        SCOPED_TRACE(row.name);
        Bytes original = HandArchive(kThreeMembers);
        if (row.broken) original.resize(original.size() - 10);
        if (row.selfExtracting) original.insert(original.begin(), 700, '.');
        WriteFileBytes(Archive(), original);
        WriteFileText(Path("b.dat"), "replacement\n");
        HANDLE lock = row.locked ? CreateFileA(Path("new.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
        Result result = RunExpanded(row.line);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_NE(std::string::npos, result.text.find("unchanged")) << result.text;
        if (row.selfExtracting) EXPECT_NE(std::string::npos, result.text.find("self-extracting")) << result.text;
        EXPECT_EQ(original, ReadFileBytes(Archive()));
        EXPECT_EQ((std::set<std::string>{"arc.lzh", "b.dat", "new.txt"}), Tree(scratch_)) << "no temporary file left";
    }
}

// -w writes the new archive in the work folder and leaves nothing there; -t
// gives the archive its newest member's time; -jb stores under a folder.
TEST_F(Command, WorkFolderArchiveTimeAndStoredFolder)
{
    WriteArchive(kThreeMembers);
    CreateDirectoryA(Path("work").c_str(), nullptr);
    WriteFileText(Path("new.txt"), "new\n");
    SetWriteTime(Path("new.txt"), kNew);
    Result added = RunExpanded("a -t \"-w{s}work\\\" -jbdocs\\old {a} {s} new.txt");
    ASSERT_EQ(kSuccess, added.code) << added.text;
    EXPECT_NE(std::string::npos, added.text.find("docs\\old\\new.txt: added")) << added.text;
    EXPECT_TRUE(Tree(Path("work\\")).empty()) << "the work folder keeps nothing";
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(Archive().c_str(), GetFileExInfoStandard, &data));
    const uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(uint64_t(kNew), (ticks - 116444736000000000ULL) / 10000000ULL);
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ("new\n", ReadFileText(Out() + "docs\\old\\new.txt"));
    const Bytes before = ReadFileBytes(Archive());
    SetFileAttributesA(Archive().c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kArchiveReadOnly, RunExpanded("d {a} a.txt").code);
    SetFileAttributesA(Archive().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(before, ReadFileBytes(Archive()));
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

// f: only members already there, and only from newer files; nothing is added.
TEST_F(Command, FreshenReplacesOnlyNewerMembers)
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
    Result result = RunExpanded("f {a} {s}src\\ *");
    ASSERT_EQ(kSuccess, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("newer.txt: replaced")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("fresh.txt: not in the archive")) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("1 added")) << result.text;
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ((std::set<std::string>{"same.txt", "newer.txt", "older.txt"}), Tree(Out()));
    EXPECT_EQ("first same.txt", ReadFileText(Out() + "same.txt"));
    EXPECT_EQ("second newer.txt", ReadFileText(Out() + "newer.txt"));
    EXPECT_EQ("first older.txt", ReadFileText(Out() + "older.txt"));
    // Nothing newer: the archive stays byte for byte.
    Bytes before = ReadFileBytes(Archive());
    Result again = RunExpanded("f {a} {s}src\\ *");
    EXPECT_EQ(kSuccess, again.code) << again.text;
    EXPECT_NE(std::string::npos, again.text.find("unchanged")) << again.text;
    EXPECT_EQ(before, ReadFileBytes(Archive()));
}

// ---- m: the sources go only once the new archive is in place ----

struct MoveCase {
    const char* name;
    const char* line;
    std::set<std::string> left;   // under src\ afterwards
    std::set<std::string> extracted;  // the new archive, extracted
};

const MoveCase kMoveCases[] = {
    {"named files", "m -x1 {a} {s}src\\ a.txt sub\\c.txt", {"b.txt", "sub\\", "sub\\d.txt"}, {"a.txt", "sub\\", "sub\\c.txt"}},
    {"a wildcard", "m {a} {s}src\\ *.txt", {"sub\\", "sub\\c.txt", "sub\\d.txt"}, {"a.txt", "b.txt"}},
    {"a folder emptied by the move goes too", "m -d {a} {s}src\\ sub", {"a.txt", "b.txt"},
     {"sub\\", "sub\\c.txt", "sub\\d.txt"}},
    {"everything (no names): the base folder stays", "m -d {a} {s}src\\", {},
     {"a.txt", "b.txt", "sub\\", "sub\\c.txt", "sub\\d.txt"}},
    {"packed with -lh7-", "m -jm4 {a} {s}src\\ b.txt", {"a.txt", "sub\\", "sub\\c.txt", "sub\\d.txt"}, {"b.txt"}},
};

TEST_F(Command, MoveTable)
{
    const std::pair<const char*, std::string> files[] = {
        {"a.txt", "alpha\n"}, {"b.txt", Pattern(20000, 3)}, {"sub\\c.txt", "charlie\n"}, {"sub\\d.txt", "delta\n"}};
    for (const MoveCase& row : kMoveCases) {
        SCOPED_TRACE(row.name);
        CreateDirectoryA(Path("src").c_str(), nullptr);
        CreateDirectoryA(Path("src\\sub").c_str(), nullptr);
        for (const auto& file : files) WriteFileText(Path("src\\") + file.first, file.second);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(kSuccess, result.code) << result.text;
        EXPECT_EQ(row.left, Tree(Path("src\\")));
        ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
        EXPECT_EQ(row.extracted, Tree(Out()));
        for (const auto& file : files)
            if (row.extracted.count(file.first)) EXPECT_EQ(file.second, ReadFileText(Out() + file.first)) << file.first;
        RemoveTree(Out());
        RemoveTree(Path("src\\"));
        DeleteFileA(Archive().c_str());
    }
}

// What an add or a move may not do with the names given: a name the format
// cannot carry, two files for one member, one file under two names, a name
// that reaches the base folder. m removes only what went in.
struct NameRuleCase {
    const char* name;
    const char* line;
    int code;
    std::set<std::string> left;       // under src\ afterwards
    std::set<std::string> extracted;  // the archive, extracted (empty: no archive)
    bool needs1252;
};

const NameRuleCase kNameRuleCases[] = {
    {"two files for one member: the second is left out and kept", "m {a} {s}src\\sub\\ ..\\a.txt a.txt", kSameNameFile,
     {"sub\\", "sub\\a.txt", "sub\\b.txt"}, {"a.txt"}, false},
    {"one file under two names goes in once", "m {a} {s}src\\ a.txt sub\\..\\a.txt", kSuccess,
     {"sub\\", "sub\\a.txt", "sub\\b.txt"}, {"a.txt"}, false},
    {"a name that is the base folder is refused", "m -r2 {a} {s}src\\ zzz\\..", kBadCommandLine,
     {"a.txt", "sub\\", "sub\\a.txt", "sub\\b.txt"}, {}, false},
    {"-r1 does not search above the base", "m -r1 {a} {s}src\\sub\\ ..\\*.txt", kBadCommandLine,
     {"a.txt", "sub\\", "sub\\a.txt", "sub\\b.txt"}, {}, false},
    {"a folder name holding 0xFF is left out and kept", "m -r2 -x1 {a} {s}src\\ *", kFileOpen,
     {"sub\\", "Mo\xFF\\", "Mo\xFF\\f.txt"}, {"a.txt", "sub\\", "sub\\a.txt", "sub\\b.txt"}, true},
};

TEST_F(Command, NameRuleTable)
{
    for (const NameRuleCase& row : kNameRuleCases) {
        SCOPED_TRACE(row.name);
        if (row.needs1252 && GetACP() != 1252) continue;
        for (const char* folder : {"src", "src\\sub"}) CreateDirectoryA(Path(folder).c_str(), nullptr);
        WriteFileText(Path("src\\a.txt"), "top\n");
        WriteFileText(Path("src\\sub\\a.txt"), "below\n");
        WriteFileText(Path("src\\sub\\b.txt"), "bravo\n");
        if (row.needs1252) {
            CreateDirectoryA(Path("src\\Mo\xFF").c_str(), nullptr);
            WriteFileText(Path("src\\Mo\xFF\\f.txt"), "ff\n");
        }
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_EQ(std::string::npos, result.text.find("changed while being moved")) << result.text;
        EXPECT_EQ(row.left, Tree(Path("src\\")));
        if (!row.extracted.empty()) ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
        EXPECT_EQ(row.extracted, Tree(Out()));
        RemoveTree(Out());
        RemoveTree(Path("src\\"));
        DeleteFileA(Archive().c_str());
    }
}

// A file that cannot be removed stays, and says so; the archive has it all the same.
TEST_F(Command, MoveKeepsAFileThatCannotBeRemoved)
{
    WriteFileText(Path("a.txt"), "alpha\n");
    WriteFileText(Path("b.txt"), "bravo\n");
    HANDLE open = CreateFileA(Path("b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Result result = RunExpanded("m {a} {s} a.txt b.txt");
    CloseHandle(open);
    EXPECT_EQ(kFileOpen, result.code) << result.text;
    EXPECT_NE(std::string::npos, result.text.find("b.txt: cannot remove")) << result.text;
    EXPECT_FALSE(Exists(Path("a.txt")));
    EXPECT_EQ("bravo\n", ReadFileText(Path("b.txt")));
    ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
    EXPECT_EQ((std::set<std::string>{"a.txt", "b.txt"}), Tree(Out()));
}

// ---- p: members' content into the output area ----

struct PrintCase {
    const char* name;
    std::vector<HandMember> members;
    const char* line;
    int code;
    std::string text;  // the whole output
};

const PrintCase kPrintCases[] = {
    {"one member", kThreeMembers, "p {a} b.dat", kSuccess, "bravo bravo\n"},
    {"several, in archive order", kThreeMembers, "p {a} sub a.txt", kSuccess, "alpha\ncharlie\n"},
    {"all when no names are given", kThreeMembers, "p {a}", kSuccess, "alpha\nbravo bravo\ncharlie\n"},
    {"no member matches", kThreeMembers, "p {a} zzz", kNothingMatched, "no member matches the names given\n"},
    {"a bad CRC: the content, then the error", {{"a.txt", "alpha\n"}, {"bad.txt", "bad\n", 2, "-lh0-", 1}}, "p {a}",
     kCrcError, "alpha\nbad\nbad.txt: CRC error\n"},
    {"a bad CRC after a line left open", {{"bad.txt", "no end", 2, "-lh0-", 1}, {"b.txt", "next\n"}}, "p {a}",
     kCrcError, "no end\nbad.txt: CRC error\nnext\n"},
    {"a zero byte shows as ?", {{"z.bin", std::string("a\0b\n", 4)}}, "p {a}", kSuccess, "a?b\n"},
    {"an unsupported method", {{"u.bin", "data", 2, "-lh9-"}, {"b.txt", "next\n"}}, "p {a}", kUnsupportedMethod,
     "u.bin: unsupported method\nnext\n"},
    {"a folder prints nothing", {{"dir\\", "", 2, "-lhd-"}, {"dir\\in.txt", "inside\n"}}, "p {a}", kSuccess, "inside\n"},
};

TEST_F(Command, PrintTable)
{
    for (const PrintCase& row : kPrintCases) {
        SCOPED_TRACE(row.name);
        WriteArchive(row.members);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        EXPECT_EQ(row.text, result.text);
    }
}

// A member longer than the area: cut at the area's end, still CRC-checked.
TEST_F(Command, PrintCutAtAreaEnd)
{
    const std::string content = Pattern(70000, 9);
    WriteFileText(Path("long.txt"), content);
    ASSERT_EQ(kSuccess, RunExpanded("a -jm4 {a} {s} long.txt").code);
    Result whole = RunExpanded("p {a}");
    EXPECT_EQ(kSuccess, whole.code);
    std::string shown = content;
    for (char& c : shown) c = c == '\0' ? '?' : c;
    EXPECT_TRUE(whole.text == shown) << "the unpacked content, zero bytes as ?";
    std::vector<char> area(101, '\x7F');
    EXPECT_EQ(kSuccess, Entry()(nullptr, ("p " + Archive()).c_str(), area.data(), 100));
    EXPECT_EQ(shown.substr(0, 99), std::string(area.data(), 99));
    EXPECT_EQ('\0', area[99]);
    EXPECT_EQ('\x7F', area[100]);
    WriteArchive({{"bad.txt", std::string(5000, 'b'), 2, "-lh0-", 1}});
    EXPECT_EQ(kCrcError, Entry()(nullptr, ("p " + Archive()).c_str(), area.data(), 100)) << "past the area's end";
}

// ---- -m<n>: the method of the members added ----

struct MethodCase {
    const char* name;
    const char* line;      // adds text.txt (compressible) and noise.bin (not)
    int code;
    const char* method;    // text.txt's, as listed; null when nothing is written
};

const MethodCase kMethodCases[] = {
    {"no switch: -lh5-", "a {a} {s} text.txt noise.bin", kSuccess, "-lh5-"},
    {"-jm0 stores", "a -jm0 {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"-jm1", "a -jm1 {a} {s} text.txt noise.bin", kSuccess, "-lh1-"},
    {"-o is -lh1-", "a -o {a} {s} text.txt noise.bin", kSuccess, "-lh1-"},
    {"-jm2", "a -jm2 {a} {s} text.txt noise.bin", kSuccess, "-lh5-"},
    {"-jm3", "a -jm3 {a} {s} text.txt noise.bin", kSuccess, "-lh6-"},
    {"-jm4", "a -jm4 {a} {s} text.txt noise.bin", kSuccess, "-lh7-"},
    {"-o6", "a -o6 {a} {s} text.txt noise.bin", kSuccess, "-lh6-"},
    {"-o7", "a -o7 {a} {s} text.txt noise.bin", kSuccess, "-lh7-"},
    {"-o3 changes nothing", "a -o3 {a} {s} text.txt noise.bin", kSuccess, "-lh5-"},
    {"upper case -JM4", "a -JM4 {a} {s} text.txt noise.bin", kSuccess, "-lh7-"},
    {"in one word -x1jm4", "a -x1jm4 {a} {s} text.txt noise.bin", kSuccess, "-lh7-"},
    {"-z stores", "a -z {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"the later of -jm and -z wins: -jm4 -z", "a -jm4 -z {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"the later of -z and -jm wins: -z -jm4", "a -z -jm4 {a} {s} text.txt noise.bin", kSuccess, "-lh7-"},
    {"-z2 packs a text", "a -z2 {a} {s} text.txt noise.bin", kSuccess, "-lh5-"},
    {"-ztxt stores the extension", "a -ztxt {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"-z.TXT, any case", "a -z.TXT {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"-zt?t, a pattern", "a -zt?t {a} {s} text.txt noise.bin", kSuccess, "-lh0-"},
    {"-zdoc packs other kinds", "a -zdoc {a} {s} text.txt noise.bin", kSuccess, "-lh5-"},
    {"u -jm3", "u -jm3 {a} {s} text.txt noise.bin", kSuccess, "-lh6-"},
    {"-jm5 is no method", "a -jm5 {a} {s} text.txt noise.bin", kBadCommandLine, nullptr},
    {"-z3 is no value of -z", "a -z3 {a} {s} text.txt noise.bin", kBadCommandLine, nullptr},
    {"-jm77: out of range", "a -jm77 {a} {s} text.txt noise.bin", kBadCommandLine, nullptr},
};

// The method column of the listing line that ends with " <name>".
std::string ListedMethod(const std::string& listing, const std::string& name)
{
    size_t end = listing.find(" " + name + "\n");
    if (end == std::string::npos) return "";
    size_t start = listing.rfind('\n', end) + 1;
    size_t at = listing.find(" -l", start);
    return at < end ? listing.substr(at + 1, 5) : "";
}

TEST_F(Command, MethodSwitchTable)
{
    const std::string text = Pattern(60000, 5), noise = Noise(5000, 6);
    WriteFileText(Path("text.txt"), text);
    WriteFileText(Path("noise.bin"), noise);
    for (const MethodCase& row : kMethodCases) {
        SCOPED_TRACE(row.name);
        DeleteFileA(Archive().c_str());
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        if (!row.method) {
            EXPECT_EQ(0u, result.text.find("bad command line: ")) << result.text;
            EXPECT_FALSE(Exists(Archive()));
            continue;
        }
        Result listed = RunExpanded("l {a}");
        EXPECT_EQ(row.method, ListedMethod(listed.text, "text.txt")) << listed.text;
        EXPECT_EQ("-lh0-", ListedMethod(listed.text, "noise.bin")) << "packing does not pay: stored";
        ASSERT_EQ(kSuccess, RunExpanded("x {a} {d}").code);
        EXPECT_TRUE(text == ReadFileText(Out() + "text.txt"));
        EXPECT_TRUE(noise == ReadFileText(Out() + "noise.bin"));
        RemoveTree(Out());
    }
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
    Result added = RunExpanded("a -d {a} {s}src\\ *");
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
    {"level 3 bad header CRC", {"three.txt", "x", 3, "-lh0-", 0, 1}, kHeaderCrc},
    {"level 0 bad checksum", {"zero.txt", "x", 0, "-lh0-", 0, 1}, kHeaderCrc},
    {"level 1 bad checksum", {"one.txt", "x", 1, "-lh0-", 0, 1}, kHeaderCrc},
    {"level 2 bad header CRC", {"two.txt", "x", 2, "-lh0-", 0, 1}, kHeaderCrc},
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

// ---- headers as other tools write them, built byte by byte ----

struct Extension {
    uint8_t type;
    std::string data;
};

// One member's header as its fields stand; sizes, checksum and header CRC
// are worked out here.
struct RawMember {
    int level;
    std::string method;
    char os;                      // levels 1 and 2
    std::string nameField;        // levels 0 and 1
    std::vector<Extension> ext;   // levels 1 and 2 (level 2 starts with a 0x00 header CRC)
    std::string area;             // level 0: the extended area after the data CRC
    std::string data;
    bool os968kSize = false;      // level 2: the size 2 short, as LHa for OS-9/68k writes it
    bool size256 = false;         // level 2: padded to a total of 256 (its first byte 0)
};

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

uint16_t TextCrc(const std::string& text) { return Crc16(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// Each extension: type, data, then the size of the next one (0 ends).
Bytes ExtensionChain(const std::vector<Extension>& ext)
{
    Bytes out;
    for (size_t i = 0; i < ext.size(); ++i) {
        out.push_back(ext[i].type);
        PutText(out, ext[i].data);
        Put16(out, i + 1 < ext.size() ? static_cast<uint32_t>(ext[i + 1].data.size() + 3) : 0);
    }
    return out;
}

Bytes RawLevel0Or1(const RawMember& m)
{
    const Bytes chain = ExtensionChain(m.ext);
    const size_t extSize = m.level == 1 ? chain.size() : 0;
    Bytes body;
    PutText(body, m.method);
    Put32(body, static_cast<uint32_t>(m.data.size() + extSize));
    Put32(body, static_cast<uint32_t>(m.data.size()));
    Put32(body, 0x2A435000);  // 2001-02-03 10:00:00, local
    body.push_back(0x20);
    body.push_back(static_cast<uint8_t>(m.level));
    body.push_back(static_cast<uint8_t>(m.nameField.size()));
    PutText(body, m.nameField);
    Put16(body, TextCrc(m.data));
    if (m.level == 0) PutText(body, m.area);
    if (m.level == 1) {
        body.push_back(static_cast<uint8_t>(m.os));
        Put16(body, m.ext.empty() ? 0 : static_cast<uint32_t>(m.ext[0].data.size() + 3));
    }
    uint8_t sum = 0;
    for (uint8_t b : body) sum = static_cast<uint8_t>(sum + b);
    Bytes out{static_cast<uint8_t>(body.size()), sum};
    out.insert(out.end(), body.begin(), body.end());
    if (m.level == 1) out.insert(out.end(), chain.begin(), chain.end());
    return out;
}

Bytes RawLevel2(const RawMember& m)
{
    std::vector<Extension> ext{{0x00, std::string(2, '\0')}};
    ext.insert(ext.end(), m.ext.begin(), m.ext.end());
    const size_t unpadded = 26 + ExtensionChain(ext).size();
    if (m.size256) ext.push_back({0x3F, std::string(256 - unpadded - 3, 'p')});
    Bytes h(2);
    PutText(h, m.method);
    Put32(h, static_cast<uint32_t>(m.data.size()));
    Put32(h, static_cast<uint32_t>(m.data.size()));
    Put32(h, 981194400);  // 2001-02-03 10:00:00 UTC
    h.push_back(0x20);
    h.push_back(2);
    Put16(h, TextCrc(m.data));
    h.push_back(static_cast<uint8_t>(m.os));
    Put16(h, static_cast<uint32_t>(ext[0].data.size() + 3));
    const Bytes chain = ExtensionChain(ext);
    h.insert(h.end(), chain.begin(), chain.end());
    const size_t sizeField = h.size() - (m.os968kSize ? 2 : 0);
    h[0] = static_cast<uint8_t>(sizeField);
    h[1] = static_cast<uint8_t>(sizeField >> 8);
    const uint16_t crc = Crc16(h.data(), h.size());
    h[27] = static_cast<uint8_t>(crc);
    h[28] = static_cast<uint8_t>(crc >> 8);
    return h;
}

// The members, each with its data, and the end marker.
Bytes RawArchive(const std::vector<RawMember>& members)
{
    Bytes out;
    for (const RawMember& m : members) {
        Bytes header = m.level == 2 ? RawLevel2(m) : RawLevel0Or1(m);
        out.insert(out.end(), header.begin(), header.end());
        PutText(out, m.data);
    }
    out.push_back(0);
    return out;
}

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(static_cast<uint16_t>(v >> 16)); }

const uint32_t kUnixNoon = 1276603200;  // 2010-06-15 12:00:00 UTC: the same date in every time zone
const std::string kLinkMode = Le16(0xA1FF);
// LHA for Unix's level 0 area: 'U', 0, time, mode, UID, GID.
std::string UnixArea(uint16_t mode) { return std::string("U\0", 2) + Le32(kUnixNoon) + Le16(mode) + Le16(1000) + Le16(100); }
// LHa for OS-9/68k's: the time twice, then OS-9 permissions, UID, GID.
const std::string kOs968kArea = std::string("K\0", 2) + Le32(kUnixNoon) + Le32(kUnixNoon) + Le16(0x0027) + Le32(0);
// LHA for OS-9's: permissions at 1-2, a copy of its 0xCC extension from 10 on.
const std::string kOs9Area("\x39\x13\x00\x00\xC3\x16\x00\x0F\x00\xCC\x18\x07\x09\x03\x01\x16\x00\x13\x00\x00\x00\x00", 22);

RawMember Plain(int level, const std::string& name, const std::string& data, char os = 'M')
{
    RawMember m{level, "-lh0-", os, name, {}, "", data};
    if (level == 2) m.ext.push_back({0x01, name});
    return m;
}

RawMember Folder(int level, char os, const std::string& nameField, std::vector<Extension> ext, const std::string& area = "")
{
    return RawMember{level, "-lhd-", os, nameField, ext, area, ""};
}

struct QuirkCase {
    const char* name;
    std::vector<RawMember> members;  // after.txt follows them
    const char* line;
    int code;
    std::vector<std::string> shown;
    std::vector<std::string> hidden;
};

const std::string kNote = "This is a comment on the file.";

const QuirkCase kQuirkCases[] = {
    {"OS-9/68k level 2 size 2 short", {[] { RawMember m = Plain(2, "os9.txt", "nine\n", 'K'); m.os968kSize = true; return m; }()},
     "l {a}", kSuccess, {" os9.txt\n", " after.txt\n", "2 members"}, {}},
    {"OS-9/68k mode is OS-9 permissions", {[] { RawMember m = Folder(2, 'K', "", {{0x02, "os9dir\xFF"}, {0x50, Le16(0xFFBF)}}); m.os968kSize = true; return m; }()},
     "v {a}", kSuccess, {" os9dir\\\n", "mode 040777"}, {"->"}},
    {"Amiga folder as an empty -lh0- member", {{2, "-lh0-", 'A', "", {{0x02, "MainDir\xFF" "02_EmptyDir\xFF"}}, "", ""}},
     "l {a}", kSuccess, {"-lhd- ", " MainDir\\02_EmptyDir\\\n"}, {"-lh0- 2001-02-03 10:00:00 0000 MainDir"}},
    {"empty -lh0- member of another OS stays a file", {{2, "-lh0-", 'U', "", {{0x02, "MainDir\xFF"}}, "", ""}},
     "l {a}", kSuccess, {"-lh0- ", " MainDir\\\n"}, {"-lhd-"}},
    {"Amiga note after a zero byte, level 1", {Plain(1, "metadata.txt" + std::string(1, '\0') + kNote, "m\n", 'A')},
     "v {a}", kSuccess, {" metadata.txt\n", "note: " + kNote + "\n"}, {"metadata.txt?"}},
    {"Amiga note, level 0: l shows the name only", {Plain(0, "metadata.txt" + std::string(1, '\0') + kNote, "m\n")},
     "l {a}", kSuccess, {" metadata.txt\n"}, {kNote}},
    {"MorphOS note in extension 0x71", {[] { RawMember m = Plain(2, "note.txt", "n\n", 'A'); m.ext.push_back({0x71, kNote}); return m; }()},
     "v {a}", kSuccess, {" note.txt\n", "note: " + kNote + "\n"}, {}},
    {"PMarc note in the level 0 area, never a Unix area", {{0, "-pm0-", 0, "PM.TXT", {}, std::string("U\0abcdefghij", 12), "pm\n"}},
     "v {a}", kSuccess, {" pm.txt\n", "note: U?abcdefghij\n", "OS 0x00"}, {"OS 'U'"}},
    {"capitals of a DOS tool read in lower case", {Plain(1, "SUB\\README.TXT", "r\n", 'M')},
     "l {a}", kSuccess, {" sub\\readme.txt\n"}, {"README"}},
    {"capitals beside one lower-case letter kept", {Plain(1, "SUB\\ReadMe.TXT", "r\n", 'M')},
     "l {a}", kSuccess, {" SUB\\ReadMe.TXT\n"}, {}},
    {"capitals of a Unix tool kept", {Plain(1, "README", "r\n", 'U')}, "l {a}", kSuccess, {" README\n"}, {}},
    {"Unix level 0 area: time, mode, owner", {{0, "-lh0-", 0, "unix.txt", {}, UnixArea(0x81A4), "u\n"}},
     "v {a}", kSuccess, {"-lh0- 2010-06-15", " unix.txt\n", "level 0, OS 'U', mode 100644, uid 1000, gid 100"}, {}},
    {"OS-9/68k level 0 area: time twice, OS-9 permissions", {{0, "-lh0-", 0, "k.txt", {}, kOs968kArea, "k\n"}},
     "v {a}", kSuccess, {"-lh0- 2010-06-15", "OS 'K', mode 000711"}, {}},
    {"OS-9 level 0 area", {{0, "-lh0-", 0, "nine.txt", {}, kOs9Area, "9\n"}},
     "v {a}", kSuccess, {" nine.txt\n", "OS '9', mode 000622"}, {}},
    {"level 0 area too short for a Unix one", {{0, "-lh0-", 0, "short.txt", {}, std::string("U\0abc", 5), "s\n"}},
     "v {a}", kSuccess, {" short.txt\n", "OS 0x00"}, {"mode"}},
    {"Unix time and owner extensions, level 1", {[] { RawMember m = Plain(1, "t.txt", "t\n", 'U'); m.ext = {{0x54, Le32(kUnixNoon)}, {0x51, Le16(100) + Le16(1000)}}; return m; }()},
     "v {a}", kSuccess, {"-lh0- 2010-06-15", "uid 1000, gid 100"}, {}},
    {"0xFF separators, the last one missing", {[] { RawMember m = Plain(1, "file.txt", "f\n"); m.ext = {{0x02, "dir\xFFsub"}}; return m; }()},
     "l {a}", kSuccess, {" dir\\sub\\file.txt\n"}, {}},
    {"slashes in a level 0 name", {Plain(0, "dir/sub/file.txt", "f\n")}, "l {a}", kSuccess, {" dir\\sub\\file.txt\n"}, {}},
    {"level 1 folder header replaces the name's folder", {[] { RawMember m = Plain(1, "old\\name.txt", "f\n"); m.ext = {{0x02, "new\xFF"}}; return m; }()},
     "l {a}", kSuccess, {" new\\name.txt\n"}, {"old"}},
    {"slash in a name header becomes '_'", {Plain(2, "a/b.txt", "f\n")}, "l {a}", kSuccess, {" a_b.txt\n"}, {}},
    {"level 0 folder without a name is passed over", {Folder(0, 0, "", {}, UnixArea(0x41ED))},
     "l {a}", kSuccess, {" after.txt\n", " 1 member\n"}, {}},
    {"Unix link, mark in the name", {Folder(1, 'U', "symlink|target", {{0x50, kLinkMode}})},
     "l {a}", kSuccess, {" symlink -> target\n", " after.txt\n"}, {}},
    {"Unix link, mark in the folder header", {Folder(1, 'U', "target", {{0x02, "symlink|path\xFFto\xFF"}, {0x50, kLinkMode}})},
     "l {a}", kSuccess, {" symlink -> path\\to\\target\n"}, {}},
    {"Unix link in a folder, absolute target", {Folder(1, 'U', "path", {{0x02, "subdir\xFFsymlink|\xFF" "absolute\xFF"}, {0x50, kLinkMode}})},
     "l {a}", kSuccess, {" subdir\\symlink -> \\absolute\\path\n"}, {}},
    {"Unix link, level 0 area", {Folder(0, 0, "ln|t", {}, UnixArea(0xA1FF))}, "l {a}", kSuccess, {" ln -> t\n"}, {}},
    {"link mode without a mark is a broken header", {Folder(1, 'U', "nolink", {{0x50, kLinkMode}})},
     "l {a}", kNotArchive, {"link without a target"}, {"nolink"}},
    {"Unix folder mode is no link", {Folder(1, 'U', "dir\\", {{0x50, Le16(0x41ED)}})}, "l {a}", kSuccess, {" dir\\\n"}, {"->"}},
    {"LHARK: level 1, OS ' ', -lh7- reads as -lk7-", {{1, "-lh7-", ' ', "lk.txt", {}, "", ""}}, "l {a}", kSuccess, {"-lk7- "}, {"-lh7-"}},
    {"-lh7- of another OS stays -lh7-", {{1, "-lh7-", 'M', "lh.txt", {}, "", ""}}, "l {a}", kSuccess, {"-lh7- "}, {"-lk7-"}},
    {"level 2 header of 256 bytes starts with a zero", {[] { RawMember m = Plain(2, "round.txt", "r\n"); m.size256 = true; return m; }()},
     "l {a}", kSuccess, {" round.txt\n", " after.txt\n", "2 members"}, {}},
};

TEST_F(Command, QuirkTable)
{
    for (const QuirkCase& row : kQuirkCases) {
        SCOPED_TRACE(row.name);
        std::vector<RawMember> members = row.members;
        members.push_back(Plain(2, "after.txt", "after\n"));
        Bytes archive = RawArchive(members);
        if (row.members[0].size256) ASSERT_EQ(0, archive[0]);
        WriteFileBytes(Archive(), archive);
        Result result = RunExpanded(row.line);
        EXPECT_EQ(row.code, result.code) << result.text;
        for (const std::string& text : row.shown) EXPECT_NE(std::string::npos, result.text.find(text)) << text << "\n" << result.text;
        for (const std::string& text : row.hidden) EXPECT_EQ(std::string::npos, result.text.find(text)) << text << "\n" << result.text;
    }
}

// Read as a member, the Amiga folder extracts as a folder.
TEST_F(Command, AmigaFolderExtractsAsAFolder)
{
    WriteFileBytes(Archive(), RawArchive({{2, "-lh0-", 'A', "", {{0x02, "MainDir\xFF" "Empty\xFF"}}, "", ""}, Plain(2, "after.txt", "after\n")}));
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kSuccess, result.code) << result.text;
    EXPECT_EQ((std::set<std::string>{"MainDir\\", "MainDir\\Empty\\", "after.txt"}), Tree(Out()));
}

// ---- self-extracting archives: the archive after a program ----

// A program's first bytes, then `text`, then filler up to `size` bytes.
Bytes Stub(const std::string& text, size_t size)
{
    std::string stub = "MZ\x90" + text;
    if (stub.size() < size) stub.resize(size, '.');
    return Bytes(stub.begin(), stub.end());
}

Bytes Join(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A member of its own, as the Amiga stub holds its help text.
Bytes Decoy() { Bytes d = RawArchive({Plain(1, "SFXUsage.txt", "usage\n")}); d.pop_back(); return d; }

struct SfxCase {
    const char* name;
    Bytes file;          // a stub and the archive of kThreeMembers, or anything else
    int code;            // of l and t
    const char* count;   // the listing's count of members (null: none expected)
    bool decoyListed;    // SFXUsage.txt, the stub's own member, is listed
};

const SfxCase kSfxCases[] = {
    {"archive after a small stub", Join(Stub("", 600), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"header-like text in the stub", Join(Stub("xx-lh5-1234567890 and -lhd- text", 1000), HandArchive(kThreeMembers)),
     kSuccess, "3 members", false},
    {"LHA-SFX, then a false -lhd- candidate", Join(Stub("LHA-SFX ..-lhd-......", 700), HandArchive(kThreeMembers)),
     kSuccess, "3 members", false},
    {"LHA-SFX: the next candidate is passed over even when valid",
     Join(Join(Stub("LHA-SFX", 100), Decoy()), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"LhASFX V1.2,: its valid help member is passed over",
     Join(Join(Stub("LhASFX V1.2, for Amiga", 2059), Decoy()), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"two marks pass over one candidate only",
     Join(Join(Stub("LHA-SFX LhASFX V1.2,", 300), Decoy()), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"a member with no mark before it is the archive's first",
     Join(Join(Stub("", 100), Decoy()), HandArchive(kThreeMembers)), kSuccess, "4 members", true},
    {"PMarc's -pms- mark at offset 0 is no header",
     Join(Bytes{0x18, 0x79, '-', 'p', 'm', 's', '-', 0, 0, 0, 0, 0, 0, 0}, HandArchive(kThreeMembers)), kSuccess,
     "3 members", false},
    {"stub over 64 KiB", Join(Stub("", 66532), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"archive at the last offset searched", Join(Stub("", 262151), HandArchive(kThreeMembers)), kSuccess, "3 members", false},
    {"archive one past the last offset searched", Join(Stub("", 262152), HandArchive(kThreeMembers)), kNotArchive,
     nullptr, false},
    {"no archive in a program", Stub("-lh5- but nothing after it", 5000), kNotArchive, nullptr, false},
};

TEST_F(Command, SelfExtractingTable)
{
    for (const SfxCase& row : kSfxCases) {
        SCOPED_TRACE(row.name);
        WriteFileBytes(Archive(), row.file);
        Result listed = RunExpanded("l {a}");
        EXPECT_EQ(row.code, listed.code) << listed.text;
        EXPECT_EQ(row.code, RunExpanded("t {a}").code);
        if (row.count) EXPECT_NE(std::string::npos, listed.text.find(row.count)) << listed.text;
        if (row.count) EXPECT_NE(std::string::npos, listed.text.find(" sub\\c.txt\n")) << listed.text;
        EXPECT_EQ(row.decoyListed, listed.text.find("SFXUsage.txt") != std::string::npos) << listed.text;
        if (row.code == kNotArchive) EXPECT_NE(std::string::npos, listed.text.find("not an archive")) << listed.text;
    }
}

TEST_F(Command, SelfExtractingArchiveExtracts)
{
    WriteFileBytes(Archive(), Join(Join(Stub("LhASFX V1.2,", 3000), Decoy()), HandArchive(kThreeMembers)));
    Result result = RunExpanded("x {a} {d}");
    EXPECT_EQ(kSuccess, result.code) << result.text;
    EXPECT_EQ((std::set<std::string>{"a.txt", "b.dat", "sub\\", "sub\\c.txt"}), Tree(Out()));
    EXPECT_EQ("charlie\n", ReadFileText(Out() + "sub\\c.txt"));
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

// ---- a, u, f and d copy members of every method as they stand ----

struct CopyCase {
    const char* name;
    const char* line;
};

const CopyCase kCopyCases[] = {
    {"a adds a file beside them", "a {a} {s}new.txt"},
    {"a -m7 packs the new file, not them", "a -jm4 {a} {s}new.txt"},
    {"u adds a file beside them", "u {a} {s}new.txt"},
    {"d deletes another member", "d {a} gone.txt"},
};

// The data of these members is no valid stream of their methods: copying
// them must never unpack (or pack) them again.
TEST_F(Command, UpdatesCopyMembersOfOtherMethodsAsTheyStand)
{
    std::vector<HandMember> members = {{"lh1.bin", "not really -lh1- data\n", 1, "-lh1-"},
                                       {"pm2.bin", "nor -pm2- data\n", 0, "-pm2-"},
                                       {"lzs.bin", "nor -lzs- data\n", 2, "-lzs-"},
                                       {"lh6.bin", "nor -lh6- data\n", 2, "-lh6-"},
                                       {"gone.txt", "bye\n"}};
    members[3].osId = 'U';
    WriteFileText(Path("new.txt"), "a new file\n");
    for (const CopyCase& row : kCopyCases) {
        SCOPED_TRACE(row.name);
        WriteArchive(members);
        Result result = RunExpanded(row.line);
        ASSERT_EQ(0, result.code) << result.text;
        const Bytes after = ReadFileBytes(Archive());
        for (size_t k = 0; k + 1 < members.size(); ++k) {
            const Bytes kept = HandMemberBytes(members[k]);
            EXPECT_NE(after.end(), std::search(after.begin(), after.end(), kept.begin(), kept.end())) << members[k].path;
        }
    }
}

} // namespace

// ---- packing on worker threads: the archive one worker writes, failures as one worker reports ----

// UNLHA32_WORKERS sets the worker count (archiver/format/PackingPipeline.h);
// 1 packs everything on the writer's thread, as before there were workers.
class Workers {
public:
    explicit Workers(unsigned count) { SetEnvironmentVariableA("UNLHA32_WORKERS", std::to_string(count).c_str()); }
    ~Workers() { SetEnvironmentVariableA("UNLHA32_WORKERS", nullptr); }
};

const unsigned kWorkerCounts[] = {2, 3, 8};

// Deterministic bytes: `alphabet` letters picked at random (256: any byte).
Bytes Noise(size_t size, unsigned alphabet, uint32_t seed)
{
    Bytes bytes(size);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(alphabet == 256 ? seed >> 24 : 'a' + (seed >> 24) % alphabet);
    }
    return bytes;
}

// Past one file's bound of waiting packed data (1 MiB) both ways: random bytes
// that stream out and are then stored (-lh0-), and letters that pack to about
// 1.5 MiB; many small files and an empty one around them; a folder.
void WriteWorkerCorpus(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "sub").c_str(), nullptr);
    WriteFileBytes(folder + "big-random.bin", Noise(1536 * 1024, 256, 1));
    WriteFileBytes(folder + "big-letters.txt", Noise(3 * 1024 * 1024, 16, 2));
    WriteFileBytes(folder + "empty.txt", Bytes());
    for (unsigned i = 0; i < 40; ++i)
        WriteFileBytes(folder + (i % 4 == 0 ? "sub\\" : "") + "small" + std::to_string(i) + ".txt",
                       Noise(i * 97, 4 + i % 20, 10 + i));
}

TEST_F(Command, WorkersWriteTheArchiveOneWorkerWrites)
{
    WriteWorkerCorpus(Path("in\\"));
    Bytes single;
    {
        Workers one(1);
        ASSERT_EQ(kSuccess, RunExpanded("a -r2 -x1 {a} {s}in\\ *").code);
        single = ReadFileBytes(Archive());
    }
    Result listed = RunExpanded("l {a}");
    const size_t random = listed.text.find("big-random.bin");
    ASSERT_NE(std::string::npos, random) << listed.text;
    const size_t line = listed.text.rfind('\n', random) + 1;
    EXPECT_NE(std::string::npos, listed.text.substr(line, random - line).find("-lh0-")) << listed.text;
    EXPECT_EQ(kSuccess, RunExpanded("t {a}").code);
    for (unsigned count : kWorkerCounts) {
        SCOPED_TRACE(count);
        Workers workers(count);
        DeleteFileA(Archive().c_str());
        ASSERT_EQ(kSuccess, RunExpanded("a -r2 -x1 {a} {s}in\\ *").code);
        EXPECT_TRUE(single == ReadFileBytes(Archive())) << "the archive differs from the single worker's";
    }
}

struct WorkerFailureCase {
    const char* name;
    const char* line;
    bool keepsOld;  // -jse: the warning ends the run; else the run goes on without the file
};

const WorkerFailureCase kWorkerFailureCases[] = {
    {"a -jse", "a -jse -r2 -x1 {a} {s}in\\ *", true},
    {"u -jse", "u -jse -r2 -x1 {a} {s}in\\ *", true},
    {"a -jse, stored (-z)", "a -jse -r2 -x1 -z {a} {s}in\\ *", true},
    {"a: the file is left out", "a -r2 -x1 {a} {s}in\\ *", false},
};

// A file no one may open among many: every worker count gives the text, code
// and archive of one worker; with -jse the old archive stays as it was, with
// no file left beside it.
TEST_F(Command, WorkerFailureTable)
{
    WriteWorkerCorpus(Path("in\\"));
    for (const WorkerFailureCase& row : kWorkerFailureCases) {
        SCOPED_TRACE(row.name);
        WriteArchive(kThreeMembers);
        const Bytes old = ReadFileBytes(Archive());
        const std::set<std::string> before = Tree(scratch_);
        HANDLE locked = CreateFileA(Path("in\\small29.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, locked);
        Result single;
        Bytes singleArchive;
        {
            Workers one(1);
            single = RunExpanded(row.line);
            singleArchive = ReadFileBytes(Archive());
        }
        EXPECT_EQ(kFileOpen, single.code) << single.text;
        EXPECT_NE(std::string::npos, single.text.find("small29.txt")) << single.text;
        EXPECT_EQ(row.keepsOld, old == singleArchive);
        for (unsigned count : kWorkerCounts) {
            SCOPED_TRACE(count);
            WriteFileBytes(Archive(), old);
            Workers workers(count);
            Result result = RunExpanded(row.line);
            EXPECT_EQ(single.code, result.code);
            EXPECT_EQ(single.text, result.text);
            EXPECT_TRUE(singleArchive == ReadFileBytes(Archive()));
            EXPECT_EQ(before, Tree(scratch_));
        }
        CloseHandle(locked);
    }
}
