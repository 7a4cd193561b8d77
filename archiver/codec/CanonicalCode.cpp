#include "archiver/codec/CanonicalCode.h"

namespace lha {

bool CanonicalCode::Build(const uint8_t* lengths, unsigned count) {
    Clear();
    if (count > kMaxSymbols)
        return false;
    uint32_t perLength[kMaxLength + 1] = {};
    uint64_t space = 0;  // sum of 2^(kMaxLength - length): complete at 2^kMaxLength
    unsigned used = 0;
    unsigned longest = 0;
    for (unsigned s = 0; s < count; ++s) {
        unsigned length = lengths[s];
        if (length == 0)
            continue;
        if (length > kMaxLength)
            return false;
        ++perLength[length];
        space += uint64_t{1} << (kMaxLength - length);
        ++used;
        if (length > longest)
            longest = length;
    }
    if (used == 0)
        return true;
    if (space != uint64_t{1} << kMaxLength)
        return false;

    unsigned next = 0;
    for (unsigned n = 1; n <= longest; ++n)
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s] == n)
                sorted_[next++] = static_cast<uint8_t>(s);
    for (unsigned n = 0; n <= kMaxLength; ++n)
        perLength_[n] = perLength[n];
    maxLength_ = longest;
    return true;
}

} // namespace lha
