// Counts the calls that reach the IUnLha members of an object through its
// interface table: slots 7 to 11 of the table are pointed at counting
// functions that pass each call on to the original member, for the holder's
// life. The table is shared by every object that uses it.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <array>

constexpr int FirstMemberSlot = 7;
constexpr int MemberSlotCount = 5;

class MemberCallCounter {
public:
    explicit MemberCallCounter(IUnknown* object);
    MemberCallCounter(const MemberCallCounter&) = delete;
    MemberCallCounter& operator=(const MemberCallCounter&) = delete;
    ~MemberCallCounter();

    bool Installed() const { return table_ != nullptr; }
    // Calls per slot, index 0 for slot 7, since the counter was made.
    std::array<LONG, MemberSlotCount> Calls() const;

private:
    void** table_ = nullptr;
};
