// The component's own registration script, interpreted under a scratch key in
// place of HKEY_CLASSES_ROOT: the tree that registering writes and what
// unregistering removes.
#include <gtest/gtest.h>
#include <string>
#include "RegistryTree.h"
#include "registration/ScriptParser.h"

namespace {

// The script as the component carries it, with the module marker replaced.
const char kComponentScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tUnLha.Command.1 = s 'UnLha Class'\r\n"
    "\t{\r\n"
    "\t\tCLSID = s '{B2A2F2E1-05B1-11D2-BC01-006097839C16}'\r\n"
    "\t}\r\n"
    "\tUnLha.Command = s 'UnLha Class'\r\n"
    "\t{\r\n"
    "\t\tCurVer = s 'UnLha.Command.1'\r\n"
    "\t}\r\n"
    "\tNoRemove CLSID\r\n"
    "\t{\r\n"
    "\t\tForceRemove {B2A2F2E1-05B1-11D2-BC01-006097839C16} = s 'UnLha Class'\r\n"
    "\t\t{\r\n"
    "\t\t\tProgID = s 'UnLha.Command.1'\r\n"
    "\t\t\tVersionIndependentProgID = s 'UnLha.Command'\r\n"
    "\t\t\tForceRemove 'Programmable'\r\n"
    "\t\t\tInprocServer32 = s 'C:\\Program Files\\vesker\\vesker.DLL'\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n";

#define CLASS_KEY "CLSID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}"

#define INPROC_PATH "C:\\Program Files\\vesker\\vesker.DLL"

#define REGISTERED_TREE \
    "UnLha.Command.1|UnLha.Command.1 [] sz:UnLha Class" \
    "|UnLha.Command.1\\CLSID|UnLha.Command.1\\CLSID [] sz:{B2A2F2E1-05B1-11D2-BC01-006097839C16}" \
    "|UnLha.Command|UnLha.Command [] sz:UnLha Class" \
    "|UnLha.Command\\CurVer|UnLha.Command\\CurVer [] sz:UnLha.Command.1" \
    "|CLSID" \
    "|" CLASS_KEY "|" CLASS_KEY " [] sz:UnLha Class" \
    "|" CLASS_KEY "\\ProgID|" CLASS_KEY "\\ProgID [] sz:UnLha.Command.1" \
    "|" CLASS_KEY "\\VersionIndependentProgID|" CLASS_KEY "\\VersionIndependentProgID [] sz:UnLha.Command" \
    "|" CLASS_KEY "\\Programmable" \
    "|" CLASS_KEY "\\InprocServer32|" CLASS_KEY "\\InprocServer32 [] sz:" INPROC_PATH \
    "|" CLASS_KEY "\\InprocServer32 [ThreadingModel] sz:Apartment"

// Reads the root-key name and the "{" as the registration driver does, then
// interprets the root block under `parent`.
HRESULT RunComponentScript(HKEY parent, BOOL registerPass)
{
    GuardedText text(kComponentScript);
    ScriptParser parser{text.Get(), nullptr};
    char token[kTokenBufferSize];
    EXPECT_EQ(S_OK, ReadToken(&parser, token));
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootKeyFromName(token));
    EXPECT_EQ(S_OK, ReadToken(&parser, token));
    EXPECT_STREQ("{", token);
    const HRESULT hr = InterpretBlock(&parser, parent, registerPass, FALSE);
    SkipBlanks(&parser);
    EXPECT_STREQ("", parser.cursor);
    return hr;
}

struct ScriptCase {
    const char* name;
    const char* before;
    BOOL registerPass;
    const char* after;
};

const ScriptCase kComponentCases[] = {
    {"register on an empty tree", "", TRUE, REGISTERED_TREE},
    {"register twice gives the same tree", REGISTERED_TREE, TRUE, REGISTERED_TREE},
    {"unregister leaves CLSID only", REGISTERED_TREE, FALSE, "CLSID"},
    {"unregister on an empty tree changes nothing", "", FALSE, ""},
    {"unregister leaves other classes and CLSID's own values", "CLSID [] sz:x|CLSID\\{other}", FALSE,
     "CLSID|CLSID [] sz:x|CLSID\\{other}"},
    // The class key is rebuilt from nothing; the ProgID keys are only opened.
    {"register rebuilds the class key and keeps what others added to the ProgID keys",
     "UnLha.Command\\Foreign|UnLha.Command [n] sz:1|" CLASS_KEY "\\Foreign|" CLASS_KEY "\\Programmable [x] sz:y",
     TRUE, REGISTERED_TREE "|UnLha.Command\\Foreign|UnLha.Command [n] sz:1"},
    // Keys that still hold subkeys the script does not name stay, with them.
    {"unregister keeps keys that others added subkeys to",
     REGISTERED_TREE "|UnLha.Command\\Foreign|" CLASS_KEY "\\InprocServer32\\Foreign", FALSE,
     "UnLha.Command|UnLha.Command [] sz:UnLha Class|UnLha.Command\\Foreign|CLSID"
     "|" CLASS_KEY "|" CLASS_KEY " [] sz:UnLha Class"
     "|" CLASS_KEY "\\InprocServer32|" CLASS_KEY "\\InprocServer32 [] sz:" INPROC_PATH
     "|" CLASS_KEY "\\InprocServer32\\Foreign"},
};

TEST(ComponentScript, RegisterAndUnregister)
{
    ScratchKey scratch("script-component");
    for (const ScriptCase& c : kComponentCases) {
        SCOPED_TRACE(c.name);
        scratch.Reset(c.before);
        EXPECT_EQ(S_OK, RunComponentScript(scratch.Get(), c.registerPass));
        EXPECT_EQ(SortedTree(c.after), scratch.Dump());
    }
}

}  // namespace
