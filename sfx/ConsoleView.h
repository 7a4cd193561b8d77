// The console kind's text: a line per member on the standard output. A
// console gets the text through the wide API (the console's code page need
// not be the ANSI one); a pipe or file gets the ANSI bytes as they are.
#pragma once
#include "sfx/Extraction.h"

namespace sfx {

class ConsoleView : public ExtractionView {
public:
    void Line(const std::string& text, int code) override;
    void Progress(const std::string&, uint64_t, uint64_t) override {}
};

// Writes `text` and a line end to the standard output (or error).
void WriteText(const std::string& text, bool toError = false);

} // namespace sfx
