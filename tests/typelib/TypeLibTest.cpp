// The type library VESKERLib as the module carries it: read back through the
// platform's type library reader, and byte by byte from the TYPELIB resource
// where the reader changes what the file stores.
#include "resources/BuiltModule.h"
#include "common/InterfaceHolder.h"
#include "client/BstrText.h"
#include "typelib/StoredTypeLib.h"

#include <vesker.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const GUID StdOle2LibraryId = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const USHORT DualDispatchFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;  // 0x1140
// Wine 8 reports the dispatch half of a dual interface without
// TYPEFLAG_FOLEAUTOMATION, although the file stores it (checked below in the
// stored type record); Windows reports the stored flags.
const USHORT WineDualDispatchFlags = DualDispatchFlags & ~TYPEFLAG_FOLEAUTOMATION;  // 0x1040

// Help strings: the file stores code page 932 bytes; the text is what a reader
// on a code page 932 system gets back. The ASCII tail survives any code page.
struct HelpString {
    const char* stored;
    const wchar_t* text;
    const wchar_t* asciiTail;
};
const HelpString LibraryHelp = {"vesker 1.0 Type Library", L"vesker 1.0 Type Library", L"vesker 1.0 Type Library"};
const HelpString ClassHelp = {"UnLha Class", L"UnLha Class", L"UnLha Class"};
const HelpString InterfaceHelp = {"IUnLha Interface", L"IUnLha Interface", L"IUnLha Interface"};
const HelpString DoItHelp = {"\xD2\xBF\xAF\xC4\xDE DoIt", L"\uFF92\uFF7F\uFF6F\uFF84\uFF9E DoIt", L" DoIt"};
const HelpString HwndHelp = {"\xCC\xDF\xDB\xCA\xDF\xC3\xA8 hwnd", L"\uFF8C\uFF9F\uFF9B\uFF8A\uFF9F\uFF83\uFF68 hwnd",
                             L" hwnd"};
const HelpString ErrorCodeHelp = {"\xCC\xDF\xDB\xCA\xDF\xC3\xA8 ErrorCode",
                                  L"\uFF8C\uFF9F\uFF9B\uFF8A\uFF9F\uFF83\uFF68 ErrorCode", L" ErrorCode"};
const HelpString ResultStringHelp = {"\xCC\xDF\xDB\xCA\xDF\xC3\xA8 ResultString",
                                     L"\uFF8C\uFF9F\uFF9B\uFF8A\uFF9F\uFF83\uFF68 ResultString", L" ResultString"};

bool SystemCodePageIs932() { return GetACP() == 932; }

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Checks a help string read through the platform: whole under code page 932,
// where the stored bytes decode to the katakana; the ASCII tail elsewhere.
void ExpectHelpText(const std::wstring& actual, const HelpString& expected)
{
    if (SystemCodePageIs932())
        EXPECT_EQ(actual, expected.text);
    else
        EXPECT_TRUE(EndsWith(actual, expected.asciiTail)) << "help string does not end with the member name";
}

std::vector<unsigned char> TypeLibResource()
{
    UniqueLibrary module = MapBuiltModule();
    if (!module.get()) return {};
    return ResourceBytes(module.get(), L"TYPELIB", MAKEINTRESOURCEW(1));
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

class TypeLib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLib(BuiltModulePath().c_str(), library_.put()), S_OK); }

    InterfaceHolder<ITypeInfo> TypeAt(UINT index)
    {
        InterfaceHolder<ITypeInfo> info;
        EXPECT_EQ(library_->GetTypeInfo(index, info.put()), S_OK);
        return info;
    }

    // The interface half of the dual IUnLha: the dispatch type's reference -1.
    InterfaceHolder<ITypeInfo> InterfaceHalf()
    {
        InterfaceHolder<ITypeInfo> dispatch = TypeAt(1);
        InterfaceHolder<ITypeInfo> half;
        HREFTYPE reference = 0;
        if (!dispatch) return half;
        EXPECT_EQ(dispatch->GetRefTypeOfImplType(-1, &reference), S_OK);
        EXPECT_EQ(dispatch->GetRefTypeInfo(reference, half.put()), S_OK);
        return half;
    }

    InterfaceHolder<ITypeLib> library_;
};

// A type's attributes, copied so that no TYPEATTR outlives its release.
TYPEATTR Attributes(ITypeInfo* info)
{
    TYPEATTR copy = {};
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attributes), S_OK);
    if (!attributes) return copy;
    copy = *attributes;
    info->ReleaseTypeAttr(attributes);
    return copy;
}

InterfaceHolder<ITypeInfo> ImplementedType(ITypeInfo* info, UINT index)
{
    InterfaceHolder<ITypeInfo> implemented;
    HREFTYPE reference = 0;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &reference), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(reference, implemented.put()), S_OK);
    return implemented;
}

struct Documentation {
    std::wstring name;
    std::wstring help;
    DWORD helpContext = ~0u;
    bool hasHelpFile = true;
};

Documentation Document(ITypeInfo* info, MEMBERID member)
{
    UniqueBstr name, help, file;
    Documentation documentation;
    EXPECT_EQ(info->GetDocumentation(member, name.put(), help.put(), &documentation.helpContext, file.put()), S_OK);
    documentation.name = BstrText(name.get());
    documentation.help = BstrText(help.get());
    documentation.hasHelpFile = file.get() != nullptr;
    return documentation;
}

TEST_F(TypeLib, LibraryAttributes)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attributes), S_OK);
    const struct {
        const char* name;
        DWORD actual;
        DWORD expected;
    } cases[] = {
        {"major version", attributes->wMajorVerNum, 1},
        {"minor version", attributes->wMinorVerNum, 0},
        {"locale (language-neutral)", attributes->lcid, 0},
        {"target system", DWORD(attributes->syskind), SYS_WIN32},
        // The file stores no flags (see StoredLibraryHeader); every reader adds
        // LIBFLAG_FHASDISKIMAGE to a library that it loaded from a file.
        {"library flags", attributes->wLibFlags, LIBFLAG_FHASDISKIMAGE},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VESKERLib)) << "library id";
    library_->ReleaseTLibAttr(attributes);

    UniqueBstr name, help, file;
    DWORD helpContext = ~0u;
    ASSERT_EQ(library_->GetDocumentation(-1, name.put(), help.put(), &helpContext, file.put()), S_OK);
    EXPECT_EQ(BstrText(name.get()), L"VESKERLib");
    EXPECT_EQ(BstrText(help.get()), LibraryHelp.text);
    EXPECT_EQ(helpContext, 0u);
    EXPECT_EQ(file.get(), nullptr) << "the library names no help file";
}

TEST(StoredTypeLibTest, LibraryHeader)
{
    const StoredTypeLib stored(TypeLibResource());
    ASSERT_TRUE(stored.HasMagic()) << "no TYPELIB resource 1 in language 0x0411, or not MSFT";
    const struct {
        const char* name;
        StoredTypeLib::HeaderField field;
        int32_t mask;
        int32_t expected;
    } cases[] = {
        {"default locale field", StoredTypeLib::DefaultLocale, -1, 0x0409},
        {"library locale", StoredTypeLib::LibraryLocale, -1, 0},
        {"target system", StoredTypeLib::VarFlags, 0xF, SYS_WIN32},
        {"version 1.0 (minor in the high word)", StoredTypeLib::Version, -1, 0x00000001},
        {"library flags", StoredTypeLib::LibraryFlags, -1, 0},
        {"type count", StoredTypeLib::TypeCount, -1, 2},
        {"name count", StoredTypeLib::NameCount, -1, 9},
        {"imported types (IDispatch only)", StoredTypeLib::ImportCount, -1, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(stored.Header(c.field) & c.mask, c.expected) << c.name;
    EXPECT_EQ(stored.ImportedFileName(0), "StdOle2.tlb");
}

TEST_F(TypeLib, ImportsOnlyIDispatchFromStdOle2)
{
    InterfaceHolder<ITypeInfo> dispatch = TypeAt(1);
    ASSERT_TRUE(dispatch);
    InterfaceHolder<ITypeInfo> base = ImplementedType(dispatch.get(), 0);
    ASSERT_TRUE(base);
    EXPECT_TRUE(IsEqualGUID(Attributes(base.get()).guid, IID_IDispatch)) << "base of the dispatch type";

    InterfaceHolder<ITypeLib> imported;
    UINT index = 0;
    ASSERT_EQ(base->GetContainingTypeLib(imported.put(), &index), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(imported->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, StdOle2LibraryId)) << "imported library id";
    EXPECT_EQ(attributes->wMajorVerNum, 2);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    imported->ReleaseTLibAttr(attributes);
}

TEST_F(TypeLib, TypesInIndexOrder)
{
    ASSERT_EQ(library_->GetTypeInfoCount(), 2u);
    const struct {
        const char* name;
        UINT index;
        const wchar_t* typeName;
        TYPEKIND kind;
        const GUID* id;
        std::vector<USHORT> flags;  // the first is Windows', any other Wine's
        const HelpString* help;
    } cases[] = {
        {"class", 0, L"UnLha", TKIND_COCLASS, &CLSID_UnLha, {TYPEFLAG_FCANCREATE}, &ClassHelp},
        {"interface", 1, L"IUnLha", TKIND_DISPATCH, &IID_IUnLha, {DualDispatchFlags, WineDualDispatchFlags},
         &InterfaceHelp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(library_->GetTypeInfoType(c.index, &kind), S_OK);
        EXPECT_EQ(kind, c.kind);
        InterfaceHolder<ITypeInfo> info = TypeAt(c.index);
        ASSERT_TRUE(info);
        const TYPEATTR attributes = Attributes(info.get());
        EXPECT_EQ(attributes.typekind, c.kind);
        EXPECT_TRUE(IsEqualGUID(attributes.guid, *c.id));
        EXPECT_EQ(attributes.wMajorVerNum, 0);
        EXPECT_EQ(attributes.wMinorVerNum, 0);
        const size_t accepted = RunningOnWine() ? c.flags.size() : 1;
        EXPECT_NE(std::find(c.flags.begin(), c.flags.begin() + accepted, attributes.wTypeFlags),
                  c.flags.begin() + accepted)
            << "type flags 0x" << std::hex << attributes.wTypeFlags;
        const Documentation documentation = Document(info.get(), MEMBERID_NIL);
        EXPECT_EQ(documentation.name, c.typeName);
        EXPECT_EQ(documentation.help, c.help->text);
        EXPECT_EQ(documentation.helpContext, 0u);
    }
}

TEST(StoredTypeLibTest, TypeRecords)
{
    const StoredTypeLib stored(TypeLibResource());
    ASSERT_TRUE(stored.HasMagic());
    const struct {
        const char* name;
        int index;
        int32_t kind;
        int32_t flags;
        int32_t functions;
    } cases[] = {
        {"class", 0, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0},
        {"interface, as its dispatch half", 1, TKIND_DISPATCH, DualDispatchFlags, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stored.Type(c.index, StoredTypeLib::TypeKind) & 0xF, c.kind);
        EXPECT_EQ(stored.Type(c.index, StoredTypeLib::TypeFlags), c.flags);
        EXPECT_EQ(stored.Type(c.index, StoredTypeLib::TypeVersion), 0) << "version 0.0";
        EXPECT_EQ(stored.Type(c.index, StoredTypeLib::ElementCounts), c.functions) << "functions, no variables";
    }
}

TEST_F(TypeLib, ClassHasIUnLhaAsOnlyDefaultInterface)
{
    InterfaceHolder<ITypeInfo> unlha = TypeAt(0);
    ASSERT_TRUE(unlha);
    EXPECT_EQ(Attributes(unlha.get()).cImplTypes, 1);
    INT flags = -1;
    EXPECT_EQ(unlha->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT) << "default, not a source, not restricted";
    HREFTYPE reference = 0;
    EXPECT_NE(unlha->GetRefTypeOfImplType(1, &reference), S_OK) << "a second interface";

    InterfaceHolder<ITypeInfo> implemented = ImplementedType(unlha.get(), 0);
    ASSERT_TRUE(implemented);
    const TYPEATTR attributes = Attributes(implemented.get());
    EXPECT_TRUE(IsEqualGUID(attributes.guid, IID_IUnLha));
    EXPECT_EQ(attributes.typekind, TKIND_DISPATCH);
}

TEST_F(TypeLib, DualInterfaceHalf)
{
    InterfaceHolder<ITypeInfo> half = InterfaceHalf();
    ASSERT_TRUE(half);
    const TYPEATTR attributes = Attributes(half.get());
    const struct {
        const char* name;
        DWORD actual;
        DWORD expected;
    } cases[] = {
        {"kind", DWORD(attributes.typekind), TKIND_INTERFACE},
        {"interface table bytes (12 slots of 4)", attributes.cbSizeVft, 48},
        {"functions", attributes.cFuncs, 5},
        {"variables", attributes.cVars, 0},
        {"base interfaces", attributes.cImplTypes, 1},
        {"dual flag", DWORD(attributes.wTypeFlags & TYPEFLAG_FDUAL), TYPEFLAG_FDUAL},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
    EXPECT_TRUE(IsEqualGUID(attributes.guid, IID_IUnLha));
    InterfaceHolder<ITypeInfo> base = ImplementedType(half.get(), 0);
    ASSERT_TRUE(base);
    EXPECT_TRUE(IsEqualGUID(Attributes(base.get()).guid, IID_IDispatch)) << "base interface";
}

// The five members in the library's order, which is also their interface table
// order (slots 7 to 11).
struct MemberCase {
    const char* name;
    INVOKEKIND invokeKind;
    MEMBERID id;
    VARTYPE parameterType;
    bool parameterIsPointer;
    USHORT parameterFlags;
    SHORT vtableOffset;
    const HelpString* help;
    const char* storedParameterName;  // nullptr: the parameter has no name
};
const MemberCase Members[] = {
    {"DoIt", INVOKE_FUNC, 1, VT_BSTR, false, PARAMFLAG_NONE, 28, &DoItHelp, "cmdline"},
    {"get hwnd", INVOKE_PROPERTYGET, 2, VT_UINT, true, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, 32, &HwndHelp, "pVal"},
    {"put hwnd", INVOKE_PROPERTYPUT, 2, VT_UINT, false, PARAMFLAG_FIN, 36, &HwndHelp, nullptr},
    {"get ErrorCode", INVOKE_PROPERTYGET, 3, VT_I4, true, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, 40, &ErrorCodeHelp,
     "pVal"},
    {"get ResultString", INVOKE_PROPERTYGET, 4, VT_BSTR, true, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, 44,
     &ResultStringHelp, "pVal"},
};

TEST_F(TypeLib, MemberDescriptions)
{
    InterfaceHolder<ITypeInfo> half = InterfaceHalf();
    ASSERT_TRUE(half);
    ASSERT_EQ(Attributes(half.get()).cFuncs, WORD(std::size(Members)));
    for (UINT index = 0; index < std::size(Members); ++index) {
        const MemberCase& c = Members[index];
        SCOPED_TRACE(c.name);
        FUNCDESC* function = nullptr;
        ASSERT_EQ(half->GetFuncDesc(index, &function), S_OK);
        EXPECT_EQ(function->memid, c.id);
        EXPECT_EQ(function->invkind, c.invokeKind);
        EXPECT_EQ(function->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(function->callconv, CC_STDCALL);
        EXPECT_EQ(function->oVft, c.vtableOffset);
        EXPECT_EQ(function->wFuncFlags, 0);
        EXPECT_EQ(function->cParamsOpt, 0);
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        ASSERT_EQ(function->cParams, 1);
        const ELEMDESC& parameter = function->lprgelemdescParam[0];
        if (c.parameterIsPointer) {
            EXPECT_EQ(parameter.tdesc.vt, VT_PTR);
            if (parameter.tdesc.vt == VT_PTR) EXPECT_EQ(parameter.tdesc.lptdesc->vt, c.parameterType);
        } else {
            EXPECT_EQ(parameter.tdesc.vt, c.parameterType);
        }
        EXPECT_EQ(parameter.paramdesc.wParamFlags, c.parameterFlags) << "no default value, not optional";
        half->ReleaseFuncDesc(function);

        const Documentation documentation = Document(half.get(), c.id);
        ExpectHelpText(documentation.help, *c.help);
        EXPECT_EQ(documentation.helpContext, 0u);
    }
}

TEST_F(TypeLib, MemberNames)
{
    InterfaceHolder<ITypeInfo> half = InterfaceHalf();
    ASSERT_TRUE(half);
    // GetNames finds a member by its dispatch id, so the put accessor of hwnd
    // (which shares id 2 with the get accessor) is checked in the stored records.
    const struct {
        const char* name;
        MEMBERID id;
        std::vector<std::wstring> names;
    } cases[] = {
        {"DoIt", 1, {L"DoIt", L"cmdline"}},
        {"hwnd", 2, {L"hwnd", L"pVal"}},
        {"ErrorCode", 3, {L"ErrorCode", L"pVal"}},
        {"ResultString", 4, {L"ResultString", L"pVal"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BSTR names[4] = {};
        UINT count = 0;
        ASSERT_EQ(half->GetNames(c.id, names, 4, &count), S_OK);
        std::vector<std::wstring> actual;
        for (UINT i = 0; i < count; ++i) {
            actual.emplace_back(names[i] ? names[i] : L"");
            SysFreeString(names[i]);
        }
        EXPECT_EQ(actual, c.names);
    }
}

TEST(StoredTypeLibTest, MemberRecords)
{
    const StoredTypeLib stored(TypeLibResource());
    ASSERT_TRUE(stored.HasMagic());
    const std::vector<StoredTypeLib::Function> functions = stored.Functions(1);
    ASSERT_EQ(functions.size(), std::size(Members));
    for (size_t index = 0; index < functions.size(); ++index) {
        const MemberCase& c = Members[index];
        const StoredTypeLib::Function& function = functions[index];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(function.vtableOffset, c.vtableOffset);
        EXPECT_EQ(function.helpString, c.help->stored);
        EXPECT_EQ(function.parameterCount, 1);
        EXPECT_EQ(function.parameterFlags, c.parameterFlags);
        EXPECT_EQ(function.parameterNamed, c.storedParameterName != nullptr);
        if (c.storedParameterName) EXPECT_EQ(function.parameterName, c.storedParameterName);
    }
}

const std::vector<std::string> LibraryNames = {"VESKERLib", "UnLha", "IUnLha", "DoIt", "cmdline",
                                               "hwnd", "pVal", "ErrorCode", "ResultString"};

TEST(StoredTypeLibTest, ExactlyNineNames)
{
    const StoredTypeLib stored(TypeLibResource());
    ASSERT_TRUE(stored.HasMagic());
    EXPECT_EQ(Sorted(stored.Names()), Sorted(LibraryNames));
}

TEST_F(TypeLib, IsNameFindsOnlyStoredNames)
{
    // IsName covers the names of types, members and parameters (the library's
    // own name is checked through GetDocumentation and in the stored names).
    const struct {
        const char* name;
        const wchar_t* lookup;
        BOOL found;
    } cases[] = {
        {"class", L"UnLha", TRUE},
        {"interface", L"IUnLha", TRUE},
        {"method", L"DoIt", TRUE},
        {"method parameter", L"cmdline", TRUE},
        {"property", L"hwnd", TRUE},
        {"out parameter", L"pVal", TRUE},
        {"read-only property", L"ErrorCode", TRUE},
        {"text property", L"ResultString", TRUE},
        {"put parameter of the source", L"newVal", FALSE},
        {"unknown", L"Value", FALSE},
    };
    for (const auto& c : cases) {
        std::wstring lookup = c.lookup;
        BOOL found = !c.found;
        EXPECT_EQ(library_->IsName(&lookup[0], 0, &found), S_OK) << c.name;
        EXPECT_EQ(found, c.found) << c.name;
    }
}

TEST_F(TypeLib, DispatchIdsByName)
{
    InterfaceHolder<ITypeInfo> dispatch = TypeAt(1);
    ASSERT_TRUE(dispatch);
    const struct {
        const char* name;
        std::vector<std::wstring> names;
        HRESULT result;
        std::vector<MEMBERID> ids;
    } cases[] = {
        {"DoIt", {L"DoIt"}, S_OK, {1}},
        {"hwnd", {L"hwnd"}, S_OK, {2}},
        {"ErrorCode", {L"ErrorCode"}, S_OK, {3}},
        {"ResultString", {L"ResultString"}, S_OK, {4}},
        {"lower case", {L"doit"}, S_OK, {1}},
        {"upper case", {L"RESULTSTRING"}, S_OK, {4}},
        {"member and parameter", {L"DoIt", L"cmdline"}, S_OK, {1, 0}},
        {"unknown member", {L"Extract"}, DISP_E_UNKNOWNNAME, {MEMBERID_NIL}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> names = c.names;
        std::vector<LPOLESTR> pointers;
        for (auto& name : names) pointers.push_back(&name[0]);
        std::vector<MEMBERID> ids(names.size(), 12345);
        EXPECT_EQ(dispatch->GetIDsOfNames(pointers.data(), UINT(pointers.size()), ids.data()), c.result);
        EXPECT_EQ(ids, c.ids);
    }
}

TEST(StoredTypeLibTest, HelpStringsStoredInCodePage932)
{
    const std::vector<unsigned char> resource = TypeLibResource();
    ASSERT_FALSE(resource.empty());
    const std::string bytes(resource.begin(), resource.end());
    const struct {
        const char* name;
        const HelpString* help;
    } cases[] = {
        {"library", &LibraryHelp},     {"class", &ClassHelp},           {"interface", &InterfaceHelp},
        {"DoIt", &DoItHelp},           {"hwnd", &HwndHelp},             {"ErrorCode", &ErrorCodeHelp},
        {"ResultString", &ResultStringHelp},
    };
    for (const auto& c : cases) {
        // Stored as a counted string: a 16-bit length, then the bytes.
        const std::string stored = c.help->stored;
        const std::string counted = std::string(1, char(stored.size())) + '\0' + stored;
        EXPECT_NE(bytes.find(counted), std::string::npos) << c.name;
    }
}

TEST(StoredTypeLibTest, ResourceIsTheBuiltLibrary)
{
    // The build checks that vesker.tlb is reproducible; the module must carry it unchanged.
    const std::vector<unsigned char> resource = TypeLibResource();
    ASSERT_FALSE(resource.empty());
    EXPECT_TRUE(resource == FileBytes(BuiltFolder() + L"vesker.tlb"));
}

}  // namespace
