#include <gtest/gtest.h>
#include <windows.h>
TEST(Smoke, LoadsDll) { HMODULE m = LoadLibraryA("vesker.DLL"); ASSERT_NE(m, nullptr); FreeLibrary(m); }
