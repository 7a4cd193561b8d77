// The archiver's progress window and owner guard as a client meets them: a
// top-level window of this program is the owner, set through vesker.DLL's
// hwnd, and DoIt runs our archiver (build/bin/archiver). A watcher thread looks
// at the progress window from outside while the run goes, and clicks Cancel.
#include "archiver/progress/ProgressWindow.h"
#include "client/BstrText.h"
#include "common/InterfaceHolder.h"
#include "common/PlatformOwners.h"
#include "vesker.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using UniqueWindow = UniqueResource<HWND, DestroyWindow>;
using UniqueStation = UniqueResource<HWINSTA, CloseWindowStation>;

const LONG kUserCancel = 0x8020;
const size_t kMemberBytes = 8 << 20;  // one member's data: repeats, so it packs fast and small
const int kShortMembers = 16;         // an archive tested in a second or more, past the window's delay
const int kLongMembers = 64;          // an archive that takes far longer to extract than the watcher needs
const size_t kAddedBytes = 64 << 20;  // a file that takes far longer to add than the watcher needs
const int kAdded = 99;                // its MemberName

std::string Utf8(const std::wstring& text)
{
    char out[1024];
    const int size = static_cast<int>(text.size());
    return std::string(out, WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out, sizeof out, nullptr, nullptr));
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const std::wstring full(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(value, length);
}

Bytes ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

// The names of the files in `folder` that match `pattern`.
std::vector<std::wstring> Files(const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

Bytes Pseudorandom(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    for (uint8_t& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 23);
    }
    return bytes;
}

// A name beyond ASCII in the system code page: under 932 its first character's
// trail byte is a backslash, which must not split it.
std::wstring MemberName(int index)
{
    wchar_t digits[8];
    swprintf(digits, 8, L"%02d", index);
    return (GetACP() == 932 ? L"\u8868\u793a" : L"caf\u00e9") + std::wstring(digits) + L".bin";
}

uint16_t Crc16(const uint8_t* data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// `count` copies of the first member of a level 2 archive, the digits of its
// name (MemberName) counting up, each header's CRC made anew.
Bytes RepeatMember(const Bytes& archive, int count)
{
    const size_t headerSize = archive[0] | archive[1] << 8;
    const size_t packed = archive[7] | archive[8] << 8 | archive[9] << 16 | static_cast<size_t>(archive[10]) << 24;
    char ansi[64];
    const int nameSize = WideCharToMultiByte(CP_ACP, 0, MemberName(0).c_str(), -1, ansi, 64, nullptr, nullptr) - 1;
    const Bytes name(ansi, ansi + nameSize);
    const Bytes member(archive.begin(), archive.begin() + headerSize + packed);
    const size_t nameAt = std::search(member.begin(), member.end(), name.begin(), name.end()) - member.begin();
    if (nameAt == member.size()) return Bytes();
    // Extensions from byte 26 on: a type byte, the data, and the size of the
    // next one; the header CRC's (type 0) data is the CRC.
    size_t crcAt = 0;
    for (size_t at = 26, size = member[24] | member[25] << 8; size != 0;
         at += size, size = member[at - 2] | member[at - 1] << 8)
        if (member[at] == 0) crcAt = at + 1;
    Bytes out;
    for (int index = 0; index < count; ++index) {
        Bytes copy = member;
        copy[nameAt + name.size() - 6] = static_cast<uint8_t>('0' + index / 10);
        copy[nameAt + name.size() - 5] = static_cast<uint8_t>('0' + index % 10);
        copy[crcAt] = copy[crcAt + 1] = 0;
        const uint16_t crc = Crc16(copy.data(), headerSize);
        copy[crcAt] = static_cast<uint8_t>(crc);
        copy[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
        out.insert(out.end(), copy.begin(), copy.end());
    }
    out.push_back(0);
    return out;
}

// What the watcher saw of one run.
struct Sight {
    HWND owner = nullptr;          // the owner of the run's window
    bool windowSeen = false;
    bool ownerDisabled = false;    // seen disabled while the run went on
    bool barMoved = false;
    bool itemShown = false;        // the current member's name, as the system code page reads it
    bool titleShown = false;       // the verb and the archive's name
    bool screenshot = false;
};

struct Watch {
    HWND owner;
    std::wstring title;            // what the title must hold
    std::wstring shot;             // where the screenshot goes (empty: none)
    HANDLE runEnded;
    Sight sight;
};

bool RunEnded(const Watch& watch, DWORD waitMs)
{
    return WaitForSingleObject(watch.runEnded, waitMs) == WAIT_OBJECT_0;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[MAX_PATH] = L"";
    return std::wstring(text, GetWindowTextW(window, text, MAX_PATH));
}

// A label ends with a MemberName (of any number).
bool ShowsMemberName(HWND window)
{
    const std::wstring model = MemberName(0), stem = model.substr(0, model.size() - 6), end = L".bin";
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = WindowText(child);
        if (text.size() >= model.size() && text.compare(text.size() - model.size(), stem.size(), stem) == 0 &&
            text.compare(text.size() - end.size(), end.size(), end) == 0)
            return true;
    }
    return false;
}

// The window's pixels, frame and controls, from its own device context (the
// screen may lag behind what the window painted), into a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& path)
{
    RECT box;
    if (!GetWindowRect(window, &box)) return false;
    const int width = box.right - box.left, height = box.bottom - box.top, stride = (width * 3 + 3) & ~3;
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB};
    void* bits = nullptr;
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = bits && BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    BITMAPFILEHEADER file{0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof info + stride * height), 0, 0,
                          DWORD(sizeof(BITMAPFILEHEADER) + sizeof info)};
    Bytes out(reinterpret_cast<uint8_t*>(&file), reinterpret_cast<uint8_t*>(&file) + sizeof file);
    out.insert(out.end(), reinterpret_cast<uint8_t*>(&info), reinterpret_cast<uint8_t*>(&info) + sizeof info);
    if (copied) out.insert(out.end(), static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + stride * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return copied && WriteBytes(path, out);
}

// Waits (a few milliseconds at a time) for the window, then for the bar to
// move and the member's name to show; notes what it sees, takes the picture
// when asked, and clicks Cancel. Ends with the run.
DWORD WINAPI WatchRun(void* parameter)
{
    Watch& watch = *static_cast<Watch*>(parameter);
    Sight& sight = watch.sight;
    HWND window = nullptr;
    while (!window) {
        if (watch.owner && !IsWindowEnabled(watch.owner)) sight.ownerDisabled = true;
        // Visible only once its controls are made.
        window = FindWindowA(lha::ProgressWindow::kClassName, nullptr);
        if (window && !IsWindowVisible(window)) window = nullptr;
        if (!window && RunEnded(watch, 5)) return 0;
    }
    sight.windowSeen = true;
    sight.owner = GetWindow(window, GW_OWNER);
    HWND bar = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr);
    while (!sight.barMoved || !sight.itemShown) {
        sight.barMoved = sight.barMoved || SendMessageW(bar, PBM_GETPOS, 0, 0) > 0;
        sight.itemShown = sight.itemShown || ShowsMemberName(window);
        if (RunEnded(watch, 5)) return 0;
    }
    sight.titleShown = WindowText(window).find(watch.title) != std::wstring::npos;
    // Painted now, frame and controls, before the picture is taken.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (!watch.shot.empty()) sight.screenshot = SaveScreenshot(window, watch.shot);
    PostMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    RunEnded(watch, INFINITE);
    return 0;
}

enum class Owner { Window, DisabledWindow, NotAWindow, None };

enum class Length {
    Long,           // lasts well past the window's delay
    Quick,          // ends before the window would appear
    HiddenStation,  // long, in a window station no one sees
};

struct Row {
    const char* name;
    Owner owner;
    Length length;
    const wchar_t* command;  // {} stands for the scratch folder, {name} for the MemberName of the file added
    // What the window's title holds; the watcher cancels once the bar moved
    // (0x8020). Null: no window may appear, and the run succeeds.
    const wchar_t* title;
    bool screenshot;
};

const Row kRows[] = {
    {"add_cancelled", Owner::Window, Length::Long, L"a {}old.lzh {} {name}", L"Adding - old.lzh", true},
    {"extract_cancelled", Owner::Window, Length::Long, L"x {}long.lzh {}out\\", L"Extracting - long.lzh", false},
    {"not_a_window_means_no_owner", Owner::NotAWindow, Length::Long, L"t {}long.lzh", L"Testing - long.lzh", false},
    {"no_window_with_n", Owner::Window, Length::Long, L"t -n {}short.lzh", nullptr, false},
    {"no_window_when_quick", Owner::Window, Length::Quick, L"t {}old.lzh", nullptr, false},
    {"disabled_owner_stays_disabled", Owner::DisabledWindow, Length::Quick, L"t {}old.lzh", nullptr, false},
    {"invisible_station_runs_without_window", Owner::None, Length::HiddenStation, L"t {}short.lzh", nullptr, false},
};

class ProgressWindowTest : public testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        scratch_ = std::wstring(temp) + L"vesker-progress-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(scratch_.c_str(), nullptr);
        Bytes member(kMemberBytes);
        const Bytes pattern = Pseudorandom(3001, 7);
        for (size_t i = 0; i < member.size(); ++i) member[i] = pattern[i % pattern.size()];
        ASSERT_TRUE(WriteBytes(scratch_ + MemberName(0), member));
        ASSERT_TRUE(WriteBytes(scratch_ + MemberName(kAdded), Pseudorandom(kAddedBytes, 11)));
        ASSERT_TRUE(WriteBytes(scratch_ + L"small.txt", Bytes(100, 'x')));
        ASSERT_EQ(0, Run(L"a -n {}base.lzh {} " + MemberName(0), nullptr).code);
        ASSERT_EQ(0, Run(L"a -n {}old.lzh {} small.txt", nullptr).code);
        const Bytes base = ReadBytes(scratch_ + L"base.lzh");
        const Bytes shortArchive = RepeatMember(base, kShortMembers), longArchive = RepeatMember(base, kLongMembers);
        ASSERT_FALSE(shortArchive.empty()) << "base.lzh holds no member named " << Utf8(MemberName(0));
        ASSERT_TRUE(WriteBytes(scratch_ + L"short.lzh", shortArchive));
        ASSERT_TRUE(WriteBytes(scratch_ + L"long.lzh", longArchive));
    }

    static void TearDownTestSuite()
    {
        for (const std::wstring& folder : {scratch_ + L"out\\", scratch_}) {
            for (const std::wstring& name : Files(folder, L"*")) DeleteFileW((folder + name).c_str());
            RemoveDirectoryW(folder.c_str());
        }
        CoUninitialize();
    }

    struct Result {
        LONG code = -1;
        std::wstring text;
    };

    // DoIt through a fresh UnLha object of build/bin/archiver/vesker.DLL.
    static Result Run(std::wstring command, HWND owner)
    {
        for (size_t at; (at = command.find(L"{name}")) != std::wstring::npos;)
            command.replace(at, 6, MemberName(kAdded));
        for (size_t at; (at = command.find(L"{}")) != std::wstring::npos;) command.replace(at, 2, scratch_);
        Result result;
        UniqueLibrary component(LoadLibraryExW((ProgramFolder() + L"archiver\\vesker.DLL").c_str(), nullptr,
                                               LOAD_WITH_ALTERED_SEARCH_PATH));
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        auto getClassObject = reinterpret_cast<GetClassObject>(GetProcAddress(component.get(), "DllGetClassObject"));
        InterfaceHolder<IClassFactory> factory;
        InterfaceHolder<IUnLha> unlha;
        if (!getClassObject || FAILED(getClassObject(CLSID_UnLha, IID_IClassFactory, factory.put_void())) ||
            FAILED(factory->CreateInstance(nullptr, IID_IUnLha, unlha.put_void())))
            return result;
        const UniqueBstr line = MakeBstr(command);
        UniqueBstr text;
        if (FAILED(unlha->put_hwnd(static_cast<UINT>(reinterpret_cast<UINT_PTR>(owner)))) ||
            FAILED(unlha->DoIt(line.get())) || FAILED(unlha->get_ErrorCode(&result.code)) ||
            FAILED(unlha->get_ResultString(text.put())))
            result.code = -1;
        result.text = BstrText(text.get());
        return result;
    }

    static UniqueWindow MakeOwner()
    {
        WNDCLASSW ownerClass{};
        ownerClass.lpfnWndProc = DefWindowProcW;
        ownerClass.hInstance = GetModuleHandleW(nullptr);
        ownerClass.lpszClassName = L"VeskerProgressTestOwner";
        RegisterClassW(&ownerClass);
        UniqueWindow owner(CreateWindowExW(0, ownerClass.lpszClassName, L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                           100, 100, 640, 400, nullptr, nullptr, ownerClass.hInstance, nullptr));
        return owner;
    }

    static std::wstring scratch_;
};

std::wstring ProgressWindowTest::scratch_;

TEST_P(ProgressWindowTest, Run)
{
    const Row& row = GetParam();
    UniqueWindow window = MakeOwner();
    ASSERT_TRUE(window);
    HWND owner = window.get();
    if (row.owner == Owner::DisabledWindow) EnableWindow(owner, FALSE);
    // A window handle no window has (one destroyed just before).
    if (row.owner == Owner::NotAWindow) owner = MakeOwner().get();
    if (row.owner == Owner::None) owner = nullptr;
    const std::wstring outFolder = scratch_ + L"out\\";
    CreateDirectoryW(outFolder.c_str(), nullptr);
    const Bytes oldArchive = ReadBytes(scratch_ + L"old.lzh");

    // A window station made by this program has no WSF_VISIBLE: a service's is alike.
    UniqueStation hidden;
    HWINSTA visible = GetProcessWindowStation();
    if (row.length == Length::HiddenStation) {
        hidden.reset(CreateWindowStationW(L"vesker-progress-hidden", 0, WINSTA_ALL_ACCESS, nullptr));
        ASSERT_TRUE(hidden && SetProcessWindowStation(hidden.get()));
    }
    UniqueHandle runEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Watch watch{row.owner == Owner::Window || row.owner == Owner::DisabledWindow ? owner : nullptr,
                row.title ? row.title : L"", row.screenshot ? Environment(L"VESKER_PROGRESS_SHOT") : L"",
                runEnded.get(), {}};
    UniqueHandle watcher(CreateThread(nullptr, 0, WatchRun, &watch, 0, nullptr));
    ASSERT_TRUE(watcher);
    const Result result = Run(row.command, owner);
    SetEvent(runEnded.get());
    WaitForSingleObject(watcher.get(), INFINITE);
    if (row.length == Length::HiddenStation) SetProcessWindowStation(visible);

    EXPECT_EQ(row.title ? kUserCancel : 0, result.code) << Utf8(result.text);
    if (row.title) EXPECT_NE(std::wstring::npos, result.text.find(L"cancelled")) << Utf8(result.text);
    const Sight& sight = watch.sight;
    EXPECT_EQ(row.title != nullptr, sight.windowSeen);
    if (row.title) {
        EXPECT_EQ(row.owner == Owner::Window ? owner : nullptr, sight.owner);
        EXPECT_TRUE(sight.barMoved);
        EXPECT_TRUE(sight.itemShown);
        EXPECT_TRUE(sight.titleShown);
    }
    if (row.owner == Owner::Window && row.length == Length::Long) EXPECT_TRUE(sight.ownerDisabled);
    if (row.owner == Owner::Window) EXPECT_TRUE(IsWindowEnabled(owner));
    if (row.owner == Owner::DisabledWindow) EXPECT_FALSE(IsWindowEnabled(owner));
    if (!watch.shot.empty()) EXPECT_TRUE(sight.screenshot) << "no screenshot written to " << Utf8(watch.shot);
    // No run leaves a temporary file, and a cancelled one leaves the old archive as it was.
    EXPECT_TRUE(Files(scratch_, L"*.tmp").empty());
    EXPECT_TRUE(Files(outFolder, L"*.tmp").empty());
    EXPECT_EQ(oldArchive, ReadBytes(scratch_ + L"old.lzh"));
    // Extraction keeps each member written before the cancel, whole (each
    // was renamed from its temporary file only once its CRC matched).
    for (const std::wstring& name : Files(outFolder, L"*"))
        EXPECT_EQ(kMemberBytes, FileSize(outFolder + name)) << Utf8(name);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgressWindowTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
