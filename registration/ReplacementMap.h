// The marker names a registration script may use and the texts they stand for.
#pragma once
#include <windows.h>

// One marker: both texts are NUL-terminated UTF-16 in COM task memory of their own.
struct ReplacementEntry {
    WCHAR* name;
    WCHAR* value;
};

// Owned by one run of the registration driver; the entries live on the module
// heap, their texts in COM task memory. The destructor gives everything back.
struct ReplacementMap {
    ReplacementEntry** entries;
    LONG count;
    LONG capacity;

    ReplacementMap();
    ~ReplacementMap();
    ReplacementMap(const ReplacementMap&) = delete;
    ReplacementMap& operator=(const ReplacementMap&) = delete;

    // Copies both texts (a null value counts as the empty text). E_OUTOFMEMORY
    // leaves the map as it was.
    HRESULT AddEntry(const WCHAR* name, const WCHAR* value);

    // The value of the first entry whose name, in the system code page, equals
    // `name` without regard to case; null when there is none.
    const WCHAR* FindEntry(const char* name) const;

    // Frees every entry and its texts; the slot array stays for reuse.
    void ClearEntries();

private:
    HRESULT EnsureFreeSlot();
};

// Slots of a new map; a full map doubles them.
constexpr LONG kInitialReplacementSlots = 10;
