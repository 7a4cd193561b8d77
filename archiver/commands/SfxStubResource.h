// The resource of UNLHA32.dll that holds the self-extractor stub (sfx/sfx.exe),
// shared by SfxStub.rc and the command that writes programs.
#pragma once

#define LHA_SFX_STUB_RESOURCE 201
