// s, and a u f m with -gw<n>: self-extracting programs. The program is the
// self-extractor stub carried in this library's resources (sfx/), with its
// settings filled in, followed by the archive.
//
//   s [switches] archive [folder\]   the program of an archive, written into
//                                    the base folder or beside the archive;
//                                    the archive is only read
//   a u f m ... -gw<n>               the archive the command would write goes
//                                    into the program instead: the .lzh, when
//                                    there is one, is only read (m removes the
//                                    sources once the program is written)
//
// -gw0 console kind; -gw, -gw1 to -gw3 window kind with the folder prompt;
// -gw4 window kind that extracts into its default folder without asking.
// -x1 keeps the stored folders; -gr<name> names the program (default: the
// archive's name with .exe); -gx<n> changes nothing.
#include "archiver/commands/Commands.h"
#include "archiver/commands/SfxStubResource.h"
#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberName.h"
#include "archiver/format/SfxProgram.h"

#include <windows.h>

namespace lha {

namespace {

struct KindRow {
    int sfxKind;  // the -gw value
    uint8_t kind;
    uint8_t askFolder;
};

const KindRow kKindRows[] = {
    {0, kSfxConsole, 0},
    {1, kSfxWindow, 1},
    {2, kSfxWindow, 1},
    {3, kSfxWindow, 1},
    {4, kSfxWindow, 0},
};

// s without -gw makes the window kind with the folder prompt, as -gw does.
const int kDefaultSfxKind = 1;
const char kProgramExtension[] = ".exe";

// The stub from this library's resources; false when it is missing.
bool LoadStub(std::vector<uint8_t>& stub)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&LoadStub), &module))
        return false;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(LHA_SFX_STUB_RESOURCE), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const uint8_t* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes) return false;
    stub.assign(bytes, bytes + SizeofResource(module, resource));
    return true;
}

bool SettingsOf(const CommandLine& line, SfxSettings& settings)
{
    settings = SfxSettings();
    settings.keepFolders = line.keepFolders ? 1 : 0;
    const int sfxKind = line.sfxKind < 0 ? kDefaultSfxKind : line.sfxKind;
    for (const KindRow& row : kKindRows) {
        if (row.sfxKind != sfxKind) continue;
        settings.kind = row.kind;
        settings.askFolder = row.askFolder;
        return true;
    }
    return false;
}

// The archive's file name with .exe in place of its extension.
std::string DefaultProgramName(const std::string& archive)
{
    const std::string name = archive.substr(FolderPart(archive).size());
    const size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + kProgramExtension;
}

// -gr<name> (with its folder, when it has one) or the default name: for s in
// its base folder or, without one, beside the archive; for a u f m (whose
// base folders are where files are taken from) beside the archive.
std::string ProgramPath(const CommandLine& line)
{
    const std::string name = line.sfxProgram.empty() ? DefaultProgramName(line.archive) : line.sfxProgram;
    if (!FolderPart(name).empty()) return name;
    const bool baseFolder = line.command == 's' && !line.groups.empty();
    const std::string base = baseFolder ? line.groups.front().folder : std::string();
    return (base.empty() ? FolderPart(line.archive) : base) + name;
}

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

// The settings, the stub and the program's name; false, said, when one of
// them cannot be had.
bool PrepareProgram(const CommandLine& line, SfxSettings& settings, std::vector<uint8_t>& stub, std::string& program,
                    Report& report)
{
    if (!SettingsOf(line, settings)) {
        report.Fail(kBadCommandLine, "bad command line: -gw takes 0 (console) or 1 to 4 (window)");
        return false;
    }
    if (!LoadStub(stub)) {
        report.Fail(kNotSupported, "this library carries no self-extractor stub");
        return false;
    }
    program = ProgramPath(line);
    if (!SameName(FullPath(program), FullPath(line.archive))) return true;
    report.Out().Printf("the program would replace the archive: %s\n", program.c_str());
    report.Raise(kBadCommandLine);
    return false;
}

// The archive must hold members: a program of nothing is refused.
bool CheckArchive(const std::string& archive, Report& report)
{
    ArchiveReader reader;
    if (!OpenArchive(archive, reader, report)) return false;
    MemberHeader header;
    std::string error;
    const HeaderResult result = reader.Next(header, error);
    if (result == HeaderResult::Member) return true;
    if (result == HeaderResult::End) report.Fail(kNotArchive, ("the archive has no members: " + archive).c_str());
    ReportArchiveFault(result, error, report);
    return false;
}

bool WriteProgram(const std::vector<uint8_t>& stub, const SfxSettings& settings, const std::string& archive,
                  const std::string& program, Report& report)
{
    std::string error;
    uint64_t size = 0;
    FileHandle file;
    if (file.OpenRead(archive.c_str()) && file.Size(size)) report.Total(size);
    file.Close();
    report.Item(program);
    if (!WriteSfxProgram(stub, settings, archive, program, error, report.Monitor())) {
        report.Out().Printf("%s\n", error.c_str());
        report.Fail(report.CancelAsked() ? kUserCancel : kCannotWrite, "no program was written");
        return false;
    }
    report.Out().Printf("%s: self-extracting program written\n", program.c_str());
    return true;
}

// The archive the command starts from, as a temporary copy beside the
// program: the .lzh when there is one, else an empty archive (its end
// marker alone). f needs the archive, as without -gw.
bool StartTemporaryArchive(const CommandLine& line, const std::string& program, std::string& temp, Report& report)
{
    const bool exists = GetFileAttributesA(line.archive.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!exists && line.command == 'f') {
        report.Out().Printf("archive not found: %s\n", line.archive.c_str());
        report.Raise(kArchiveOpen);
        return false;
    }
    FileHandle file;
    if (!file.CreateTemporary(FolderPart(program), temp)) {
        report.Out().Printf("cannot make a file beside the program (error %lu): %s\n", GetLastError(), program.c_str());
        report.Raise(kTempOpen);
        return false;
    }
    const uint8_t endMarker = 0;
    // The copy loses a read-only attribute: the .lzh is only read, and the copy is changed and removed.
    bool started = exists ? file.Close() && CopyFileA(line.archive.c_str(), temp.c_str(), FALSE) &&
                                SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL)
                          : file.Write(&endMarker, 1) && file.Close();
    if (started) return true;
    report.Out().Printf("cannot copy the archive (error %lu): %s\n", GetLastError(), line.archive.c_str());
    report.Raise(kTempOpen);
    DeleteFileA(temp.c_str());
    return false;
}

int AddIntoProgram(const CommandLine& line, Report& report)
{
    SfxSettings settings;
    std::vector<uint8_t> stub;
    std::string program, temp;
    if (!PrepareProgram(line, settings, stub, program, report)) return report.Code();
    if (!StartTemporaryArchive(line, program, temp, report)) return report.Code();
    CommandLine adding = line;
    adding.archive = temp;
    adding.sfxKind = -1;
    AddedSources added;
    AddFiles(adding, report, added);
    const bool written = !IsError(report.Code()) && WriteProgram(stub, settings, temp, program, report);
    DeleteFileA(temp.c_str());
    if (written && line.command == 'm') RemoveMovedSources(added, report);
    return report.Code();
}

} // namespace

int MakeSelfExtracting(const CommandLine& line, Report& report)
{
    if (line.command != 's') return AddIntoProgram(line, report);
    SfxSettings settings;
    std::vector<uint8_t> stub;
    std::string program;
    if (!PrepareProgram(line, settings, stub, program, report) || !CheckArchive(line.archive, report))
        return report.Code();
    WriteProgram(stub, settings, line.archive, program, report);
    return report.Code();
}

} // namespace lha
