// Running expanded scripts: root blocks, both passes, and the undo of a
// register pass that fails inside its block. Every script works below
// HKEY_CURRENT_USER\Software on keys named "vesker-registration-...".
#include "RegistrationTestSupport.h"
#include "registration/Registrar.h"
#include "registration/ReplacementMap.h"
#include "registration/ScriptParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kSoftware[] = "Software\\";
const char* const kTestKeys[] = {"vesker-registration-run", "vesker-registration-first",
                                 "vesker-registration-second", "vesker-registration-broken"};

// A root block of HKEY_CURRENT_USER whose entries go below Software.
std::string UserBlock(const std::string& entries)
{
    return "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n" + entries + "\r\n\t}\r\n}\r\n";
}

bool TestKeyExists(const char* name)
{
    return KeyExists(HKEY_CURRENT_USER, std::string(kSoftware) + name);
}

class RunScriptTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveTestKeys(); }
    void TearDown() override { RemoveTestKeys(); }

    static void RemoveTestKeys()
    {
        for (const char* name : kTestKeys) DeleteTree(HKEY_CURRENT_USER, std::string(kSoftware) + name);
    }

    HRESULT Run(const std::string& text, BOOL registerPass)
    {
        ReplacementMap map;
        map.AddEntry(L"Module", L"C:\\dir\\vesker.DLL");
        ScriptParser parser = {nullptr, &map};
        return RunScript(&parser, text.c_str(), registerPass);
    }
};

TEST_F(RunScriptTest, AcceptsOrRefusesRootBlocks)
{
    struct RootCase {
        const char* name;
        std::string text;
        HRESULT expected;
    } const cases[] = {
        {"empty text", "", S_OK},
        {"empty root block", "HKCU { }", S_OK},
        {"whitespace around root blocks", "\r\n \tHKCU\r\n{\r\n}\r\n\t HKEY_CURRENT_USER { } \r\n", S_OK},
        {"root key name in small letters", "hkcu { }", S_OK},
        {"whitespace only", " \r\n\t ", DISP_E_EXCEPTION},
        {"unknown root key", "HKXX { }", DISP_E_EXCEPTION},
        {"root key name longer than a path", std::string(300, 'K') + " { }", DISP_E_EXCEPTION},
        {"root key without a block", "HKCU Software { }", DISP_E_EXCEPTION},
        {"root key at the end", "HKCU", DISP_E_EXCEPTION},
        {"unclosed root block", "HKCU {", DISP_E_EXCEPTION},
        {"good block then garbage", "HKCU { } garbage", DISP_E_EXCEPTION},
    };
    for (const RootCase& c : cases) {
        for (BOOL registerPass : {TRUE, FALSE}) {
            SCOPED_TRACE(std::string(c.name) + (registerPass ? " (register)" : " (unregister)"));
            EXPECT_EQ(HexResult(c.expected), HexResult(Run(c.text, registerPass)));
        }
    }
}

TEST_F(RunScriptTest, RegistersAndUnregistersWithMarkers)
{
    const std::string script = UserBlock("\t\tvesker-registration-run = s '%MODULE%'\r\n\t\t{\r\n"
                                         "\t\t\tval Percent = s '100%%'\r\n\t\t}");
    ASSERT_EQ(S_OK, Run(script, TRUE));
    EXPECT_EQ(TextValue("C:\\dir\\vesker.DLL"), ReadValue(HKEY_CURRENT_USER, "Software\\vesker-registration-run", ""));
    EXPECT_EQ(TextValue("100%"), ReadValue(HKEY_CURRENT_USER, "Software\\vesker-registration-run", "Percent"));

    ASSERT_EQ(S_OK, Run(script, FALSE));
    EXPECT_FALSE(TestKeyExists("vesker-registration-run"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software")) << "NoRemove keeps the parent";
}

TEST_F(RunScriptTest, FailedExpansionReachesNoRegistry)
{
    const std::string script = UserBlock("\t\tvesker-registration-run = s '%Nothing%'");
    EXPECT_EQ(HexResult(DISP_E_EXCEPTION), HexResult(Run(script, TRUE)));
    EXPECT_FALSE(TestKeyExists("vesker-registration-run"));
}

// Each case registers `script`; the keys named in `kept` must exist afterwards
// and those in `undone` must not.
TEST_F(RunScriptTest, UndoesOnlyTheRootBlockThatFailed)
{
    struct UndoCase {
        const char* name;
        std::string script;
        std::vector<const char*> kept;
        std::vector<const char*> undone;
    } const cases[] = {
        {"bad type letter after a subtree was written",
         UserBlock("\t\tvesker-registration-run\r\n\t\t{\r\n\t\t\tChild = s 'x'\r\n\t\t}\r\n"
                   "\t\tvesker-registration-broken = x 'bad letter'"),
         {},
         {"vesker-registration-run", "vesker-registration-broken"}},
        {"backslash in a key name after a key was written",
         UserBlock("\t\tvesker-registration-run = s 'written'\r\n\t\tvesker-registration-broken\\Child"),
         {},
         {"vesker-registration-run"}},
        {"earlier root block stays registered",
         UserBlock("\t\tvesker-registration-first") +
             UserBlock("\t\tvesker-registration-second\r\n\t\tvesker-registration-broken = x 'bad'"),
         {"vesker-registration-first"},
         {"vesker-registration-second", "vesker-registration-broken"}},
    };
    for (const UndoCase& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTestKeys();
        EXPECT_EQ(HexResult(DISP_E_EXCEPTION), HexResult(Run(c.script, TRUE)));
        for (const char* key : c.kept) EXPECT_TRUE(TestKeyExists(key)) << key;
        for (const char* key : c.undone) EXPECT_FALSE(TestKeyExists(key)) << key;
    }
}

TEST_F(RunScriptTest, UnregisterPassStopsAtTheFirstFailingBlock)
{
    ASSERT_EQ(S_OK, Run(UserBlock("\t\tvesker-registration-first") + UserBlock("\t\tvesker-registration-second"), TRUE));
    const std::string unregister =
        UserBlock("\t\tvesker-registration-first\r\n\t\tbad\\name") + UserBlock("\t\tvesker-registration-second");
    EXPECT_EQ(HexResult(DISP_E_EXCEPTION), HexResult(Run(unregister, FALSE)));
    EXPECT_FALSE(TestKeyExists("vesker-registration-first")) << "entries before the failure are removed";
    EXPECT_TRUE(TestKeyExists("vesker-registration-second")) << "later root blocks are not visited";
}

} // namespace
