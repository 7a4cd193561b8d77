// The window kind's question: where to extract, with the default folder filled in.
#pragma once
#include <string>

namespace sfx {

// Shows the prompt with `folder` in its edit box; true with the folder the
// user confirmed, false when the prompt was cancelled or could not be shown.
bool AskFolder(const std::string& title, std::string& folder);

} // namespace sfx
