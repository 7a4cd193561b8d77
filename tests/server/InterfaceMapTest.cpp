// The table-driven QueryInterface: simple rows, function rows, rows for any
// interface, and the IUnknown rule.
#include <windows.h>
#include <unknwn.h>
#include <gtest/gtest.h>

#include <vector>

#include "server/InterfaceMap.h"

namespace {

// One interface table of a test object; counts the references it is given.
struct Face : IUnknown {
    LONG addRefs = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --addRefs; }
};

// A test object with two interface tables.
struct TwoFaces {
    Face first;
    Face second;
};
constexpr DWORD kSecondFace = sizeof(Face);
constexpr DWORD kFunctionValue = 5;

const IID kFirstIid = {0x11111111, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1}};
const IID kSecondIid = {0x22222222, 0, 0, {2, 2, 2, 2, 2, 2, 2, 2}};
const IID kUnlistedIid = {0x33333333, 0, 0, {3, 3, 3, 3, 3, 3, 3, 3}};

struct FunctionCall {
    void* object;
    DWORD value;
};
std::vector<FunctionCall> g_calls;

HRESULT WINAPI Declines(void* object, REFIID, void**, DWORD value)
{
    g_calls.push_back({object, value});
    return S_FALSE;
}

HRESULT WINAPI Fails(void* object, REFIID, void**, DWORD value)
{
    g_calls.push_back({object, value});
    return E_ACCESSDENIED;
}

// Answers with the interface table at the row's value.
HRESULT WINAPI Answers(void* object, REFIID, void** out, DWORD value)
{
    g_calls.push_back({object, value});
    IUnknown* face = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + value);
    face->AddRef();
    *out = face;
    return S_OK;
}

#define SIMPLE SIMPLE_INTERFACE_ROW
const InterfaceMapEntry kSimpleMap[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kFirstRowIsSecondFace[] = {{&kFirstIid, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kDeclineThenSimple[] = {
    {&kFirstIid, 0, SIMPLE}, {&kSecondIid, kFunctionValue, Declines}, {&kSecondIid, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kNamedRowFails[] = {
    {&kFirstIid, 0, SIMPLE}, {&kSecondIid, kFunctionValue, Fails}, {nullptr, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kAnyRowFails[] = {
    {&kFirstIid, 0, SIMPLE}, {nullptr, kFunctionValue, Fails}, {&kSecondIid, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kAnyInterface[] = {{&kFirstIid, 0, SIMPLE}, {nullptr, kSecondFace, SIMPLE}, {}};
const InterfaceMapEntry kFunctionAnswers[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, kSecondFace, Answers}, {}};
#undef SIMPLE

enum Answer { kNone, kFirst, kSecond };

struct FindCase {
    const char* name;
    const InterfaceMapEntry* map;
    const IID* iid;
    HRESULT expected;
    Answer answer;
    size_t functionCalls;
    DWORD functionValue;
};
const FindCase kFindCases[] = {
    {"simple row by its IID", kSimpleMap, &kSecondIid, S_OK, kSecond, 0, 0},
    {"IUnknown from the first row", kSimpleMap, &IID_IUnknown, S_OK, kFirst, 0, 0},
    {"IUnknown from the first row whatever it names", kFirstRowIsSecondFace, &IID_IUnknown, S_OK, kSecond, 0, 0},
    {"unlisted IID", kSimpleMap, &kUnlistedIid, E_NOINTERFACE, kNone, 0, 0},
    {"S_FALSE lets the walk go on", kDeclineThenSimple, &kSecondIid, S_OK, kSecond, 1, kFunctionValue},
    {"failure of a row naming the IID is the answer", kNamedRowFails, &kSecondIid, E_ACCESSDENIED, kNone, 1,
     kFunctionValue},
    {"failure of a row for any IID goes on", kAnyRowFails, &kSecondIid, S_OK, kSecond, 1, kFunctionValue},
    {"failure of a row for any IID, then the end", kAnyRowFails, &kUnlistedIid, E_NOINTERFACE, kNone, 1,
     kFunctionValue},
    {"row without IID answers any IID", kAnyInterface, &kUnlistedIid, S_OK, kSecond, 0, 0},
    {"function row answers", kFunctionAnswers, &kSecondIid, S_OK, kSecond, 1, kSecondFace},
};

TEST(FindInterface, WalksTheMap)
{
    for (const FindCase& c : kFindCases) {
        SCOPED_TRACE(c.name);
        TwoFaces object;
        ASSERT_EQ(reinterpret_cast<BYTE*>(&object.second) - reinterpret_cast<BYTE*>(&object), kSecondFace);
        g_calls.clear();
        void* out = &object; // must be cleared when nothing answers
        EXPECT_EQ(FindInterface(&object, c.map, *c.iid, &out), c.expected);
        void* const faces[] = {nullptr, &object.first, &object.second};
        EXPECT_EQ(out, faces[c.answer]);
        EXPECT_EQ(object.first.addRefs, c.answer == kFirst ? 1 : 0);
        EXPECT_EQ(object.second.addRefs, c.answer == kSecond ? 1 : 0);
        ASSERT_EQ(g_calls.size(), c.functionCalls);
        for (const FunctionCall& call : g_calls) {
            EXPECT_EQ(call.object, &object);
            EXPECT_EQ(call.value, c.functionValue);
        }
    }
}

TEST(FindInterface, NullOutPointerIsRefused)
{
    TwoFaces object;
    EXPECT_EQ(FindInterface(&object, kSimpleMap, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(FindInterface(&object, kSimpleMap, kFirstIid, nullptr), E_POINTER);
    EXPECT_EQ(object.first.addRefs, 0);
}

} // namespace
