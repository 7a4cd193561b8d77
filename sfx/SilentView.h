// The view of a silent run (/s): nothing is shown; the exit code says how it went.
#pragma once
#include "sfx/Extraction.h"

namespace sfx {

class SilentView : public ExtractionView {
public:
    void Line(const std::string&, int) override {}
    void Progress(const std::string&, uint64_t, uint64_t) override {}
};

} // namespace sfx
