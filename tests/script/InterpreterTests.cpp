// The block interpreter against the real registry, in both passes. Each case
// starts from a known tree under a scratch key, interprets the content of one
// block (the text after its "{") with the scratch key as the parent, and
// compares the whole tree afterwards.
#include <gtest/gtest.h>
#include <string>
#include "RegistryTree.h"
#include "registration/ScriptParser.h"

namespace {

struct BlockCase {
    const char* name;
    const char* before;  // tree text
    const char* script;  // block content, up to and including its "}"
    HRESULT hr;
    const char* after;   // tree text
};

HRESULT Interpret(HKEY parent, const std::string& script, BOOL registerPass, const char** rest = nullptr)
{
    GuardedText text(script);
    ScriptParser parser{text.Get(), nullptr};
    const HRESULT hr = InterpretBlock(&parser, parent, registerPass, FALSE);
    // The cursor never leaves the text.
    EXPECT_GE(parser.cursor, text.Get());
    EXPECT_LE(parser.cursor, text.Get() + script.size());
    static std::string left;
    left = parser.cursor;
    if (rest) *rest = left.c_str();
    return hr;
}

void CheckBlockCases(const char* scratchName, const BlockCase* cases, size_t count, BOOL registerPass)
{
    ScratchKey scratch(scratchName);
    for (size_t i = 0; i < count; ++i) {
        const BlockCase& c = cases[i];
        SCOPED_TRACE(c.name);
        scratch.Reset(c.before);
        EXPECT_EQ(c.hr, Interpret(scratch.Get(), c.script, registerPass));
        EXPECT_EQ(SortedTree(c.after), scratch.Dump());
    }
}

#define CHECK_CASES(scratch, table, pass) CheckBlockCases(scratch, table, sizeof(table) / sizeof(table[0]), pass)

const BlockCase kRegisterValueCases[] = {
    {"default string value", "", "a = s v }", S_OK, "a|a [] sz:v"},
    {"upper-case S", "", "a = S v }", S_OK, "a|a [] sz:v"},
    {"d writes a DWORD", "", "a = d 10 }", S_OK, "a|a [] dword:10"},
    {"upper-case D", "", "a = D 10 }", S_OK, "a|a [] dword:10"},
    {"s keeps digits as text", "", "a = s 10 }", S_OK, "a|a [] sz:10"},
    {"negative d", "", "a = d -5 }", S_OK, "a|a [] dword:4294967291"},
    {"d that does not convert writes nothing", "", "a = d ten }", S_OK, "a"},
    {"d that does not convert keeps the old value", "a [] sz:old", "a = d ten }", S_OK, "a|a [] sz:old"},
    {"d too large for 32 bits writes nothing", "", "a = d 99999999999 }", S_OK, "a"},
    {"quoted text with blanks and a doubled quote", "", "a = s 'it''s a b' }", S_OK, "a|a [] sz:it's a b"},
    {"empty quoted text is a one-byte string", "", "a = s '' }", S_OK, "a|a [] sz:"},
    {"existing value overwritten, other content kept", "a [] sz:old|a [n] sz:keep|a\\x", "a = s new }", S_OK,
     "a|a [] sz:new|a [n] sz:keep|a\\x"},
    {"val writes to the parent of its block", "", "a { val n = s v } }", S_OK, "a|a [n] sz:v"},
    {"val at the top writes to the parent key", "", "val n = d 7 }", S_OK, ". [n] dword:7"},
    {"val name with a backslash is accepted", "", "val x\\y = s v }", S_OK, ". [x\\y] sz:v"},
    {"val with an empty quoted name writes the default value", "", "val '' = s v }", S_OK, ". [] sz:v"},
    {"letter x fails after the key is made", "", "a = x v }", DISP_E_EXCEPTION, "a"},
    {"letter sz fails", "", "a = sz v }", DISP_E_EXCEPTION, "a"},
    {"empty letter fails", "", "val n = '' v }", DISP_E_EXCEPTION, ""},
    {"val without an equals sign fails", "", "val n s v }", DISP_E_EXCEPTION, ""},
};

TEST(RegisterPass, WritesValues)
{
    CHECK_CASES("script-register-values", kRegisterValueCases, TRUE);
}

const BlockCase kRegisterKeyCases[] = {
    {"empty block does nothing", "", "}", S_OK, ""},
    {"nested keys", "", "a { b { c = s v } d } e }", S_OK, "a|a\\b|a\\b\\c|a\\b\\c [] sz:v|a\\d|e"},
    {"blanks of every kind between tokens", "", "\r\n\ta\r\n\t=\ts\r\n'v'\r\n}", S_OK, "a|a [] sz:v"},
    {"key= is one token, a key name", "", "key= s v }", S_OK, "key=|s|v"},
    {"a={ is one token, a key name", "", "a={ }", S_OK, "a={"},
    {"quoted brace opens a block", "", "a '{' b '}' }", S_OK, "a|a\\b"},
    {"keywords match in any case: noremove", "", "noremove a }", S_OK, "a"},
    {"keywords match in any case: NOREMOVE", "", "NOREMOVE a }", S_OK, "a"},
    {"quoted keyword is a keyword", "", "'NoRemove' a }", S_OK, "a"},
    {"VAL in capitals", "", "VAL n = s v }", S_OK, ". [n] sz:v"},
    {"quoted 'val'", "", "'val' n = s v }", S_OK, ". [n] sz:v"},
    {"quoted key name with a blank", "", "'a b' = s v }", S_OK, "a b|a b [] sz:v"},
    {"existing keys are opened and kept", "a\\x [n] sz:keep", "a { y } }", S_OK, "a|a\\x|a\\x [n] sz:keep|a\\y"},
    {"key name with a backslash fails", "", "a\\b }", DISP_E_EXCEPTION, ""},
    {"empty key name fails", "", "'' = s v }", DISP_E_EXCEPTION, ""},
    {"entries before a failure stay", "", "a b\\c d }", DISP_E_EXCEPTION, "a"},
    {"closing brace glued to a name is a name", "", "a} }", S_OK, "a}"},
};

TEST(RegisterPass, CreatesKeys)
{
    CHECK_CASES("script-register-keys", kRegisterKeyCases, TRUE);
}

const BlockCase kRegisterRemovalCases[] = {
    {"ForceRemove rebuilds the key", "a|a\\x\\y [n] sz:old|a [] sz:old|b", "ForceRemove a = s v { c } }", S_OK,
     "a|a [] sz:v|a\\c|b"},
    {"forceremove in lower case", "a\\x", "forceremove a }", S_OK, "a"},
    {"ForceRemove on a missing key creates it", "", "ForceRemove a }", S_OK, "a"},
    {"ForceRemove CLSID removes nothing and opens CLSID", "CLSID\\x [] sz:keep", "ForceRemove CLSID { y } }", S_OK,
     "CLSID|CLSID\\x|CLSID\\x [] sz:keep|CLSID\\y"},
    {"ForceRemove TypeLib is protected in any case", "TypeLib\\x", "ForceRemove TYPELIB }", S_OK,
     "TypeLib|TypeLib\\x"},
    {"ForceRemove name with a backslash fails", "a\\b", "ForceRemove a\\b }", DISP_E_EXCEPTION, "a|a\\b"},
    {"Delete removes the subtree and creates nothing", "a\\b [n] sz:1|c", "Delete a }", S_OK, "c"},
    {"Delete ignores its value clause", "a", "Delete a = s v }", S_OK, ""},
    {"Delete of a missing key is no error", "", "Delete a b }", S_OK, "b"},
    {"Delete CLSID removes nothing", "CLSID\\x", "Delete clsid }", S_OK, "CLSID|CLSID\\x"},
    {"Delete name with a backslash fails", "a\\b", "Delete a\\b }", DISP_E_EXCEPTION, "a|a\\b"},
    // An empty name would stand for the parent key itself.
    {"ForceRemove of an empty name fails and removes nothing", "a\\b|. [n] sz:1", "ForceRemove '' }", DISP_E_EXCEPTION,
     "a|a\\b|. [n] sz:1"},
    {"Delete of an empty name fails and removes nothing", "a\\b", "Delete '' }", DISP_E_EXCEPTION, "a|a\\b"},
    {"the name after ForceRemove may be a keyword", "Delete\\x", "ForceRemove Delete }", S_OK, "Delete"},
    {"NoRemove has no effect when registering", "", "NoRemove a = s v }", S_OK, "a|a [] sz:v"},
    // A block after Delete or val would land under an earlier sibling: refused.
    {"block after Delete is refused", "a", "b Delete a { c } }", DISP_E_EXCEPTION, "b"},
    {"block after val is refused", "", "b val n = s v { c } }", DISP_E_EXCEPTION, ". [n] sz:v|b"},
};

TEST(RegisterPass, RemovesBeforeCreating)
{
    CHECK_CASES("script-register-removal", kRegisterRemovalCases, TRUE);
}

const BlockCase kUnregisterCases[] = {
    {"empty block does nothing", "a", "}", S_OK, "a"},
    {"key with values and no subkeys goes with all its values", "a [] sz:v|a [x] sz:y|b", "a = s v }", S_OK, "b"},
    {"key with a non-empty default value only", "a [] sz:v", "a = s v }", S_OK, ""},
    {"empty key", "a", "a }", S_OK, ""},
    {"any type letter is accepted", "a", "a = x v }", S_OK, ""},
    {"named values listed in the block go first", "a [n] sz:1|a [m] sz:2", "a { val n = s 1 } }", S_OK, ""},
    {"zero-byte default value only: block read, then key deleted", "a [] sz0:", "a { b } }", S_OK, ""},
    {"block of a key that held nothing is read passively", "a [] sz:v|c", "a = s v { b { x } } c }", S_OK, ""},
    {"that block reaches no sibling of the key", "a|b", "a { b } }", S_OK, "b"},
    {"subkeys listed in the block, then the key", "a\\b\\c|a\\d [] sz:1", "a { b { c } d = s 1 } }", S_OK, ""},
    {"subkeys the script does not name keep the key", "a\\b|a\\foreign [n] sz:1", "a { b } }", S_OK,
     "a|a\\foreign|a\\foreign [n] sz:1"},
    {"subkeys and no block keep the key", "a\\b|c", "a c }", S_OK, "a|a\\b"},
    {"val deletes from the parent of its block", ". [n] sz:1|. [m] sz:2", "val n = s 1 }", S_OK, ". [m] sz:2"},
    // Keys named like the type letter and the value text show that a clause is
    // read past whole, never taken for entries.
    {"a val entry's clause is read past whole", ". [n] sz:1|s|v", "val n = s v }", S_OK, "s|v"},
    {"an empty key's clause is read past whole", "a [] sz:v|s|v", "a = s v }", S_OK, "s|v"},
    {"a key with values: its clause is read past whole", "a [n] sz:1|s|v", "a = s v }", S_OK, "s|v"},
    {"val name with a backslash is accepted", ". [x\\y] sz:1", "val x\\y = s 1 }", S_OK, ""},
    {"ForceRemove and Delete are plain key entries", "a\\b|c", "ForceRemove a { b } Delete c }", S_OK, ""},
    {"Delete does not remove a tree here", "a\\b", "Delete a }", S_OK, "a|a\\b"},
    {"key name with a backslash fails", "a\\b", "a\\b }", DISP_E_EXCEPTION, "a|a\\b"},
    {"empty key name fails", "a", "'' }", DISP_E_EXCEPTION, "a"},
    {"val without an equals sign fails", ". [n] sz:1", "val n s 1 }", DISP_E_EXCEPTION, ". [n] sz:1"},
};

TEST(UnregisterPass, DeletesWhatTheScriptNames)
{
    CHECK_CASES("script-unregister", kUnregisterCases, FALSE);
}

const BlockCase kNoRemoveCases[] = {
    {"NoRemove keeps the key", "a", "NoRemove a }", S_OK, "a"},
    {"noremove in lower case", "a", "noremove a }", S_OK, "a"},
    {"quoted 'NoRemove'", "a", "'NoRemove' a }", S_OK, "a"},
    {"NoRemove holds for the rest of its block", "a|b|c", "c NoRemove a b }", S_OK, "a|b"},
    {"a nested block starts removable again", "a\\b|a\\c", "NoRemove a { b c } }", S_OK, "a"},
    {"NoRemove key loses the values its block lists only", "a [n] sz:1|a [m] sz:2|a [] sz:d",
     "NoRemove a = s d { val n = s 1 } }", S_OK, "a|a [] sz:d|a [m] sz:2"},
    {"NoRemove CLSID with a block", "CLSID\\g [] sz:c|CLSID\\g\\p [] sz:x|CLSID\\other|after",
     "NoRemove CLSID { g = s c { p = s x } } after }", S_OK, "CLSID|CLSID\\other|after"},
    {"an entry after NoRemove still loses what its own block lists", "a|b\\c|b [n] sz:1",
     "NoRemove a b { c val n = s 1 } }", S_OK, "a|b"},
};

TEST(UnregisterPass, NoRemoveKeepsKeys)
{
    CHECK_CASES("script-noremove", kNoRemoveCases, FALSE);
}

const BlockCase kPassiveCases[] = {
    {"a missing key's block touches nothing; later entries are handled", "b|c", "missing { b } c }", S_OK, "b"},
    // "a" stays open (foreign subkey) while "missing" is read: nothing under
    // its block may reach "a".
    {"a missing key's block touches nothing, even with an earlier key open", "a\\b|a\\x|a [n] sz:1",
     "NoRemove a { } missing { b val n = s 1 } }", S_OK, "a|a\\b|a\\x|a [n] sz:1"},
    {"missing key with a value clause and block", "c", "missing = s v { x = s y } c }", S_OK, ""},
    {"a missing key's clause is read past whole", "s|v", "missing = s v }", S_OK, "s|v"},
    {"nested missing keys", "a\\c", "a { missing { c } } }", S_OK, "a|a\\c"},
    {"missing key at the end of a block", "a|b", "a b { missing } }", S_OK, ""},
    {"passive reading still fails at the end of the text", "b", "missing { b", DISP_E_EXCEPTION, "b"},
    {"passive reading still refuses a backslash", "b", "missing { b\\c } b }", DISP_E_EXCEPTION, "b"},
};

TEST(UnregisterPass, MissingKeysArePassive)
{
    CHECK_CASES("script-passive", kPassiveCases, FALSE);
}

// Every place where the text can end while a token is still needed, in both
// passes: the run fails and keeps what it did before.
const char* const kTruncatedScripts[] = {
    "",
    "a",
    "a =",
    "a = s",
    "a = s v",
    "a = s 'v }",
    "a {",
    "a { b",
    "a { b }",
    "a = s v { b = d 1",
    "ForceRemove",
    "ForceRemove a",
    "Delete",
    "Delete a",
    "Delete a =",
    "Delete a = s",
    "Delete a = s v",
    "NoRemove",
    "NoRemove a",
    "val",
    "val n",
    "val n =",
    "val n = s",
    "val n = s v",
    "val 'n",
};

TEST(BothPasses, FailAtEveryEndOfTextThatNeedsAToken)
{
    ScratchKey scratch("script-truncated");
    for (const char* script : kTruncatedScripts) {
        SCOPED_TRACE(script);
        for (BOOL registerPass : {TRUE, FALSE}) {
            SCOPED_TRACE(registerPass ? "register" : "unregister");
            scratch.Reset();
            EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), script, registerPass));
            // Nothing is undone here, so a register pass may have made keys; an
            // unregister pass over an empty tree changes nothing.
            if (!registerPass) EXPECT_EQ("", scratch.Dump());
        }
    }
}

TEST(BothPasses, StopAfterTheClosingBrace)
{
    ScratchKey scratch("script-stop");
    for (BOOL registerPass : {TRUE, FALSE}) {
        const char* rest = nullptr;
        EXPECT_EQ(S_OK, Interpret(scratch.Get(), "a { b } } HKCU { c }", registerPass, &rest));
        EXPECT_STREQ(" HKCU { c }", rest);
    }
    EXPECT_EQ("", scratch.Dump());
}

// Names at the edge of their buffers.
TEST(BothPasses, ValueNamesMustFitTheirBuffer)
{
    ScratchKey scratch("script-valname");
    const std::string fits(kNameBufferSize - 1, 'n');
    const std::string tooLong(kNameBufferSize, 'n');
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), "val " + fits + " = s v }", TRUE));
    EXPECT_EQ(". [" + fits + "] sz:v", scratch.Dump());
    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), "val " + tooLong + " = s v }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), "val " + tooLong + " = s v }", FALSE));
    EXPECT_EQ(". [" + fits + "] sz:v", scratch.Dump());
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), "val " + fits + " = s v }", FALSE));
    EXPECT_EQ("", scratch.Dump());
}

std::string NestedScript(int levels)
{
    std::string script;
    for (int i = 0; i < levels; ++i) script += "k { ";
    for (int i = 0; i < levels; ++i) script += "} ";
    return script + "}";
}

std::string NestedTree(int levels)
{
    std::string tree, path;
    for (int i = 0; i < levels; ++i) {
        path += i ? "\\k" : "k";
        tree += (i ? "|" : "") + path;
    }
    return tree;
}

// The block passed in is the first level; 64 levels in all are accepted.
TEST(BothPasses, NestingIsLimitedTo64Levels)
{
    ScratchKey scratch("script-depth");
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), NestedScript(63), TRUE));
    EXPECT_EQ(SortedTree(NestedTree(63)), scratch.Dump());
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), NestedScript(63), FALSE));
    EXPECT_EQ("", scratch.Dump());

    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), NestedScript(64), TRUE));
    EXPECT_EQ(SortedTree(NestedTree(64)), scratch.Dump());
    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), NestedScript(64), FALSE));
    // Passive reading is limited the same way.
    scratch.Reset();
    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), NestedScript(64), FALSE));
    EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), NestedScript(100000), FALSE));
}

// Parents that refuse work. Unlike Windows, Wine lets a handle without
// KEY_CREATE_SUB_KEY create subkeys; it does check KEY_SET_VALUE (and a key's
// DACL on open). So a read-only parent stands for "values cannot be
// written", and a parent whose key has been deleted meanwhile for "keys can be
// neither opened nor created".
enum class ParentKind { ReadOnly, Deleted };

TEST(RegisterPass, ParentsThatRefuseWork)
{
    struct {
        const char* name;
        ParentKind parent;
        const char* before;
        const char* script;
        HRESULT hr;
        const char* after;
    } cases[] = {
        {"a value that cannot be written fails", ParentKind::ReadOnly, "", "val n = s v }", DISP_E_EXCEPTION, ""},
        {"existing keys are opened and written", ParentKind::ReadOnly, "a", "a = s v }", S_OK, "a|a [] sz:v"},
        {"a key that can be neither opened nor created fails", ParentKind::Deleted, "", "a }", DISP_E_EXCEPTION, ""},
        {"a value of a deleted parent fails", ParentKind::Deleted, "", "val n = s v }", DISP_E_EXCEPTION, ""},
    };
    ScratchKey scratch("script-refusing");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Reset(c.before);
        HKEY parent = nullptr;
        if (c.parent == ParentKind::ReadOnly) {
            parent = scratch.OpenReadOnly();
        } else {
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(scratch.Get(), "gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                     &parent, nullptr));
            ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.Get(), "gone"));
        }
        ASSERT_NE(nullptr, parent);
        EXPECT_EQ(c.hr, Interpret(parent, c.script, TRUE));
        RegCloseKey(parent);
        EXPECT_EQ(SortedTree(c.after), scratch.Dump());
    }
}

// Code page 932: names whose second byte is 0x5C are one character, not a
// path separator.
const BlockCase kDoubleByteRegisterCases[] = {
    {"key name with trail byte 0x5C", "", "\x95\x5c = s \x95\x5c }", S_OK, "\x95\x5c|\x95\x5c [] sz:\x95\x5c"},
    {"ForceRemove of such a key", "\x95\x5c\\x", "ForceRemove \x95\x5c }", S_OK, "\x95\x5c"},
    {"Delete of such a key", "\x95\x5c\\x|b", "Delete \x95\x5c }", S_OK, "b"},
    {"a real backslash after a double-byte character fails", "", "\x95\x5c\\x }", DISP_E_EXCEPTION, ""},
};

const BlockCase kDoubleByteUnregisterCases[] = {
    {"key name with trail byte 0x5C", "\x95\x5c [] sz:v", "\x95\x5c = s v }", S_OK, ""},
    {"val name with trail byte 0x5C", ". [\x95\x5c] sz:v", "val \x95\x5c = s v }", S_OK, ""},
};

// The same bytes under a single-byte code page are two characters, the second
// a backslash.
const BlockCase kSingleByteCases[] = {
    {"0x95 0x5C holds a backslash in a key name", "", "\x95\x5c = s v }", DISP_E_EXCEPTION, ""},
    {"0x95 0x5C in a val name is accepted", "", "val \x95\x5c = s v }", S_OK, ". [\x95\x5c] sz:v"},
};

TEST(BothPasses, DoubleByteNames)
{
    if (!IsJapaneseCodePage()) {
        CHECK_CASES("script-sbcs", kSingleByteCases, TRUE);
        return;
    }
    CHECK_CASES("script-dbcs-register", kDoubleByteRegisterCases, TRUE);
    CHECK_CASES("script-dbcs-unregister", kDoubleByteUnregisterCases, FALSE);
}

// A text that ends in the first byte of a double-byte character: Wine drops
// that byte when it converts the name, so the name would become "" and stand
// for the parent key itself (Wine even creates a key with an empty name, which
// its own RegDeleteTree then recurses into without end).
TEST(BothPasses, KeyNameEndingInHalfACharacterIsRefused)
{
    if (!IsJapaneseCodePage()) GTEST_SKIP() << "needs code page 932";
    struct {
        const char* before;
        BOOL registerPass;
    } runs[] = {
        {"a", TRUE},   // would create a key with an empty name
        {"", FALSE},   // would delete the (empty) parent key itself
    };
    const char* const scripts[] = {"\x95", "a { \x95", "ForceRemove \x95", "Delete \x95"};
    ScratchKey scratch("script-half-character");
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        for (const auto& run : runs) {
            scratch.Reset(run.before);
            EXPECT_EQ(DISP_E_EXCEPTION, Interpret(scratch.Get(), script, run.registerPass));
            ASSERT_TRUE(scratch.Exists());
            EXPECT_EQ(run.before, scratch.Dump());
        }
    }
}

// A key name of 130 double-byte characters is 260 bytes: registered, and then
// removed by that full name (a name cut to fewer bytes would miss it, or hit a
// key named by its first bytes).
TEST(BothPasses, LongDoubleByteKeyNameIsRemovedWhole)
{
    if (!IsJapaneseCodePage()) GTEST_SKIP() << "needs code page 932";
    std::string name;
    for (int i = 0; i < 130; ++i) name += "\x95\x5c";
    const std::string prefix = name.substr(0, 258);
    ScratchKey scratch("script-dbcs-long");
    scratch.Build(prefix);
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), name + " = s v }", TRUE));
    EXPECT_EQ(SortedTree(prefix + "|" + name + "|" + name + " [] sz:v"), scratch.Dump());
    EXPECT_EQ(S_OK, Interpret(scratch.Get(), name + " = s v }", FALSE));
    EXPECT_EQ(prefix, scratch.Dump());
}

}  // namespace
