#include "archiver/format/SfxProgram.h"

#include "archiver/files/AnsiText.h"
#include "archiver/format/ArchiveReader.h"
#include "archiver/format/ProgramImage.h"

#include <windows.h>

#include <cstring>

namespace lha {

namespace {

const char kSettingsMark[kSfxMarkSize] = LHA_SFX_SETTINGS_MARK;
const size_t kCopyChunk = 64 * 1024;

struct SubsystemRow {
    uint8_t kind;
    uint16_t subsystem;
};

const SubsystemRow kSubsystems[] = {
    {kSfxConsole, IMAGE_SUBSYSTEM_WINDOWS_CUI},
    {kSfxWindow, IMAGE_SUBSYSTEM_WINDOWS_GUI},
};

bool Fail(std::string& error, const std::string& what)
{
    error = what;
    return false;
}

std::string WithError(const char* what, const std::string& path)
{
    return std::string(what) + " (error " + std::to_string(GetLastError()) + "): " + path;
}

// Where the one settings block starts; npos when there is none or more than one.
size_t FindSettings(const std::vector<uint8_t>& stub)
{
    size_t found = std::string::npos;
    for (size_t at = 0; at + sizeof(SfxSettings) <= stub.size(); ++at) {
        if (std::memcmp(&stub[at], kSettingsMark, kSfxMarkSize) != 0) continue;
        if (found != std::string::npos) return std::string::npos;
        found = at;
    }
    return found;
}

// Copies the archive from its first header to its end into `out`; its bytes
// count as `monitor`'s progress, and a cancel stops the copy.
bool CopyArchive(const std::string& archivePath, const FileHandle& out, ProgressMonitor* monitor, std::string& error)
{
    ArchiveReader reader;
    if (!reader.Open(archivePath.c_str())) return Fail(error, WithError("cannot open the archive", archivePath));
    MemberHeader header;
    if (reader.Next(header, error) != HeaderResult::Member)
        return Fail(error, "not an archive with members: " + archivePath + (error.empty() ? "" : " (" + error + ")"));
    uint64_t size = 0;
    if (!reader.File().Size(size) || !reader.File().Seek(reader.Start()))
        return Fail(error, WithError("cannot read the archive", archivePath));
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint64_t left = size - reader.Start(); left > 0;) {
        size_t got = 0;
        const size_t want = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
        if (!reader.File().Read(chunk.data(), want, got) || got != want)
            return Fail(error, WithError("cannot read the archive", archivePath));
        if (!out.Write(chunk.data(), got)) return Fail(error, WithError("cannot write the program", "temporary file"));
        left -= got;
        if (!monitor) continue;
        if (monitor->Cancelled()) return Fail(error, "cancelled");
        monitor->Advance(got);
    }
    return true;
}

} // namespace

bool PrepareSfxStub(std::vector<uint8_t>& stub, const SfxSettings& settings, std::string& error)
{
    ProgramLayout layout;
    if (!ReadProgramLayout(stub.data(), stub.size(), layout)) return Fail(error, "the stub is not a Windows program");
    if (layout.imageEnd != stub.size()) return Fail(error, "the stub has bytes past its image");
    if (stub.size() > kOldReadersLastStart) return Fail(error, "the stub is too large for readers to find the archive");
    const size_t at = FindSettings(stub);
    if (at == std::string::npos) return Fail(error, "the stub has no single settings block");
    const SubsystemRow* row = nullptr;
    for (const SubsystemRow& candidate : kSubsystems)
        if (candidate.kind == settings.kind) row = &candidate;
    if (!row) return Fail(error, "unknown self-extractor kind");
    SfxSettings filled = settings;
    std::memcpy(filled.mark, kSettingsMark, kSfxMarkSize);
    filled.defaultFolder[kSfxFolderSize - 1] = '\0';
    std::memcpy(&stub[at], &filled, sizeof filled);
    stub[layout.subsystemOffset] = static_cast<uint8_t>(row->subsystem);
    stub[layout.subsystemOffset + 1] = static_cast<uint8_t>(row->subsystem >> 8);
    return true;
}

bool WriteSfxProgram(const std::vector<uint8_t>& stub, const SfxSettings& settings, const std::string& archivePath,
                     const std::string& programPath, std::string& error, ProgressMonitor* monitor)
{
    std::vector<uint8_t> program = stub;
    if (!PrepareSfxStub(program, settings, error)) return false;
    FileHandle out;
    std::string temp;
    if (!out.CreateTemporary(FolderPart(programPath), temp))
        return Fail(error, WithError("cannot make a file beside the program", programPath));
    bool written = out.Write(program.data(), program.size());
    if (!written) error = WithError("cannot write the program", temp);
    written = written && CopyArchive(archivePath, out, monitor, error);
    bool renamed = written && out.RenameTo(programPath, true);
    const bool closed = out.Close();
    if (written && !closed) error = WithError("cannot write the program", programPath);
    // Some file systems rename only by name: closed first, then moved.
    if (written && closed && !renamed) {
        renamed = MoveFileExA(temp.c_str(), programPath.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        if (!renamed) error = WithError("cannot give the program its name", programPath);
    }
    if (written && closed && renamed) return true;
    // A failed close may have lost data: no partial program stays under either name.
    DeleteFileA(renamed ? programPath.c_str() : temp.c_str());
    return false;
}

} // namespace lha
