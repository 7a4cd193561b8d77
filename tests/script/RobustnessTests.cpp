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
    switch (random.Below(6)) {
    case 0:
        text.resize(random.Below(text.size() + 1));  // cut anywhere
        break;
    case 1:
        text += RandomByte(random);  // often a lead byte at the very end
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

// HKEY_CURRENT_USER\Software without the scratch key.
std::vector<std::string> DumpOutside(const std::string& scratchName)
{
    HKEY software = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software);
    std::vector<std::string> lines = DumpTree(software);
    RegCloseKey(software);
    std::vector<std::string> outside;
    for (const std::string& line : lines) {
        if (line.compare(0, scratchName.size(), scratchName) != 0) outside.push_back(line);
    }
    return outside;
}

int CaseCount()
{
    const char* configured = getenv("VESKER_ROBUSTNESS_CASES");
    return configured ? atoi(configured) : 30000;
}

TEST(Robustness, MutatedScriptsInBothPasses)
{
    ScratchKey scratch("script-robustness");
    const std::vector<std::string> before = DumpOutside(scratch.Name());
    ASSERT_FALSE(before.empty());

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
            const HRESULT hr = InterpretBlock(&parser, scratch.Get(), registerPass, FALSE);
            if (!IsScriptResult(hr) || parser.cursor < text.Get() || parser.cursor > text.Get() + script.size()) {
                ADD_FAILURE() << "case " << i << " pass " << registerPass << " hr 0x" << std::hex << hr << " script: " << script;
                if (++failures > 10) return;
            }
            if (hr == S_OK) ++successes;
        }
        // Passive reading must touch nothing.
        if (i % 16 == 0) {
            const std::string tree = scratch.Dump();
            ScriptParser parser{text.Get(), nullptr};
            const HRESULT hr = InterpretBlock(&parser, scratch.Get(), FALSE, TRUE);
            EXPECT_TRUE(IsScriptResult(hr)) << script;
            EXPECT_EQ(tree, scratch.Dump()) << "passive run changed the tree: " << script;
        }
        if (i % 64 == 63) scratch.Reset();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("robustness: %d scripts, %d passes succeeded, %.1f s\n", cases, successes, seconds);
    EXPECT_GT(successes, 0);
    EXPECT_EQ(before, DumpOutside(scratch.Name()));
}

}  // namespace
