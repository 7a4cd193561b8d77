// The tokenizer and the constant tables of the registry script language.
#include <gtest/gtest.h>
#include <string>
#include "RegistryTree.h"
#include "registration/KeyHandle.h"
#include "registration/KeyTree.h"
#include "registration/ScriptParser.h"
#include "registration/ValueClause.h"

namespace {

struct TokenResult {
    HRESULT hr;
    std::string token;
    std::string rest;  // the text left at the cursor
};

// Reads one token from a text that ends at an inaccessible page into a buffer
// that does too, so a read or write past either faults.
TokenResult ReadOneToken(const std::string& text)
{
    GuardedText source(text);
    GuardedBuffer token(kTokenBufferSize);
    memset(token.Get(), 'X', kTokenBufferSize);
    ScriptParser parser{source.Get(), nullptr};
    const HRESULT hr = ReadToken(&parser, token.Get());
    const std::string tokenText = SUCCEEDED(hr) ? std::string(token.Get()) : std::string();
    return {hr, tokenText, parser.cursor};
}

struct TokenCase {
    const char* name;
    const char* text;
    HRESULT hr;
    const char* token;
    const char* rest;
};

void CheckTokenCases(const TokenCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const TokenCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const TokenResult result = ReadOneToken(c.text);
        EXPECT_EQ(c.hr, result.hr);
        if (FAILED(c.hr)) continue;
        EXPECT_EQ(c.token, result.token);
        EXPECT_EQ(c.rest, result.rest);
    }
}

const TokenCase kTokenCases[] = {
    {"plain token stops at a blank", "abc def", S_OK, "abc", " def"},
    {"all four blanks are skipped first", " \t\r\nabc", S_OK, "abc", ""},
    {"tab ends a plain token", "abc\tdef", S_OK, "abc", "\tdef"},
    {"form feed is not a blank", "\fab c", S_OK, "\fab", " c"},
    {"vertical tab is not a blank", "a\vb c", S_OK, "a\vb", " c"},
    {"doubled quote stores one quote", "'it''s' x", S_OK, "it's", " x"},
    {"empty quoted token", "'' x", S_OK, "", " x"},
    {"quoted blanks stay in the token", "'a b' c", S_OK, "a b", " c"},
    {"quote inside a plain token is ordinary", "ab'c d", S_OK, "ab'c", " d"},
    {"closing quote needs no blank after it", "'ab'cd", S_OK, "ab", "cd"},
    {"only doubled quotes", "'''''' z", S_OK, "''", " z"},
    {"equals sign glued to a name", "key= s v", S_OK, "key=", " s v"},
    {"brace glued to a name", "a={ b", S_OK, "a={", " b"},
    {"quoted brace is just text", "'{' x", S_OK, "{", " x"},
    {"token at the very end", "  last", S_OK, "last", ""},
    {"nothing left", "", DISP_E_EXCEPTION, "", ""},
    {"blanks only", " \t\r\n ", DISP_E_EXCEPTION, "", ""},
    {"unclosed quote", "'abc", DISP_E_EXCEPTION, "", ""},
    {"lone quote at the end", "'", DISP_E_EXCEPTION, "", ""},
    {"doubled quote where the closing one should be", "'ab''", DISP_E_EXCEPTION, "", ""},
};

TEST(Tokenizer, ReadsTokens)
{
    CheckTokenCases(kTokenCases, sizeof(kTokenCases) / sizeof(kTokenCases[0]));
}

// Code page 932: 0x95 0x5C is one character whose second byte is a backslash.
const TokenCase kDoubleByteTokenCases[] = {
    {"trail byte 0x5C stays in a plain token", "\x95\x5c" "a b", S_OK, "\x95\x5c" "a", " b"},
    {"trail byte 0x5C stays in a quoted token", "'\x95\x5c' b", S_OK, "\x95\x5c", " b"},
    {"a lead byte takes the quote after it as its trail", "'a\x95' b'", S_OK, "a\x95' b", ""},
    {"a lead byte swallowing the only closing quote", "'a\x95'", DISP_E_EXCEPTION, "", ""},
    {"lead byte as the last byte of a plain token", "a\x95", S_OK, "a\x95", ""},
    {"lead byte as the last byte of a quoted token", "'a\x95", DISP_E_EXCEPTION, "", ""},
    {"trail byte 0x7D does not close anything", "\x95\x7d x", S_OK, "\x95\x7d", " x"},
};

TEST(Tokenizer, ReadsDoubleByteCharactersWhole)
{
    if (!IsJapaneseCodePage()) GTEST_SKIP() << "needs code page 932";
    CheckTokenCases(kDoubleByteTokenCases, sizeof(kDoubleByteTokenCases) / sizeof(kDoubleByteTokenCases[0]));
}

// Token lengths at the edge of the 4096-byte buffer. A token that does not fit
// fails; none is cut, and no double-byte character is split.
struct LimitCase {
    const char* name;
    bool doubleByte;
    bool quoted;
    size_t singleBytes;  // single-byte characters before the optional double-byte one
    HRESULT hr;
    size_t storedBytes;
};

const LimitCase kLimitCases[] = {
    {"quoted, 4094 bytes fit", false, true, 4094, S_OK, 4094},
    {"quoted, 4095 bytes do not", false, true, 4095, DISP_E_EXCEPTION, 0},
    {"plain, 4095 bytes fit", false, false, 4095, S_OK, 4095},
    {"plain, 4096 bytes do not", false, false, 4096, DISP_E_EXCEPTION, 0},
    {"plain, far too long", false, false, 10000, DISP_E_EXCEPTION, 0},
    {"quoted, double-byte character ending at 4095 bytes", true, true, 4093, S_OK, 4095},
    {"quoted, double-byte character that would end at 4096", true, true, 4094, DISP_E_EXCEPTION, 0},
    {"plain, double-byte character ending at 4095 bytes", true, false, 4093, S_OK, 4095},
    {"plain, double-byte character that would end at 4096", true, false, 4094, DISP_E_EXCEPTION, 0},
};

TEST(Tokenizer, RefusesTokensThatDoNotFit)
{
    for (const LimitCase& c : kLimitCases) {
        SCOPED_TRACE(c.name);
        if (c.doubleByte && !IsJapaneseCodePage()) continue;
        std::string body(c.singleBytes, 'a');
        if (c.doubleByte) body += "\x95\x5c";
        const std::string text = c.quoted ? "'" + body + "' next" : body + " next";
        const TokenResult result = ReadOneToken(text);
        EXPECT_EQ(c.hr, result.hr);
        if (FAILED(c.hr)) continue;
        EXPECT_EQ(c.storedBytes, result.token.size());
        EXPECT_EQ(body, result.token);
        EXPECT_EQ(" next", result.rest);
    }
}

TEST(Tokenizer, DoubledQuotesCountOnceTowardsTheLimit)
{
    const std::string quotes(2 * 4094, '\'');
    const TokenResult fits = ReadOneToken("'" + quotes + "'");
    EXPECT_EQ(S_OK, fits.hr);
    EXPECT_EQ(std::string(4094, '\''), fits.token);
    EXPECT_EQ(DISP_E_EXCEPTION, ReadOneToken("'" + quotes + "'''").hr);
}

TEST(Tokenizer, SkipBlanksStopsAtTheFirstOtherByte)
{
    struct {
        const char* name;
        const char* text;
        const char* rest;
    } cases[] = {
        {"all four blanks", " \t\r\nx", "x"},
        {"nothing to skip", "x ", "x "},
        {"form feed stops", " \fx", "\fx"},
        {"high bytes are never blanks", " \xa0x", "\xa0x"},
        {"end of text", "  ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedText text(c.text);
        ScriptParser parser{text.Get(), nullptr};
        SkipBlanks(&parser);
        EXPECT_STREQ(c.rest, parser.cursor);
    }
}

TEST(Tables, RootKeyFromNameFindsEveryRootInAnyCase)
{
    struct {
        const char* name;
        HKEY key;
    } cases[] = {
        {"HKCR", HKEY_CLASSES_ROOT},
        {"hkcu", HKEY_CURRENT_USER},
        {"HkLm", HKEY_LOCAL_MACHINE},
        {"HKU", HKEY_USERS},
        {"HKPD", HKEY_PERFORMANCE_DATA},
        {"HKDD", HKEY_DYN_DATA},
        {"hkcc", HKEY_CURRENT_CONFIG},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"hkey_current_user", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKEY_DYN_DATA", HKEY_DYN_DATA},
        {"Hkey_Current_Config", HKEY_CURRENT_CONFIG},
        {"", nullptr},
        {"HKEY", nullptr},
        {"HKCR ", nullptr},
        {"HKCRX", nullptr},
        {"HKEY_CLASSES_ROOT\\CLSID", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.key, RootKeyFromName(c.name));
    }
    // A name that fills a whole token buffer is simply no root key.
    const std::string longName(kTokenBufferSize - 1, 'H');
    EXPECT_EQ(nullptr, RootKeyFromName(longName.c_str()));
}

TEST(Tables, ValueTypeFromLetterKnowsOnlySAndD)
{
    struct {
        const char* letter;
        VARTYPE type;
    } cases[] = {
        {"s", VT_BSTR}, {"S", VT_BSTR}, {"d", VT_I4}, {"D", VT_I4},
        {"x", VT_EMPTY}, {"sz", VT_EMPTY}, {"", VT_EMPTY}, {"ds", VT_EMPTY}, {"=", VT_EMPTY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letter);
        EXPECT_EQ(c.type, ValueTypeFromLetter(c.letter));
    }
}

TEST(Tables, OnlyClsidAndTypeLibAreProtected)
{
    struct {
        const char* name;
        bool removable;
    } cases[] = {
        {"CLSID", false}, {"clsid", false}, {"TypeLib", false}, {"TYPELIB", false},
        {"CLSID2", true}, {"CLSI", true}, {"Interface", true}, {"", true}, {"{B2A2F2E1}", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.removable, IsRemovableKeyName(c.name));
    }
}

TEST(KeyQueries, SubkeysAndValuesAsTheUnregisterPassSeesThem)
{
    struct {
        const char* name;
        const char* tree;  // the key under test is "k"
        bool hasSubkeys;
        bool holdsValues;
    } cases[] = {
        {"empty key", "k", false, false},
        {"one subkey", "k|k\\s", true, false},
        {"non-empty default value only", "k [] sz:v", false, false},
        {"default value of zero bytes only", "k [] sz0:", false, true},
        {"empty string default value only", "k [] sz:", false, false},
        {"one named value", "k [n] sz:v", false, true},
        {"one named value of zero bytes", "k [n] sz0:", false, true},
        {"default and named value", "k [] sz:v|k [n] dword:1", false, true},
        {"two named values and a subkey", "k [a] sz:1|k [b] sz:2|k\\s", true, true},
    };
    ScratchKey scratch("script-queries");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Reset(c.tree);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(scratch.Get(), "k", 0, KEY_READ, &key));
        EXPECT_EQ(c.hasSubkeys, KeyHasSubkeys(key));
        EXPECT_EQ(c.holdsValues, KeyHoldsValues(key));
        RegCloseKey(key);
    }
    // A handle that cannot be queried counts as neither.
    EXPECT_FALSE(KeyHasSubkeys(nullptr));
    EXPECT_FALSE(KeyHoldsValues(nullptr));
}

TEST(KeyQueries, RemoveKeyTreeTakesEverythingBeneath)
{
    struct {
        const char* name;
        const char* before;
        const char* remove;
        LONG result;
        const char* after;
    } cases[] = {
        {"leaf key", "a|b", "a", ERROR_SUCCESS, "b"},
        {"deep tree with values", "a\\b\\c [v] sz:1|a\\b [] sz:2|a\\d\\e|a [x] dword:3|ab", "a", ERROR_SUCCESS, "ab"},
        {"protected names are not special here", "CLSID\\x", "CLSID", ERROR_SUCCESS, ""},
        {"missing key", "a", "missing", ERROR_FILE_NOT_FOUND, "a"},
    };
    ScratchKey scratch("script-removetree");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Reset(c.before);
        EXPECT_EQ(c.result, RemoveKeyTree(scratch.Get(), c.remove));
        EXPECT_EQ(SortedTree(c.after), scratch.Dump());
    }
}

// A holder keeps its key when an open or create fails and gives up the old key
// when one succeeds.
TEST(KeyHandles, ReplaceOnlyOnSuccess)
{
    ScratchKey scratch("script-keyhandle");
    scratch.Build("a [n] sz:in a|b [n] sz:in b");
    struct {
        const char* name;
        const char* key;
        bool create;
        LONG result;
        const char* heldValue;  // value n of the key held afterwards
    } steps[] = {
        {"open a", "a", false, ERROR_SUCCESS, "in a"},
        {"opening a missing key keeps a", "missing", false, ERROR_FILE_NOT_FOUND, "in a"},
        {"opening b replaces a", "b", false, ERROR_SUCCESS, "in b"},
        {"a name with a backslash too far down keeps b", "a\\x\\y", false, ERROR_FILE_NOT_FOUND, "in b"},
        {"creating a new key replaces b", "c", true, ERROR_SUCCESS, ""},
    };
    KeyHandle holder;
    EXPECT_EQ(nullptr, holder.Get());
    EXPECT_EQ(ERROR_SUCCESS, holder.Close());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const LONG result = step.create ? holder.Create(scratch.Get(), step.key, KEY_ALL_ACCESS)
                                        : holder.Open(scratch.Get(), step.key, KEY_READ);
        EXPECT_EQ(step.result, result);
        char value[32] = "";
        DWORD size = sizeof(value);
        RegQueryValueExA(holder.Get(), "n", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        EXPECT_STREQ(step.heldValue, value);
    }
    EXPECT_EQ(ERROR_SUCCESS, holder.Close());
    EXPECT_EQ(nullptr, holder.Get());
    EXPECT_EQ(SortedTree("a [n] sz:in a|b [n] sz:in b|a|b|c"), scratch.Dump());
}

}  // namespace
