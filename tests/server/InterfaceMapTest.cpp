// The table-driven QueryInterface: simple rows, function rows, rows for any
// interface, the IUnknown rule and the end of the map.
#include <windows.h>
#include <unknwn.h>
#include <gtest/gtest.h>

#include "server/InterfaceMap.h"

namespace {

// One interface table of a test object; counts the references it is given.
struct Face : IUnknown {
    LONG refs = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

// A test object with two interface tables; function rows note their calls.
struct TwoFaces {
    Face first;
    Face second;
    static DWORD calledWith;
};
DWORD TwoFaces::calledWith;
constexpr DWORD kSecond = sizeof(Face);

const IID kFirstIid = {0x11111111, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1}};
const IID kSecondIid = {0x22222222, 0, 0, {2, 2, 2, 2, 2, 2, 2, 2}};
const IID kUnlistedIid = {0x33333333, 0, 0, {3, 3, 3, 3, 3, 3, 3, 3}};
// Ids that differ from a listed one only in their last byte.
const IID kSecondIidButLastByte = {0x22222222, 0, 0, {2, 2, 2, 2, 2, 2, 2, 3}};
const IID kUnknownButLastByte = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x47}};

HRESULT WINAPI Declines(void*, REFIID, void**, DWORD value)
{
    TwoFaces::calledWith = value;
    return S_FALSE;
}
HRESULT WINAPI Fails(void*, REFIID, void**, DWORD value)
{
    TwoFaces::calledWith = value;
    return E_ACCESSDENIED;
}
HRESULT WINAPI Answers(void* object, REFIID, void** out, DWORD value)
{
    TwoFaces::calledWith = value;
    IUnknown* face = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + value);
    face->AddRef();
    *out = face;
    return S_OK;
}

#define SIMPLE SIMPLE_INTERFACE_ROW
const InterfaceMapEntry kSimple[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kFirstRowIsSecondFace[] = {{&kFirstIid, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kDeclines[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, 5, Declines}, {&kSecondIid, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kNamedFails[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, 5, Fails}, {nullptr, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kAnyFails[] = {{&kFirstIid, 0, SIMPLE}, {nullptr, 5, Fails}, {&kSecondIid, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kAny[] = {{&kFirstIid, 0, SIMPLE}, {nullptr, kSecond, SIMPLE}, {}};
const InterfaceMapEntry kAnswers[] = {{&kFirstIid, 0, SIMPLE}, {&kSecondIid, kSecond, Answers}, {}};
#undef SIMPLE

enum Answer { kNone, kFirst, kSecondFace };

TEST(FindInterface, WalksTheMap)
{
    const struct {
        const char* name;
        const InterfaceMapEntry* map;
        const IID* iid;
        HRESULT expected;
        Answer answer;
        DWORD calledWith; // the row value a function row was given, 0 for none
    } cases[] = {
        {"simple row by its IID", kSimple, &kSecondIid, S_OK, kSecondFace, 0},
        {"IUnknown from the first row", kSimple, &IID_IUnknown, S_OK, kFirst, 0},
        {"IUnknown from the first row whatever it names", kFirstRowIsSecondFace, &IID_IUnknown, S_OK, kSecondFace, 0},
        {"unlisted IID", kSimple, &kUnlistedIid, E_NOINTERFACE, kNone, 0},
        {"IID that differs from a row's in its last byte", kSimple, &kSecondIidButLastByte, E_NOINTERFACE, kNone, 0},
        {"IID that differs from IUnknown in its last byte", kSimple, &kUnknownButLastByte, E_NOINTERFACE, kNone, 0},
        {"S_FALSE lets the walk go on", kDeclines, &kSecondIid, S_OK, kSecondFace, 5},
        {"failure of a row naming the IID is the answer", kNamedFails, &kSecondIid, E_ACCESSDENIED, kNone, 5},
        {"failure of a row for any IID goes on", kAnyFails, &kSecondIid, S_OK, kSecondFace, 5},
        {"failure of a row for any IID, then the end", kAnyFails, &kUnlistedIid, E_NOINTERFACE, kNone, 5},
        {"row without IID answers any IID", kAny, &kUnlistedIid, S_OK, kSecondFace, 0},
        {"function row answers", kAnswers, &kSecondIid, S_OK, kSecondFace, kSecond},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TwoFaces object;
        TwoFaces::calledWith = 0;
        ASSERT_EQ(reinterpret_cast<BYTE*>(&object.second) - reinterpret_cast<BYTE*>(&object), kSecond);
        void* out = &object; // must be cleared when nothing answers
        EXPECT_EQ(FindInterface(&object, c.map, *c.iid, &out), c.expected);
        void* const faces[] = {nullptr, &object.first, &object.second};
        EXPECT_EQ(out, faces[c.answer]);
        EXPECT_EQ(object.first.refs + object.second.refs, c.answer == kNone ? 0 : 1);
        EXPECT_EQ(TwoFaces::calledWith, c.calledWith);
    }
    TwoFaces object;
    EXPECT_EQ(FindInterface(&object, kSimple, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(FindInterface(&object, kSimple, kFirstIid, nullptr), E_POINTER);
}

} // namespace
