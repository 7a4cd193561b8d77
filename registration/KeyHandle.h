// Holds one open registry key, or none, and closes it when it goes away.
#pragma once
#include <windows.h>

#include "common/PlatformOwners.h"

class KeyHandle {
public:
    // Open and Create keep the held key when they fail and replace it (closing
    // the old one) when they succeed. Both return the platform's error code.
    LONG Open(HKEY parent, const char* name, REGSAM access);
    LONG Create(HKEY parent, const char* name, REGSAM access);
    LONG Close();

    HKEY Get() const { return key_.get(); }

private:
    LONG Take(LONG result, HKEY opened);

    UniqueKey key_;
};
