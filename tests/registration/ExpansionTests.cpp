// Marker expansion of registration scripts and the replacement map behind it.
#include "RegistrationTestSupport.h"
#include "registration/Registrar.h"
#include "registration/ReplacementMap.h"
#include "registration/ScriptParser.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

namespace {

using namespace std::string_literals;

const wchar_t kModulePath[] = L"C:\\dir\\vesker.DLL";
// Marker names right at and just past the longest allowed length.
const char kName31[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";
const char kName32[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

struct ExpansionCase {
    const char* name;
    std::string text;
    HRESULT expected;
    std::string expanded; // only when expected succeeds
};

// What ExpandScript made of `text`, with the map every case shares.
struct Expansion {
    HRESULT result;
    bool outputNull;
    std::string text;
};

// Wine's CharNextA never steps past a terminator. The step Windows may take
// after a lone lead byte stands in for it in this program's own calls while
// the holder lives, so a walk that relies on CharNextA alone shows.
LPSTR WINAPI StepPastLoneLeadByte(LPCSTR text)
{
    if (!*text) return const_cast<LPSTR>(text);
    return const_cast<LPSTR>(text + (IsDBCSLeadByte(static_cast<BYTE>(*text)) ? 2 : 1));
}

class UnguardedCharNext {
public:
    UnguardedCharNext() : slot_(FindImportSlot()), saved_(slot_ ? *slot_ : nullptr)
    {
        Write(reinterpret_cast<void*>(StepPastLoneLeadByte));
    }
    ~UnguardedCharNext() { Write(saved_); }
    UnguardedCharNext(const UnguardedCharNext&) = delete;
    UnguardedCharNext& operator=(const UnguardedCharNext&) = delete;

    bool Installed() const { return slot_ != nullptr; }

private:
    // The program's import address slot that holds user32's CharNextA.
    static void** FindImportSlot()
    {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "CharNextA"));
        const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        for (; imports.VirtualAddress && descriptor->Name; ++descriptor) {
            for (auto** slot = reinterpret_cast<void**>(base + descriptor->FirstThunk); *slot; ++slot) {
                if (*slot == target) return slot;
            }
        }
        return nullptr;
    }
    void Write(void* value)
    {
        DWORD protection = 0;
        if (!slot_ || !VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &protection)) return;
        *slot_ = value;
        VirtualProtect(slot_, sizeof(*slot_), protection, &protection);
    }

    void** slot_;
    void* saved_;
};

Expansion Expand(const std::string& text)
{
    ReplacementMap map;
    EXPECT_EQ(S_OK, map.AddEntry(L"Module", kModulePath));
    EXPECT_EQ(S_OK, map.AddEntry(L"MODULE", L"second entry of the same name"));
    EXPECT_EQ(S_OK, map.AddEntry(Widen(kName31).c_str(), L"thirty-one"));
    EXPECT_EQ(S_OK, map.AddEntry(Widen(kName32).c_str(), L"thirty-two"));
    EXPECT_EQ(S_OK, map.AddEntry(L"Again", L"%MODULE%"));
    EXPECT_EQ(S_OK, map.AddEntry(L"Quote", L"it's"));
    ScriptParser parser = {nullptr, &map};
    char* output = reinterpret_cast<char*>(1);
    Expansion result;
    result.result = ExpandScript(&parser, text.c_str(), &output);
    result.outputNull = output == nullptr;
    if (output) {
        result.text = output;
        CoTaskMemFree(output);
    }
    return result;
}

TEST(ExpandScript, ReplacesMarkersOrFails)
{
    const std::string path = Narrow(kModulePath);
    const UnguardedCharNext windowsStep;
    ASSERT_TRUE(windowsStep.Installed());
    const ExpansionCase cases[] = {
        {"marker in capitals", "'%MODULE%'", S_OK, "'" + path + "'"},
        {"marker in small letters", "%module%", S_OK, path},
        {"marker as the entry is spelled", "%Module%", S_OK, path},
        {"text around two markers", "a%MODULE%b%module%c", S_OK, "a" + path + "b" + path + "c"},
        {"two percent signs give one", "100%% sure", S_OK, "100% sure"},
        {"literal percent sign before a marker", "%%%MODULE%", S_OK, "%" + path},
        {"empty text", "", S_OK, ""},
        {"text without markers", "HKCR\r\n{\r\n}\r\n", S_OK, "HKCR\r\n{\r\n}\r\n"},
        {"double-byte characters copied whole", "\x95\x5c%MODULE%\x95\x5c", S_OK, "\x95\x5c" + path + "\x95\x5c"},
        // The bytes after the terminator are never looked at: were they, the
        // unknown marker there would fail the expansion.
        {"lone lead byte last", "ab\x82\0%Nothing%"s, S_OK, "ab\x82"},
        {"lone lead byte last in a marker name", "%Module\x82\0%"s, DISP_E_EXCEPTION, ""},
        {"longest name is looked up", std::string("%") + kName31 + "%", S_OK, "thirty-one"},
        {"inserted value is not expanded again", "%Again%", S_OK, "%MODULE%"},
        {"inserted value keeps its single quote", "'%Quote%'", S_OK, "'it's'"},
        {"percent sign last", "abc%", DISP_E_EXCEPTION, ""},
        {"marker without its closing sign", "a %MODULE", DISP_E_EXCEPTION, ""},
        {"name that no entry has", "%Nothing%", DISP_E_EXCEPTION, ""},
        {"name is not trimmed", "% Module%", DISP_E_EXCEPTION, ""},
        {"name one byte too long", std::string("%") + kName32 + "%", E_FAIL, ""},
        {"long name without closing sign", std::string("%") + kName32, DISP_E_EXCEPTION, ""},
        {"failure after a good marker", "%MODULE%%Nothing%", DISP_E_EXCEPTION, ""},
    };
    for (const ExpansionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Expansion result = Expand(c.text);
        EXPECT_EQ(HexResult(c.expected), HexResult(result.result));
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(c.expanded, result.text);
        } else {
            EXPECT_TRUE(result.outputNull) << "a failed expansion hands out no text";
        }
    }
}

TEST(ExpandScript, GrowsPastTwiceTheSourceLength)
{
    // Each two-byte marker becomes the whole path: far more than twice the text.
    std::string text;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        text += "%Module%";
        expected += Narrow(kModulePath);
    }
    const Expansion result = Expand(text);
    EXPECT_EQ(S_OK, result.result);
    EXPECT_EQ(expected, result.text);
}

TEST(ReplacementMap, GrowsPastItsFirstSlotsAndFindsEveryEntry)
{
    ReplacementMap map;
    EXPECT_EQ(kInitialReplacementSlots, map.capacity);
    const int entries = 3 * kInitialReplacementSlots + 5;
    for (int i = 0; i < entries; ++i) {
        const std::wstring name = L"Name" + std::to_wstring(i);
        const std::wstring value = L"Value" + std::to_wstring(i);
        ASSERT_EQ(S_OK, map.AddEntry(name.c_str(), value.c_str())) << i;
    }
    EXPECT_EQ(entries, map.count);
    EXPECT_EQ(4 * kInitialReplacementSlots, map.capacity) << "the slot array doubles when full";
    for (int i = 0; i < entries; ++i) {
        const std::string name = "NAME" + std::to_string(i);
        const WCHAR* value = map.FindEntry(name.c_str());
        ASSERT_NE(nullptr, value) << name;
        EXPECT_EQ(L"Value" + std::to_wstring(i), value);
    }
}

TEST(ReplacementMap, LooksUpAndClears)
{
    ReplacementMap map;
    ASSERT_EQ(S_OK, map.AddEntry(L"Module", L"first"));
    ASSERT_EQ(S_OK, map.AddEntry(L"module", L"second"));
    ASSERT_EQ(S_OK, map.AddEntry(L"Empty", nullptr));

    struct LookupCase {
        const char* name;
        const char* key;
        const wchar_t* expected; // null: not found
    } const cases[] = {
        {"first entry of a name wins", "MODULE", L"first"},
        {"a null value is the empty text", "empty", L""},
        {"missing name", "Modul", nullptr},
        {"empty name", "", nullptr},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WCHAR* value = map.FindEntry(c.key);
        if (!c.expected) {
            EXPECT_EQ(nullptr, value);
            continue;
        }
        ASSERT_NE(nullptr, value);
        EXPECT_STREQ(c.expected, value);
    }

    map.ClearEntries();
    EXPECT_EQ(0, map.count);
    EXPECT_EQ(nullptr, map.FindEntry("Module"));
    ASSERT_EQ(S_OK, map.AddEntry(L"Module", L"after clearing"));
    EXPECT_STREQ(L"after clearing", map.FindEntry("module"));
}

} // namespace
