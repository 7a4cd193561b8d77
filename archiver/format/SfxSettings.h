// What a self-extracting program runs with. The block sits in the stub's
// initialised data behind a mark; the writer finds the mark in the stub's bytes
// and fills the block in, and the stub reads its own copy when it starts. No
// byte of it looks like a member header (no method mark, no dash).
#pragma once
#include <cstddef>
#include <cstdint>

namespace lha {

// "VkSfxSet": found once in a stub, nowhere else in it.
#define LHA_SFX_SETTINGS_MARK {'V', 'k', 'S', 'f', 'x', 'S', 'e', 't'}
const size_t kSfxMarkSize = 8;
const size_t kSfxFolderSize = 260;

enum SfxKind : uint8_t {
    kSfxConsole = 0,  // text only; a console program (it waits in a script and shares its console)
    kSfxWindow = 1,   // folder prompt, progress and a final message; a window program
};

struct SfxSettings {
    char mark[kSfxMarkSize];
    uint8_t kind;         // SfxKind
    uint8_t askFolder;    // window kind: 1 shows the folder prompt, 0 extracts into the default folder
    uint8_t keepFolders;  // 1 keeps the stored folders; 0 puts every member into the one folder
    uint8_t reserved;
    // The default destination, UTF-8, zero-terminated. Empty: a folder named
    // after the program (its name without the extension) beside it; a relative
    // folder is taken from the program's folder.
    char defaultFolder[kSfxFolderSize];
};

} // namespace lha
