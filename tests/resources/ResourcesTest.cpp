// The version and string resources of vesker.DLL, and the language of every
// resource, read back from the built module.
#include "resources/BuiltModule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t StringBlock[] = L"\\StringFileInfo\\041104b0\\";

// The version resource as the version functions read it from the file.
class VersionInfo {
public:
    VersionInfo()
    {
        const std::wstring path = BuiltModulePath();
        DWORD ignored = 0;
        data_.resize(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (data_.empty() || !GetFileVersionInfoW(path.c_str(), 0, DWORD(data_.size()), data_.data())) data_.clear();
    }
    bool Loaded() const { return !data_.empty(); }

    // The value at a path, or false when the resource has no such entry.
    template <typename T>
    bool Query(const std::wstring& path, T** value, UINT* length)
    {
        return VerQueryValueW(data_.data(), path.c_str(), reinterpret_cast<void**>(value), length) != FALSE;
    }

private:
    std::vector<unsigned char> data_;
};

class VersionResource : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(info.Loaded()) << "no version resource"; }

    VersionInfo info;
};

TEST_F(VersionResource, FixedFileInfo)
{
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(info.Query(L"\\", &fixed, &length));
    ASSERT_GE(length, sizeof *fixed);
    const struct {
        const char* name;
        DWORD actual;
        DWORD expected;
    } cases[] = {
        {"signature", fixed->dwSignature, VS_FFI_SIGNATURE},
        {"file version 1.0", fixed->dwFileVersionMS, MAKELONG(0, 1)},
        {"file version .0.1", fixed->dwFileVersionLS, MAKELONG(1, 0)},
        {"product version 1.0", fixed->dwProductVersionMS, MAKELONG(0, 1)},
        {"product version .0.1", fixed->dwProductVersionLS, MAKELONG(1, 0)},
        {"file flags (no debug, no pre-release)", fixed->dwFileFlags, 0},
        {"file type", fixed->dwFileType, VFT_DLL},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST_F(VersionResource, StringValues)
{
    const struct {
        const wchar_t* key;
        const wchar_t* expected;
    } cases[] = {
        {L"FileDescription", L"vesker Module"},
        {L"FileVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"vesker"},
        {L"OriginalFilename", L"vesker.DLL"},
        {L"ProductName", L"vesker Module"},
        {L"ProductVersion", L"1, 0, 0, 1"},
        // Marks the module as one that registers itself; the value is empty.
        {L"OLESelfRegister", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << std::string(c.key, c.key + wcslen(c.key)));
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(info.Query(std::wstring(StringBlock) + c.key, &value, &length));
        ASSERT_NE(value, nullptr);
        // The length counts the terminator where the resource stores one.
        EXPECT_EQ(std::wstring(value, wcsnlen(value, length)), c.expected);
    }
}

TEST_F(VersionResource, OnlyTheJapaneseUnicodeTranslation)
{
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(info.Query(L"\\VarFileInfo\\Translation", &translation, &length));
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "exactly one translation";
    EXPECT_EQ(translation[0], 0x0411) << "language";
    EXPECT_EQ(translation[1], 1200) << "code page (UTF-16)";
    void* value = nullptr;
    EXPECT_FALSE(info.Query(L"\\StringFileInfo\\040904b0\\FileDescription", &value, &length))
        << "a string block of another language";
}

TEST(StringResource, Entry100)
{
    UniqueLibrary module = MapBuiltModule();
    ASSERT_NE(module.get(), nullptr);
    const struct {
        const char* name;
        UINT id;
        const wchar_t* expected;  // nullptr: no such entry
    } cases[] = {
        {"entry 100", 100, L"Vesker"},
        {"neighbour 99", 99, nullptr},
        {"neighbour 101", 101, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const wchar_t* text = nullptr;
        const int length = LoadStringW(module.get(), c.id, reinterpret_cast<LPWSTR>(&text), 0);
        if (!c.expected) {
            EXPECT_EQ(length, 0);
            continue;
        }
        ASSERT_GT(length, 0);
        EXPECT_EQ(std::wstring(text, length), c.expected);
    }
}

// Every resource of the module: type, name and language, as enumerated.
struct ResourceEntry {
    std::wstring type;
    std::wstring name;
    WORD language;
};

std::wstring ResourceName(LPCWSTR name)
{
    return IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR entries)
{
    reinterpret_cast<std::vector<ResourceEntry>*>(entries)->push_back({ResourceName(type), ResourceName(name), language});
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR entries)
{
    return EnumResourceLanguagesW(module, type, name, CollectLanguage, entries);
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR entries)
{
    return EnumResourceNamesW(module, type, CollectName, entries);
}

std::vector<ResourceEntry> AllResources(HMODULE module)
{
    std::vector<ResourceEntry> entries;
    EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&entries));
    return entries;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(ModuleResources, EveryResourceIsJapanese)
{
    UniqueLibrary module = MapBuiltModule();
    ASSERT_NE(module.get(), nullptr);
    const std::vector<ResourceEntry> entries = AllResources(module.get());
    // The resources this module must carry; others (the registration script)
    // are checked by their own tests, but their language is checked here too.
    const struct {
        const char* name;
        std::wstring type;
        std::wstring resource;
    } required[] = {
        {"type library", L"TYPELIB", L"#1"},
        {"version", L"#16", L"#1"},
        // String ids 96 to 111 share block 7.
        {"string block of entry 100", L"#6", L"#7"},
    };
    for (const auto& r : required) {
        bool found = false;
        for (const auto& e : entries) found = found || (e.type == r.type && e.name == r.resource);
        EXPECT_TRUE(found) << r.name;
    }
    for (const auto& e : entries)
        EXPECT_EQ(e.language, ModuleResourceLanguage) << Narrow(e.type) << " " << Narrow(e.name);
}

}  // namespace
