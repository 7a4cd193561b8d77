// Random and mutated scripts in both passes under a scratch key: the
// interpreter must neither crash nor read past the text, must answer S_OK or
// DISP_E_EXCEPTION only, and must not change anything outside the scratch key.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "RegistryTree.h"
#include "registration/ScriptParser.h"

namespace {

// Valid block contents that mutations start from.
const char* const kSeeds[] = {
    "UnLha.Command.1 = s 'UnLha Class' { CLSID = s '{B2A2F2E1-05B1-11D2-BC01-006097839C16}' }"
    " UnLha.Command = s 'UnLha Class' { CurVer = s 'UnLha.Command.1' }"
    " NoRemove CLSID { ForceRemove {B2A2F2E1-05B1-11D2-BC01-006097839C16} = s 'UnLha Class' {"
    " ProgID = s 'UnLha.Command.1' VersionIndependentProgID = s 'UnLha.Command' ForceRemove 'Programmable'"
    " InprocServer32 = s 'C:\\dir\\vesker.DLL' { val ThreadingModel = s 'Apartment' } } } }",
    "a = d 10 { b = s 'it''s' { val n = S '' } c } Delete x = s y NoRemove e { val 'a b' = D -1 } }",
    "ForceRemove k { val v = s 1 l { m } } Delete k2 noremove TypeLib { t = s 'x' } }",
    "key= s v a={ '{' b '}' VAL q = d zz ForceRemove CLSID { z } }",
};

// Double-byte seeds for code page 932: trail bytes 0x5C, 0x7B, 0x7D and 0x27-free text.
const char* const kDoubleByteSeeds[] = {
    "\x95\x5c = s '\x95\x5c\x83\x7b' { val \x95\x5c = s \x95\x7d \x83\x7d { } } }",
    "'\x95\x5c a' = s '\x83\x5c''' { \x95\x5c\x95\x5c } }",
};

const char* const kVocabulary[] = {
    "{", "}", "=", "s", "S", "d", "D", "x", "val", "Val", "NoRemove", "ForceRemove", "Delete", "'",
    "''", "'a b'", "A\\B", "CLSID", "TYPELIB", "k", "'}'", "'{'", "=s", "10", "-1", "'it''s'", "\x95", "\x95\x5c",
};

class Random {
public:
    explicit Random(unsigned seed) : state_(seed) {}
    unsigned Next()
    {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 8) & 0xFFFFFF;
    }
    size_t Below(size_t n) { return n ? Next() % n : 0; }

private:
    unsigned state_;
};

std::vector<std::string> SplitTokens(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (c == ' ') {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) tokens.push_back(current);
    return tokens;
}

std::string JoinTokens(const std::vector<std::string>& tokens, Random& random)
{
    static const char* const blanks[] = {" ", "\t", "\r\n", "  "};
    std::string text;
    for (const std::string& token : tokens) {
        if (!text.empty()) text += blanks[random.Below(4)];
        text += token;
    }
    return text;
}

char RandomByte(Random& random)
{
    static const char interesting[] = {'{', '}', '=', '\'', '\\', ' ', '\t', '\r', '\n', 'a', 's', 'd',
                                       '\x81', '\x95', '\x9f', '\xe0', '\xfc', '\x5c', '\x7b', '\x7d', '\xff'};
    if (random.Below(4) == 0) {
        const char c = static_cast<char>(1 + random.Below(255));
        return c;
    }
    return interesting[random.Below(sizeof(interesting))];
}

std::string Mutate(const std::string& seed, Random& random)
{
    std::vector<std::string> tokens = SplitTokens(seed);
    const int mutations = 1 + static_cast<int>(random.Below(3));
    for (int m = 0; m < mutations && !tokens.empty(); ++m) {
        const size_t at = random.Below(tokens.size());
        switch (random.Below(5)) {
        case 0:
            tokens.erase(tokens.begin() + at);
            break;
        case 1:
            tokens.insert(tokens.begin() + at, tokens[at]);
            break;
        case 2:
            std::swap(tokens[at], tokens[random.Below(tokens.size())]);
            break;
        case 3:
            tokens.insert(tokens.begin() + at, kVocabulary[random.Below(sizeof(kVocabulary) / sizeof(kVocabulary[0]))]);
            break;
        default:
            tokens[at].insert(random.Below(tokens[at].size() + 1), 1, RandomByte(random));
            break;
        }
    }
    std::string text = JoinTokens(tokens, random);
    switch (random.Below(8)) {
    case 0:
        text.resize(random.Below(text.size() + 1));  // cut anywhere
        break;
    case 1:
        // Cut anywhere and end in one more byte, often a lead byte.
        text.resize(random.Below(text.size() + 1));
        text += RandomByte(random);
        break;
    case 2:
        // A name that is only the first byte of a double-byte character.
        text.resize(random.Below(text.size() + 1));
        text += random.Below(2) ? " \x95" : " \xe0";
        break;
    default:
        break;
    }
    return text;
}

std::string RandomText(Random& random)
{
    std::string text;
    const size_t length = random.Below(80);
    for (size_t i = 0; i < length; ++i) {
        text += random.Below(3) == 0 ? std::string(kVocabulary[random.Below(sizeof(kVocabulary) / sizeof(kVocabulary[0]))]) + " "
                                     : std::string(1, RandomByte(random));
    }
    return text;
}

bool IsScriptResult(HRESULT hr)
{
    return hr == S_OK || hr == DISP_E_EXCEPTION;
}

bool StartsWith(const std::string& line, const std::string& prefix)
{
    return line.compare(0, prefix.size(), prefix) == 0;
}

// The entries of a dump less those that begin with one of `excluded`.
std::vector<std::string> Outside(const std::vector<std::string>& lines, const std::vector<std::string>& excluded)
{
    std::vector<std::string> outside;
    for (const std::string& line : lines) {
        bool skip = false;
        for (const std::string& prefix : excluded) skip = skip || StartsWith(line, prefix);
        if (!skip) outside.push_back(line);
    }
    return outside;
}

// HKEY_CURRENT_USER\Software's own values and the names of its keys, less the
// scratch keys of test programs that may run at the same time. Deeper levels
// are left out: Wine programs of other tests write below them meanwhile; the
// container below checks its own level exactly.
std::vector<std::string> DumpSoftwareTopLevel()
{
    HKEY software = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software);
    const std::vector<std::string> lines = DumpTree(software);
    RegCloseKey(software);
    std::vector<std::string> top;
    for (const std::string& line : Outside(lines, {"vesker-test-"})) {
        const bool ownValue = StartsWith(line, ". [");
        const bool keyName = line.find('\\') == std::string::npos && line.find(" [") == std::string::npos;
        if (ownValue || keyName) top.push_back(line);
    }
    return top;
}

// The scripts run under "parent"; its neighbours and the container's own
// value must come through untouched.
const char kContainerTree[] = "parent|neighbour\\child [v] sz:1|. [n] sz:1|parenthesis [] sz:2";

std::vector<std::string> DumpContainerOutsideParent(const ScratchKey& container)
{
    return Outside(DumpTree(container.Get()), {"parent\\", "parent ["});
}

int CaseCount()
{
    const char* configured = getenv("VESKER_ROBUSTNESS_CASES");
    return configured ? atoi(configured) : 20000;
}

TEST(Robustness, MutatedScriptsInBothPasses)
{
    ScratchKey container("script-robustness");
    container.Build(kContainerTree);
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(container.Get(), "parent", 0, KEY_ALL_ACCESS, &parent));
    const std::vector<std::string> softwareBefore = DumpSoftwareTopLevel();
    const std::vector<std::string> containerBefore = DumpContainerOutsideParent(container);
    ASSERT_FALSE(softwareBefore.empty());

    std::vector<std::string> seeds(std::begin(kSeeds), std::end(kSeeds));
    if (IsJapaneseCodePage()) seeds.insert(seeds.end(), std::begin(kDoubleByteSeeds), std::end(kDoubleByteSeeds));

    Random random(20240601u);
    const int cases = CaseCount();
    int failures = 0, successes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cases; ++i) {
        const std::string script = i % 8 == 7 ? RandomText(random) : Mutate(seeds[random.Below(seeds.size())], random);
        GuardedText text(script);
        for (BOOL registerPass : {TRUE, FALSE}) {
            ScriptParser parser{text.Get(), nullptr};
            const HRESULT hr = InterpretBlock(&parser, parent, registerPass, FALSE);
            if (!IsScriptResult(hr) || parser.cursor < text.Get() || parser.cursor > text.Get() + script.size()) {
                ADD_FAILURE() << "case " << i << " pass " << registerPass << " hr 0x" << std::hex << hr << " script: " << script;
                if (++failures > 10) return;
            }
            if (hr == S_OK) ++successes;
        }
        // Passive reading must touch nothing.
        if (i % 16 == 0) {
            const std::vector<std::string> tree = DumpTree(parent);
            ScriptParser parser{text.Get(), nullptr};
            const HRESULT hr = InterpretBlock(&parser, parent, FALSE, TRUE);
            EXPECT_TRUE(IsScriptResult(hr)) << script;
            EXPECT_EQ(tree, DumpTree(parent)) << "passive run changed the tree: " << script;
        }
        if (i % 64 == 63) RegDeleteTreeA(parent, nullptr);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("robustness: %d scripts, %d passes succeeded, %.1f s\n", cases, successes, seconds);
    EXPECT_GT(successes, 0);
    RegCloseKey(parent);
    EXPECT_EQ(containerBefore, DumpContainerOutsideParent(container));
    EXPECT_EQ(softwareBefore, DumpSoftwareTopLevel());
}

}  // namespace
