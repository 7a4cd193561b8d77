// The result text lives in OLE memory, outside the module heap: every text the
// object replaces or leaves behind is freed, and a text that cannot be
// allocated fails cleanly.
#include "../blackbox/ComTestSupport.h"
#include "../server/ModuleTestSupport.h"
#include "OleMemorySpy.h"

#include "component/ResultStringBuilder.h"

// The module is started once per program, by the environment that
// ResultStringBuilderTest.cpp registers.

namespace {

IUnLha* NewObject()
{
    IUnLha* object = nullptr;
    EXPECT_EQ(CreateUnLhaInstance(nullptr, IID_IUnLha, reinterpret_cast<void**>(&object)), S_OK);
    return object;
}

TEST(OleMemory, ResultTextsAreFreedWhenReplacedAndWithTheObject)
{
    const UniqueBstr command = MakeBstr(L"fill 60000");
    const struct {
        const char* name;
        int calls;
        bool release;
        LONG live; // OLE blocks left afterwards
    } cases[] = {
        {"one call keeps its text", 1, false, 1},
        {"each call frees the text before", 20, false, 1},
        {"the object frees its text when it goes", 3, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IUnLha* object = NewObject();
        ASSERT_NE(object, nullptr);
        OleMemorySpy spy;
        ASSERT_TRUE(spy.Registered());
        for (int i = 0; i < c.calls; ++i) EXPECT_EQ(object->DoIt(command.get()), S_OK);
        if (c.release) object->Release();
        EXPECT_EQ(spy.LiveBlocks(), c.live);
        if (!c.release) object->Release();
    }
}

TEST(OleMemory, TextThatCannotBeAllocatedFailsAndLeavesNothing)
{
    IUnLha* object = NewObject();
    ASSERT_NE(object, nullptr);
    const UniqueBstr earlier = MakeBstr(L"echo earlier");
    const UniqueBstr command = MakeBstr(L"exit 4 text");
    OleMemorySpy spy;
    ASSERT_TRUE(spy.Registered());
    spy.FailAllocationsAfter(0);
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(BuildResultString("output\n", 8, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);

    spy.FailAllocationsAfter(-1);
    ASSERT_EQ(object->DoIt(earlier.get()), S_OK);
    // The command line's private copy comes first, then the text.
    spy.FailAllocationsAfter(1);
    EXPECT_EQ(object->DoIt(command.get()), E_OUTOFMEMORY);
    spy.FailAllocationsAfter(-1);
    LONG code = 0;
    EXPECT_EQ(object->get_ErrorCode(&code), S_OK);
    EXPECT_EQ(code, 4) << "the library ran";
    BSTR left = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(object->get_ResultString(&left), S_OK);
    EXPECT_EQ(left, nullptr) << "no text, and no earlier one";
    object->Release();
    EXPECT_EQ(spy.LiveBlocks(), 0);
}

} // namespace
