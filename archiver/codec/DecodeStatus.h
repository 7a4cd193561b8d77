// How unpacking one member's data ended, for every method's decoder.
#pragma once

namespace lha {

enum class DecodeStatus {
    Ok,            // exactly originalSize bytes were written
    CorruptData,   // bad code tables, a code past the data, or data that ends too soon
    InputFailed,   // the source failed (its owner says why)
    OutputFailed,  // the sink refused bytes
};

} // namespace lha
