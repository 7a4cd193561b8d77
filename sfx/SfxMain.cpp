// The self-extractor: finds the archive appended to its own file (on the
// first byte after its image), reads it, and extracts it (Extraction.h) as its
// settings block says: console or window kind, asking for the folder or not,
// keeping the stored folders or not. It loads nothing from its own folder or
// the current one, makes no temporary file outside the destination, and runs
// nothing it extracted. Exit code: 0 or one of the archiver's return codes.
#include "archiver/commands/ReturnCode.h"
#include "archiver/files/AnsiText.h"
#include "archiver/format/ProgramImage.h"
#include "archiver/format/SfxSettings.h"
#include "sfx/ConsoleView.h"
#include "sfx/Extraction.h"
#include "sfx/FolderPrompt.h"
#include "sfx/SilentView.h"
#include "sfx/Switches.h"
#include "sfx/WindowView.h"

#include <windows.h>

#include <vector>

using namespace lha;
using namespace sfx;

extern "C" void (*__CTOR_LIST__[])();

// The settings block the writer fills in (SfxProgram.h). Read through a
// volatile object, so the compiler never takes these first values for
// constants: the stub as built is a console program that keeps folders.
extern "C" {
__attribute__((used)) volatile SfxSettings gSfxSettings = {LHA_SFX_SETTINGS_MARK, kSfxConsole, 1, 1, 0, {0}};
}

namespace {

SfxSettings ReadSettings()
{
    SfxSettings settings;
    const volatile uint8_t* from = reinterpret_cast<const volatile uint8_t*>(&gSfxSettings);
    uint8_t* to = reinterpret_cast<uint8_t*>(&settings);
    for (size_t i = 0; i < sizeof settings; ++i) to[i] = from[i];
    settings.defaultFolder[kSfxFolderSize - 1] = '\0';
    return settings;
}

std::string OwnPath()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) return std::string(path.data(), length);
        path.resize(path.size() * 2);
    }
}

// UTF-8 (as the writer stores the folder) to the system ANSI code page.
std::string AnsiFromUtf8(const char* text)
{
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (wideLength <= 1) return std::string();
    std::vector<wchar_t> wide(wideLength);
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> ansi(length > 0 ? length : 1);
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, ansi.data(), length, nullptr, nullptr);
    return std::string(ansi.data());
}

bool IsAbsolute(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && !EndsWithChar(folder, '\\') && !EndsWithChar(folder, '/')) folder += '\\';
    return folder;
}

// The settings' folder; empty: the program's name without its extension,
// beside it; a relative folder is taken from the program's folder.
std::string DefaultDestination(const SfxSettings& settings, const std::string& program)
{
    const std::string folder = AnsiFromUtf8(settings.defaultFolder);
    if (folder.empty()) {
        const std::string name = program.substr(FolderPart(program).size());
        const size_t dot = name.rfind('.');
        return WithSeparator(FolderPart(program) + (dot == std::string::npos || dot == 0 ? name + "_files" : name.substr(0, dot)));
    }
    return WithSeparator(IsAbsolute(folder) ? folder : FolderPart(program) + folder);
}

std::string ProgramName(const std::string& program) { return program.substr(FolderPart(program).size()); }

// Where the archive starts in the program: the first byte after its image.
bool ArchiveStart(const FileHandle& file, uint64_t fileSize, uint64_t& start)
{
    std::vector<uint8_t> headers(kProgramHeaderBytes);
    const size_t size = fileSize < headers.size() ? static_cast<size_t>(fileSize) : headers.size();
    ProgramLayout layout;
    if (!file.ReadAt(0, headers.data(), size) || !ReadProgramLayout(headers.data(), size, layout)) return false;
    start = layout.imageEnd;
    return true;
}

// Shows a failure that ends the run before extraction, as the kind shows text.
int Refuse(const SfxSettings& settings, const Switches& switches, const std::string& title, const std::string& text,
           int code)
{
    if (switches.silent) return code;
    if (settings.kind == kSfxWindow)
        MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    else
        WriteText(text, true);
    return code;
}

int ExtractInto(const SfxSettings& settings, const Switches& switches, const std::string& program,
                ExtractionOptions& options, ExtractionView& view)
{
    const std::string title = ProgramName(program);
    FileHandle file;
    uint64_t size = 0, start = 0;
    if (!file.OpenRead(program.c_str()) || !file.Size(size))
        return Refuse(settings, switches, title, "cannot read the program's own file: " + program, kArchiveOpen);
    if (!ArchiveStart(file, size, start))
        return Refuse(settings, switches, title, "no archive after the program", kNotArchive);
    int readCode = kSuccess;
    const std::vector<MemberHeader> members = ReadMembers(file, size, start, readCode);
    if (members.empty()) return Refuse(settings, switches, title, "no archive after the program", readCode);
    const int code = ExtractMembers(file, members, options, view);
    if (readCode != kSuccess) view.Line("the archive is damaged after its last good member", readCode);
    return Worse(code, readCode);
}

int Run()
{
    const SfxSettings settings = ReadSettings();
    Switches switches;
    std::string error;
    const std::string program = OwnPath();
    const std::string title = ProgramName(program);
    if (!ParseSwitches(GetCommandLineA(), switches, error))
        return Refuse(settings, Switches(), title, error, kBadCommandLine);
    ExtractionOptions options;
    options.keepFolders = settings.keepFolders != 0;
    options.overwrite = switches.overwrite;
    options.destination = switches.destination.empty() ? DefaultDestination(settings, program)
                                                        : WithSeparator(switches.destination);
    if (switches.silent) {
        SilentView view;
        return ExtractInto(settings, switches, program, options, view);
    }
    if (settings.kind != kSfxWindow) {
        ConsoleView view;
        const int code = ExtractInto(settings, switches, program, options, view);
        WriteText(code == kSuccess ? "extracted into " + options.destination : "not every member was extracted");
        return code;
    }
    if (settings.askFolder && switches.destination.empty()) {
        if (!AskFolder(title, options.destination)) return kUserCancel;
        options.destination = WithSeparator(options.destination);
    }
    WindowView view(title);
    const int code = ExtractInto(settings, switches, program, options, view);
    view.Finish(code, options.destination);
    return code;
}

// The linker's list of global constructors: a count (or -1), the functions,
// a null. None of the stub's code has one today; they are run all the same,
// last first as the runtime would, so that one added later is not skipped.
// Destructors need not run: the program ends with ExitProcess.
void RunConstructors()
{
    size_t count = reinterpret_cast<size_t>(__CTOR_LIST__[0]);
    if (count == static_cast<size_t>(-1))
        for (count = 0; __CTOR_LIST__[count + 1]; ++count) {
        }
    for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

} // namespace

// The program's entry. The C runtime's start-up is not linked (it is a fifth
// of the image, and the stub needs none of it: msvcrt.dll sets itself up).
// First of all, DLLs loaded from here on come from the system folder only,
// never from the program's folder or the current one (a download folder may
// hold planted ones). The DLLs the program imports (kernel32, user32, gdi32,
// msvcrt) are known DLLs, mapped from the system folder before this runs.
// Should the system refuse the restriction, nothing is done at all.
extern "C" void SfxEntry()
{
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) || !SetDllDirectoryW(L""))
        ExitProcess(static_cast<UINT>(kNotSupported));
    RunConstructors();
    ExitProcess(static_cast<UINT>(Run()));
}
