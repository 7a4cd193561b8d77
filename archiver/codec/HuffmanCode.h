// Builds the code of one tree for the encoder: near-optimal lengths for the
// given frequencies (optimal when no length passes the limit; a heuristic
// shortens them otherwise), no longer than a limit, and the canonical codes the decoder
// derives from those lengths (in order of length, then of symbol).
#pragma once
#include <cstdint>

namespace lha {

// Sets lengths[0..count) from freq[0..count): 0 for an unused symbol, else
// 1..maxLength, keeping the total sum of freq * length low under that limit.
// A single used symbol gets length 1. count is at most kCodeCount, and at
// most 2^maxLength symbols may be used.
void BuildCodeLengths(const uint32_t* freq, unsigned count, unsigned maxLength, uint8_t* lengths);

// The canonical code of each symbol with a non-zero length.
void AssignCodes(const uint8_t* lengths, unsigned count, uint16_t* codes);

} // namespace lha
